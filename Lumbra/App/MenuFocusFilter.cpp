#include "App/MenuFocusFilter.h"

#include <QApplication>
#include <QEvent>
#include <QWindow>
#include <utility>

bool MenuFocusFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::FocusIn && type != QEvent::FocusOut && type != QEvent::Hide) return false;
    const auto* window = qobject_cast<QWindow*>(watched);
    if (!window) return false;
    const bool popup = window->type() == Qt::Popup;
    if (type == QEvent::Hide) {
        if (popup) m_popupClosed = true;
        return false;
    }
    if (popup || !event->spontaneous()) return false;
    if (type == QEvent::FocusOut) return QApplication::activePopupWidget() != nullptr;
    return std::exchange(m_popupClosed, false);
}

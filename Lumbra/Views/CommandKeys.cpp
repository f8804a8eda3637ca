#include "Views/CommandKeys.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QWidget>

bool isCommandKey(const QWidget& widget, const QKeyEvent& event)
{
    if (event.text().isEmpty()) return false;
    const QKeySequence key(event.keyCombination());
    const QList<QAction*> actions = widget.window()->findChildren<QAction*>();
    return std::any_of(actions.cbegin(), actions.cend(),
                       [&key](const QAction* action) { return action->shortcut() == key; });
}

bool openMenuOnShiftF10(QObject* receiver, const QKeyEvent& event)
{
    if (event.key() != Qt::Key_F10 || event.modifiers() != Qt::ShiftModifier) return false;
    QWidget* focused = QApplication::focusWidget();
    if (!focused || receiver != focused) return false;
    for (const QWidget* widget = focused; widget; widget = widget->parentWidget())
        if (widget->inherits("QWebEngineView")) return false;
    // Where the Menu key opens it: at the caret, or the current row.
    const QPoint at = focused->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, focused->mapToGlobal(at));
    QApplication::sendEvent(focused, &menu);
    return true;
}

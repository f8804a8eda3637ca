#pragma once

#include "Views/CommandKeys.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMetaObject>
#include <QModelIndex>

// What the window's lists of rows share (the sources, the articles): the key of a command
// that cannot run now is not taken for a row's first letter, and a screen reader hears the
// current row as the focus comes in (Qt names the view alone).
template <typename View> class RowsView : public View {
public:
    using View::View;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (isCommandKey(*this, *event)) return event->accept();
        View::keyPressEvent(event);
    }

    // Presented as when the row changes, once the focus has settled (and the view has
    // taken a current row).
    void focusInEvent(QFocusEvent* event) override
    {
        View::focusInEvent(event);
        if (!QAccessible::isActive()) return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (this->hasFocus()) this->currentChanged(this->currentIndex(), QModelIndex());
            },
            Qt::QueuedConnection);
    }
};

#pragma once

#include <QObject>

// Keeps a menu from announcing the window it opens over. Qt tells screen readers that a
// window became active whenever it gains or loses the keyboard focus, and a menu (or a
// combo box's list) takes the focus from its window as it opens and gives it back as it
// closes: Orca said "Lumbra frame" around every menu. Those two focus changes are kept from
// the window, which does nothing else with them; a real change of the active window is
// still told, through the window's activation.
class MenuFocusFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_popupClosed = false; // and the focus not yet back
};

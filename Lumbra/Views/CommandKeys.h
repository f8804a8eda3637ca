#pragma once

class QKeyEvent;
class QObject;
class QWidget;

// Whether `event` is the key of one of the window's commands, enabled or not: a list must
// not take the key of a command that cannot run now for the first letter of a row.
bool isCommandKey(const QWidget& widget, const QKeyEvent& event);

// Opens the menu of the focused widget `receiver` when `event` is Shift+F10, as the Menu key
// does (Qt knows only the latter; keyboards without one have the former). Web pages open
// their own. Whether it did.
bool openMenuOnShiftF10(QObject* receiver, const QKeyEvent& event);

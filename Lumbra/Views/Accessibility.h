#pragma once

class QComboBox;
class QMenu;
class QString;
class QWidget;

// What screen readers need beyond what Qt's widgets tell them.
namespace Accessibility {

// Has screen readers say `text` now, wherever the focus is: a change the user made that
// shows nowhere they are, such as a star set from the keyboard.
void say(QWidget* window, const QString& text);

// Has screen readers say `box`'s choice when it gets the focus and as it changes there:
// Qt 6.4 gives them a combo box's name and role but not what is chosen in it.
void sayChoices(QComboBox* box);

// Makes `menu`'s entries its own for screen readers. Qt keeps one accessible entry per
// action, made for the first menu that showed it: in a menu made again for each opening,
// or a second menu with the same action, the focus on it would reach no screen reader.
// Call as the menu shows.
void claimEntries(QMenu* menu);

// Has `menu` open with its first entry current, as a menu opened from the keyboard does:
// a screen reader says nothing until an entry is.
void openOnFirstEntry(QMenu* menu);

} // namespace Accessibility

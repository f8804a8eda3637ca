#pragma once

#include "LumbraCore/Records.h"

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <functional>
#include <optional>

class QAction;
class QMenu;
class QToolBar;
class QWidget;
class Reader;

// Every command on articles, made once: label, icon, shortcut, tooltip and the rule that
// enables it. The Article menu, the article toolbar and the rows' context menu all show
// these same actions. They act on the row a context menu was opened for, else on the row
// the keyboard is on in the list, else on the selected article.
class ItemActions final : public QObject {
    Q_OBJECT

public:
    explicit ItemActions(Reader& reader, QObject* parent = nullptr);

    QAction* next = nullptr;
    QAction* previous = nullptr;
    QAction* nextUnread = nullptr;
    QAction* star = nullptr;
    QAction* markRead = nullptr;
    QAction* markAllRead = nullptr;
    QAction* saveQuote = nullptr;
    QAction* openNote = nullptr;
    QAction* showNoteInFolder = nullptr;
    QAction* openInBrowser = nullptr;
    QAction* copyLink = nullptr;
    QAction* mailLink = nullptr;

    // The actions, in order, of each place that shows them; null stands for a separator.
    QList<QAction*> articleMenu() const;
    QList<QAction*> toolbar() const;
    QList<QAction*> rowMenu() const;
    QList<QAction*> shareMenu() const;

    // Shows the row menu for `item` at `globalPosition`; its actions act on `item`.
    void popUpRowMenu(const Item& item, const QPoint& globalPosition, QWidget* parent);

    // The row the keyboard is on while the list has the focus, opened or not: reached with
    // Tab, S stars it. Tell `rowChanged` when it may be another.
    void setFocusedRow(std::function<std::optional<Item>()> row) { m_focusedRow = std::move(row); }
    void rowChanged() { update(); }

    // Adds `actions` to `menu`, a separator for each null.
    static void addTo(QMenu* menu, const QList<QAction*>& actions);

Q_SIGNALS:
    // What a change made from the keyboard did, for screen readers to say: "Starred".
    void spoken(const QString& text);

private:
    struct Definition;
    void makeMoves();
    void makeMarks();
    void makeNoteActions();
    void makeLinkActions();
    // The actions follow the subject and the list.
    void follow();
    QAction* make(const Definition& definition);
    // The article the actions act on now.
    std::optional<Item> subject() const;
    void update();

    Reader& m_reader;
    QHash<QAction*, std::function<void()>> m_looks; // each action's look, for its subject
    bool m_markAllReadDue = false; // its look follows at the next turn of the event loop
    std::optional<Item> m_rowItem; // set while a row menu is open
    std::function<std::optional<Item>()> m_focusedRow;
};

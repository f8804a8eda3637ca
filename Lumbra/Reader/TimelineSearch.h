#pragma once

#include "LumbraCore/Records.h"
#include "Reader/Lifetime.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

class Subscriptions;

// The words that narrow the timeline's list, kept across refreshes and sources, and the
// rows the list then shows: every item, or the items whose title, author, feed title or
// article text has every word, with case and accents folded. The Timeline owns it and tells
// it when its list or an item changes; views observe it.
class TimelineSearch final : public QObject {
    Q_OBJECT

public:
    // `items` is the timeline's list, read as it changes.
    TimelineSearch(const QList<Item>& items, const Subscriptions& subscriptions,
                   QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TimelineSearch)

    const QString& query() const { return m_query; }
    void setQuery(QString query);
    // The query's folded words (none without a search), for highlighting.
    const QList<QByteArray>& words() const { return m_words; }
    bool searching() const { return m_matches.has_value(); }

    // The rows shown: `items[indexOfRow(row)]` for row in [0, shownCount()).
    qsizetype shownCount() const { return m_matches ? m_matches->size() : m_items.size(); }
    const Item& shownItem(qsizetype row) const { return m_items[indexOfRow(row)]; }
    qsizetype indexOfRow(qsizetype row) const { return m_matches ? (*m_matches)[row] : row; }
    // The row of items[index]; -1 when the search hides it.
    qsizetype rowOfItem(qsizetype index) const;
    // How many of the shown rows are unread; kept as flags change.
    qsizetype shownUnreadCount() const { return m_shownUnread; }
    // Whether every listed item's search text is made (long lists take a moment).
    bool ready() const { return !m_preparing; }

    // Whether `after` lists the items of `before` in the same order, each with what its text
    // is made of unchanged: only flags changed, as when articles were read elsewhere.
    static bool sameTexts(const QList<Item>& before, const QList<Item>& after);
    // The Timeline's list was replaced: the rows are matched again at once, with the texts
    // known so far.
    void listReplaced();
    // ...by one whose texts are the same (see sameTexts): every text and row stays.
    void flagsReplaced() { countShownUnread(); }
    // After `listReplaced` and its signals: makes the texts of new and changed items, on a
    // worker for long lists, and matches again once they are in.
    QCoro::Task<> prepareTexts();
    // items[index] became unread or read.
    void unreadChanged(qsizetype index, bool unread);

Q_SIGNALS:
    void queryChanged();
    // Other rows of the same list are shown; the Timeline's `itemsChanged` means a new list.
    void shownChanged();

private:
    void updateMatches(std::optional<QList<QByteArray>> narrowedFrom);
    void alignTexts();
    void countShownUnread();

    const QList<Item>& m_items;
    const Subscriptions& m_subscriptions;
    QString m_query;
    QList<QByteArray> m_words;
    std::optional<QList<qsizetype>> m_matches; // indexes into m_items, ascending
    struct Text {
        size_t source = 0; // hash of the title, author and feed title it was made from
        // Shared with the item's: an unchanged body is told without reading it.
        std::optional<ArticleBody> body;
        QByteArray text;
    };
    QHash<qint64, Text> m_texts; // by item id
    QList<QByteArray> m_inOrder; // the same, in the order of m_items
    // Rows of recent searches of this list, so erasing what was typed is instant.
    QHash<QList<QByteArray>, QList<qsizetype>> m_recentMatches;
    qsizetype m_shownUnread = 0;
    quint64 m_listsReplaced = 0;
    bool m_preparing = false;
    bool m_prepareAgain = false;
    Lifetime m_lifetime; // last: it ends first
};

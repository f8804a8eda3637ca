#pragma once

#include "Reader/Lifetime.h"

#include <QAbstractListModel>
#include <optional>
#include <qcoro/qcorotask.h>

class Excerpts;
class FeedIcons;
class Subscriptions;
class Timeline;

// The timeline's listed items (all, or those a search matches) as rows. A replaced list or a
// new search resets the model once; a flag change updates its row only. Excerpts are computed when
// a row is first shown and cached for as long as the item's body stays the same, across reloads;
// long bodies are worked on off the main thread, so painting a row never waits for them.
class TimelineModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        ExcerptRole,
        UnreadRole,
        StarredRole,
        FeedTitleRole,
        FeedIconRole,
        DateRole,
        // Where the search's words are in the title and excerpt: (start, length) points.
        TitleHighlightsRole,
        ExcerptHighlightsRole,
        // The same for every row: a character of each script the listed titles and their
        // feeds' names use that taller fallback fonts draw (CJK, symbols, emoji), so rows
        // are as tall as the fonts drawing them need.
        LineSampleRole,
    };

    TimelineModel(const Timeline& timeline, const Subscriptions& subscriptions, FeedIcons& icons,
                  QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The row of the item with that id, -1 when not listed.
    int rowOf(qint64 id) const;
    // The focus left the rows: the opened row was said as just read, and is said as read
    // from now on.
    void openedRowSaid();

private:
    // Finds the scripts the listed titles use that need taller lines (see LineSampleRole).
    QCoro::Task<> sampleLines();

    const Timeline& m_timeline;
    const Subscriptions& m_subscriptions;
    FeedIcons& m_icons;
    Excerpts* m_excerpts;
    QString m_lineSample;
    size_t m_sampledFeedTitles = 0; // the feeds' titles the sample was taken with
    quint64 m_sampleTicket = 0;     // only the newest sampling is applied
    // The article just opened, when it was unread: opening marks it read before a screen
    // reader gets to say the row, which then says both.
    std::optional<qint64> m_openedUnread;
    Lifetime m_lifetime; // last: it ends first
};

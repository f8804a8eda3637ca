#include "Views/TimelineModel.h"

#include "LumbraCore/RelativeDate.h"
#include "LumbraCore/Search.h"
#include "LumbraCore/Text.h"
#include "LumbraCore/Worker.h"
#include "Reader/Subscriptions.h"
#include "Reader/Timeline.h"
#include "Views/Excerpts.h"
#include "Views/FeedIcons.h"

#include <QDateTime>
#include <QPoint>

namespace {
size_t feedTitlesKey(const QList<Feed>& feeds)
{
    size_t key = 0;
    for (const Feed& feed : feeds)
        key = qHashMulti(key, feed.id, feed.title);
    return key;
}

} // namespace

TimelineModel::TimelineModel(const Timeline& timeline, const Subscriptions& subscriptions,
                             FeedIcons& icons, QObject* parent)
    : QAbstractListModel(parent), m_timeline(timeline), m_subscriptions(subscriptions),
      m_icons(icons), m_excerpts(new Excerpts(this))
{
    connect(&timeline, &Timeline::itemsChanged, this, [this] {
        beginResetModel();
        m_excerpts->keepOnly(m_timeline.items());
        endResetModel();
        // Sampling reads every title: not again for articles read or starred elsewhere.
        if (!m_timeline.onlyFlagsChanged()) sampleLines();
    });
    connect(m_excerpts, &Excerpts::made, this, [this](qint64 id) {
        const int row = rowOf(id);
        if (row >= 0) Q_EMIT dataChanged(index(row), index(row), {ExcerptRole});
    });
    // Every article read changes a feed's count; only a title can change the sample, and
    // taking it again reads every listed title.
    connect(&subscriptions, &Subscriptions::feedsChanged, this, [this] {
        if (feedTitlesKey(m_subscriptions.feeds()) != m_sampledFeedTitles) sampleLines();
    });
    connect(&timeline.search(), &TimelineSearch::shownChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&timeline, &Timeline::itemChanged, this, [this](qsizetype itemIndex) {
        const qsizetype row = m_timeline.search().rowOfItem(itemIndex);
        if (row < 0) return; // hidden by the search
        const QModelIndex changed = index(int(row));
        Q_EMIT dataChanged(changed, changed);
    });
    const auto allRows = [this] {
        if (rowCount() > 0)
            Q_EMIT dataChanged(index(0), index(rowCount() - 1), {FeedTitleRole, FeedIconRole});
    };
    connect(&subscriptions, &Subscriptions::feedsChanged, this, allRows);
    connect(&timeline, &Timeline::selectedIdChanged, this, [this] {
        const Item* item = m_timeline.selectedItem();
        m_openedUnread = item && item->unread ? std::optional(item->id) : std::nullopt;
    });
    connect(&icons, &FeedIcons::iconLoaded, this, allRows);
}

namespace {
// Scripts whose glyphs come from fallback fonts taller than the main one: CJK (with kana,
// Hangul and full-width forms), symbols and emoji.
bool drawnTaller(char32_t point)
{
    return (point >= 0x2600 && point <= 0x27BF) || (point >= 0x2E80 && point <= 0xA4CF) ||
           (point >= 0xAC00 && point <= 0xD7AF) || (point >= 0xF900 && point <= 0xFAFF) ||
           (point >= 0xFE30 && point <= 0xFE4F) || (point >= 0xFF00 && point <= 0xFFEF) ||
           point >= 0x10000;
}
} // namespace

namespace {

// One character of each block of 128 code points that is drawn taller, from the titles of
// `items` and their feeds: a block's characters come from one font, and a short sample
// lays out fast.
QString lineSampleOf(QList<Item> items, const QList<Feed>& feeds)
{
    // The titles taken and the list let go at once: while a worker holds it, an article
    // marked read copies all of it on the window's thread.
    QList<std::pair<std::optional<QString>, qint64>> titles;
    titles.reserve(items.size());
    for (const Item& item : std::as_const(items))
        titles.emplace_back(item.title, item.feedId);
    items = {};
    QSet<char32_t> blocks;
    QString sample;
    const auto collect = [&](const QString& text) {
        for (qsizetype i = 0; i < text.size() && blocks.size() < 16; ++i) {
            const char16_t c = text[i].unicode();
            if (c < 0x2600) continue; // the main font's range, checked fast
            const bool pair = QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                              QChar::isLowSurrogate(text[i + 1].unicode());
            const char32_t point = pair ? QChar::surrogateToUcs4(c, text[i + 1].unicode()) : c;
            if (drawnTaller(point) && !blocks.contains(point >> 7)) {
                blocks.insert(point >> 7);
                sample += pair ? text.mid(i, 2) : text.mid(i, 1);
            }
            i += pair;
        }
    };
    QSet<qint64> listed;
    for (const auto& [title, feedId] : std::as_const(titles)) {
        if (title) collect(*title);
        listed.insert(feedId);
    }
    for (const Feed& feed : feeds)
        if (listed.contains(feed.id)) collect(feed.title);
    return sample;
}

} // namespace

QCoro::Task<> TimelineModel::sampleLines()
{
    const quint64 ticket = ++m_sampleTicket;
    m_sampledFeedTitles = feedTitlesKey(m_subscriptions.feeds());
    QCoro::Task<QString> sampling =
        onWorkerWhenLarge(m_timeline.items().size(), InlineBelow::sampledTitles,
                          [items = m_timeline.items(), feeds = m_subscriptions.feeds()]() mutable {
                              return lineSampleOf(std::exchange(items, {}), feeds);
                          });
    QString sample = co_await guarded(m_lifetime, std::move(sampling));
    if (ticket != m_sampleTicket || sample == m_lineSample) co_return;
    // Rows share one height: a new one lays them all out again.
    beginResetModel();
    m_lineSample = std::move(sample);
    endResetModel();
}

void TimelineModel::openedRowSaid()
{
    const std::optional<qint64> opened = std::exchange(m_openedUnread, std::nullopt);
    const int row = opened ? rowOf(*opened) : -1;
    if (row >= 0) Q_EMIT dataChanged(index(row), index(row), {Qt::AccessibleTextRole});
}

int TimelineModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_timeline.search().shownCount());
}

int TimelineModel::rowOf(qint64 id) const
{
    const QList<Item>& items = m_timeline.items();
    for (qsizetype i = 0; i < items.size(); ++i)
        if (items[i].id == id) return int(m_timeline.search().rowOfItem(i));
    return -1;
}

namespace {
// Where the search's words are in `shown`, as (start, length) points.
QVariant highlightsIn(const QString& shown, const QList<QByteArray>& words)
{
    QVariantList ranges;
    for (const auto& [start, length] : Search::highlights(shown, words))
        ranges << QPoint(int(start), int(length));
    return ranges;
}
} // namespace

namespace {
// The row as a screen reader says it: "Unread, starred. Title. Feed, 3 minutes ago."
QString spokenRow(const Item& item, bool wasUnread, const QString& title, const QString& feed,
                  const QString& date)
{
    QStringList states;
    if (item.unread)
        states << TimelineModel::tr("unread");
    else if (wasUnread)
        states << TimelineModel::tr("unread, now read");
    if (item.starred) states << TimelineModel::tr("starred");
    QString sentence = states.join(QStringLiteral(", "));
    if (!sentence.isEmpty()) {
        sentence[0] = sentence[0].toUpper();
        sentence += QStringLiteral(". ");
    }
    sentence += title;
    static const QString ends = QStringLiteral(".!?\u2026");
    if (title.isEmpty() || !ends.contains(title.back())) sentence += u'.';
    // An article without a date, or a feed without a name, leaves no empty part behind.
    QStringList source;
    for (const QString& part : {feed, date})
        if (!part.isEmpty()) source << part;
    return source.isEmpty() ? sentence : sentence + u' ' + source.join(QStringLiteral(", ")) + u'.';
}
// A row shows one line of its title: a feed's megabyte-long title would take a second
// to lay out for nothing.
QString shownTitle(const Item& item)
{
    static constexpr qsizetype longest = 2000;
    if (!item.title) return TimelineModel::tr("Untitled");
    QString title = item.title->left(longest);
    if (!title.isEmpty() && title.back().isHighSurrogate()) title.chop(1);
    return decodeEntities(title);
}
} // namespace

QVariant TimelineModel::data(const QModelIndex& index, int role) const
{
    if (role == LineSampleRole) return m_lineSample;
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Item& item = m_timeline.search().shownItem(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return shownTitle(item);
    case TitleHighlightsRole:
        if (m_timeline.search().words().isEmpty()) return {};
        return highlightsIn(shownTitle(item), m_timeline.search().words());
    case ExcerptHighlightsRole:
        if (m_timeline.search().words().isEmpty()) return {};
        return highlightsIn(m_excerpts->of(item.id, item.body), m_timeline.search().words());
    case IdRole:
        return item.id;
    case ExcerptRole:
        return m_excerpts->of(item.id, item.body);
    case UnreadRole:
        return item.unread;
    case StarredRole:
        return item.starred;
    case FeedTitleRole: {
        const auto feed = m_subscriptions.feed(item.feedId);
        return feed ? feed->title : QString();
    }
    case FeedIconRole: {
        const auto feed = m_subscriptions.feed(item.feedId);
        return feed ? m_icons.icon(feed->faviconLink) : FeedIcons::placeholder();
    }
    case DateRole:
        return relativeDate(item.pubDate, QDateTime::currentSecsSinceEpoch());
    case Qt::AccessibleTextRole:
        return spokenRow(item, m_openedUnread == item.id, data(index, Qt::DisplayRole).toString(),
                         data(index, FeedTitleRole).toString(), data(index, DateRole).toString());
    case Qt::AccessibleDescriptionRole:
        return m_excerpts->of(item.id, item.body);
    default:
        return {};
    }
}

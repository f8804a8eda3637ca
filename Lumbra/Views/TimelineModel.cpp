#include "Views/TimelineModel.h"

#include "LumbraCore/RelativeDate.h"
#include "LumbraCore/Search.h"
#include "LumbraCore/Text.h"
#include "Reader/Subscriptions.h"
#include "Reader/Timeline.h"
#include "Views/FeedIcons.h"

#include <QDateTime>
#include <QFuture>
#include <QFutureWatcher>
#include <QPoint>
#include <QtConcurrent/QtConcurrentRun>

TimelineModel::TimelineModel(const Timeline& timeline, const Subscriptions& subscriptions,
                             FeedIcons& icons, QObject* parent)
    : QAbstractListModel(parent), m_timeline(timeline), m_subscriptions(subscriptions),
      m_icons(icons)
{
    connect(&timeline, &Timeline::itemsChanged, this, [this] {
        beginResetModel();
        dropExcerptsOfGoneItems();
        endResetModel();
        sampleLines();
    });
    connect(&subscriptions, &Subscriptions::feedsChanged, this, &TimelineModel::sampleLines);
    connect(&timeline, &Timeline::shownChanged, this, [this] {
        beginResetModel();
        endResetModel();
    });
    connect(&timeline, &Timeline::itemChanged, this, [this](qsizetype itemIndex) {
        const qsizetype row = m_timeline.rowOfItem(itemIndex);
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
// Bodies up to this size take well under a millisecond; longer ones go to a worker.
constexpr qsizetype inlineExcerptBytes = 16 * 1024;
constexpr qsizetype excerptLength = 160;
} // namespace

QString TimelineModel::excerptOf(qint64 id, const std::optional<QByteArray>& body) const
{
    // Painting asks on every frame: the same bytes answer at once, and only a new list's
    // body is hashed, once, to see whether it changed.
    const char* bytes = body ? body->constData() : nullptr;
    const auto known = m_excerpts.find(id);
    if (known != m_excerpts.end() && known->body == bytes && bytes) return known->text;
    const size_t bodyHash = body ? qHash(*body) : 0;
    if (known != m_excerpts.end() && known->bodyHash == bodyHash) {
        known->body = bytes;
        return known->text;
    }
    if (!body || body->size() <= inlineExcerptBytes) {
        const QString text = excerpt(body, excerptLength);
        m_excerpts.insert(id, Excerpt{bytes, bodyHash, text});
        return text;
    }
    if (!m_pending.contains(id)) {
        m_pending.insert(id);
        auto* self = const_cast<TimelineModel*>(this);
        QtConcurrent::run([body] {
            return excerpt(body, excerptLength);
        }).then(self, [self, id, bodyHash](const QString& text) {
            self->m_pending.remove(id);
            self->m_excerpts.insert(id, Excerpt{nullptr, bodyHash, text});
            const int row = self->rowOf(id);
            if (row >= 0)
                Q_EMIT self->dataChanged(self->index(row), self->index(row), {ExcerptRole});
        });
    }
    return QString(); // the row shows its excerpt as soon as it is made
}

void TimelineModel::dropExcerptsOfGoneItems()
{
    QSet<qint64> listed;
    const QList<Item>& items = m_timeline.items();
    listed.reserve(items.size());
    for (const Item& item : items)
        listed.insert(item.id);
    m_excerpts.removeIf([&listed](const auto& entry) { return !listed.contains(entry.key()); });
    // The old list's bytes may be freed and their addresses reused: compare by hash again.
    for (Excerpt& kept : m_excerpts)
        kept.body = nullptr;
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
QString lineSampleOf(const QList<Item>& items, const QList<Feed>& feeds)
{
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
    for (const Item& item : items) {
        if (item.title) collect(*item.title);
        listed.insert(item.feedId);
    }
    for (const Feed& feed : feeds)
        if (listed.contains(feed.id)) collect(feed.title);
    return sample;
}

// Longer lists are sampled on a worker: reading every title takes longer than a frame.
constexpr qsizetype inlineSampleItems = 20'000;

} // namespace

void TimelineModel::sampleLines()
{
    const quint64 ticket = ++m_sampleTicket;
    const auto apply = [this, ticket](QString sample) {
        if (ticket != m_sampleTicket || sample == m_lineSample) return;
        // Rows share one height: a new one lays them all out again.
        beginResetModel();
        m_lineSample = std::move(sample);
        endResetModel();
    };
    if (m_timeline.items().size() < inlineSampleItems)
        return apply(lineSampleOf(m_timeline.items(), m_subscriptions.feeds()));
    auto* sampling = new QFutureWatcher<QString>(this);
    connect(sampling, &QFutureWatcherBase::finished, this, [sampling, apply] {
        apply(sampling->result());
        sampling->deleteLater();
    });
    sampling->setFuture(
        QtConcurrent::run(&lineSampleOf, m_timeline.items(), m_subscriptions.feeds()));
}

int TimelineModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_timeline.shownCount());
}

int TimelineModel::rowOf(qint64 id) const
{
    const QList<Item>& items = m_timeline.items();
    for (qsizetype i = 0; i < items.size(); ++i)
        if (items[i].id == id) return int(m_timeline.rowOfItem(i));
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
    const Item& item = m_timeline.shownItem(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return shownTitle(item);
    case TitleHighlightsRole:
        if (m_timeline.queryWords().isEmpty()) return {};
        return highlightsIn(shownTitle(item), m_timeline.queryWords());
    case ExcerptHighlightsRole:
        if (m_timeline.queryWords().isEmpty()) return {};
        return highlightsIn(excerptOf(item.id, item.body), m_timeline.queryWords());
    case IdRole:
        return item.id;
    case ExcerptRole:
        return excerptOf(item.id, item.body);
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
        return excerptOf(item.id, item.body);
    default:
        return {};
    }
}

#include "Views/TimelineModel.h"

#include "LumbraCore/RelativeDate.h"
#include "LumbraCore/Text.h"
#include "Reader/Reader.h"
#include "Views/FeedIcons.h"

#include <QDateTime>

TimelineModel::TimelineModel(Reader& reader, FeedIcons& icons, QObject* parent)
    : QAbstractListModel(parent), m_reader(reader), m_icons(icons)
{
    connect(&reader, &Reader::itemsChanged, this, [this] {
        beginResetModel();
        m_excerpts.clear();
        endResetModel();
    });
    connect(&reader, &Reader::itemChanged, this, [this](qsizetype row) {
        const QModelIndex changed = index(int(row));
        Q_EMIT dataChanged(changed, changed);
    });
    const auto allRows = [this] {
        if (rowCount() > 0)
            Q_EMIT dataChanged(index(0), index(rowCount() - 1), {FeedTitleRole, FeedIconRole});
    };
    connect(&reader, &Reader::feedsChanged, this, allRows);
    connect(&icons, &FeedIcons::iconLoaded, this, allRows);
}

int TimelineModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_reader.items().size());
}

int TimelineModel::rowOf(qint64 id) const
{
    const QList<Item>& items = m_reader.items();
    for (qsizetype i = 0; i < items.size(); ++i)
        if (items[i].id == id) return int(i);
    return -1;
}

QVariant TimelineModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const Item& item = m_reader.items()[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return decodeEntities(item.title.value_or(QStringLiteral("Untitled")));
    case IdRole:
        return item.id;
    case ExcerptRole: {
        auto it = m_excerpts.find(item.id);
        if (it == m_excerpts.end()) it = m_excerpts.insert(item.id, excerpt(item.body, 160));
        return *it;
    }
    case UnreadRole:
        return item.unread;
    case StarredRole:
        return item.starred;
    case FeedTitleRole: {
        const auto feed = m_reader.feed(item.feedId);
        return feed ? feed->title : QString();
    }
    case FeedIconRole: {
        const auto feed = m_reader.feed(item.feedId);
        return feed ? m_icons.icon(feed->faviconLink) : FeedIcons::placeholder();
    }
    case DateRole:
        return relativeDate(item.pubDate, QDateTime::currentSecsSinceEpoch());
    default:
        return {};
    }
}

#include "Views/SourcesModel.h"

#include "LumbraCore/SourceKinds.h"
#include "Reader/Reader.h"
#include "Views/FeedIcons.h"
#include "Views/Style.h"

#include <QApplication>
#include <limits>

SourcesModel::SourcesModel(Reader& reader, FeedIcons& icons, QObject* parent)
    : QAbstractItemModel(parent), m_reader(reader), m_icons(icons), m_trays(traySources())
{
    const auto changed = [this] {
        const size_t structure = structureHash();
        if (structure != m_structure || m_top.empty()) {
            beginResetModel();
            rebuild();
            endResetModel();
            m_structure = structure;
            return;
        }
        // Counts change with every article read; the rows only when folders or feeds do.
        // Only the rows whose count changed are told, however many rows there are.
        const QList<qint64> changedFeeds = recount();
        Q_EMIT dataChanged(index(0, 0), index(int(m_trays.size()) - 1, 0), {BadgeRole});
        for (const qint64 id : changedFeeds) {
            const QModelIndex feed = indexOf(Source::feed(id));
            Q_EMIT dataChanged(feed, feed, {BadgeRole});
            if (feed.parent().isValid()) Q_EMIT dataChanged(feed.parent(), feed.parent(), {BadgeRole});
        }
    };
    connect(&reader, &Reader::foldersChanged, this, changed);
    connect(&reader, &Reader::feedsChanged, this, changed);
    connect(&reader, &Reader::starredCountChanged, this,
            [this] { Q_EMIT dataChanged(index(0, 0), index(int(m_trays.size()) - 1, 0)); });
    beginResetModel();
    rebuild();
    endResetModel();
    m_structure = structureHash();
}

size_t SourcesModel::structureHash() const
{
    size_t seed = 0;
    for (const Folder& folder : m_reader.folders())
        seed = qHashMulti(seed, folder.id, folder.name);
    for (const Feed& feed : m_reader.feeds())
        seed = qHashMulti(seed, feed.id, feed.title, feed.folderId.value_or(-1),
                          feed.faviconLink.value_or(QString()));
    return seed;
}

void SourcesModel::rebuild()
{
    const QList<Folder>& folders = m_reader.folders();
    const QList<Feed>& feeds = m_reader.feeds();
    m_top.clear();
    m_folderRows.clear();
    m_feedRows.clear();
    m_top.reserve(size_t(m_trays.size() + folders.size()) + 2);
    for (qsizetype i = 0; i < m_trays.size(); ++i)
        m_top.push_back({Top::Kind::tray, i, {}, {}});
    m_top.push_back({Top::Kind::section, 0, {}, QStringLiteral("Folders")});
    m_folderRows.reserve(folders.size());
    for (qsizetype i = 0; i < folders.size(); ++i) {
        m_folderRows.insert(folders[i].id, int(m_top.size()));
        m_top.push_back({Top::Kind::folder, i, {}, {}});
    }
    std::vector<qsizetype> loose;
    m_feedRows.reserve(feeds.size());
    for (qsizetype i = 0; i < feeds.size(); ++i) {
        const auto folder = feeds[i].folderId ? m_folderRows.constFind(*feeds[i].folderId)
                                              : m_folderRows.cend();
        if (folder == m_folderRows.cend()) {
            // A feed in a folder the server did not list has no place to show.
            if (!feeds[i].folderId) loose.push_back(i);
            continue;
        }
        std::vector<qsizetype>& children = m_top[size_t(*folder)].children;
        m_feedRows.insert(feeds[i].id, {*folder, int(children.size())});
        children.push_back(i);
    }
    if (!loose.empty()) {
        m_top.push_back({Top::Kind::section, 0, {}, QStringLiteral("Feeds")});
        for (qsizetype i : loose) {
            m_feedRows.insert(feeds[i].id, {-1, int(m_top.size())});
            m_top.push_back({Top::Kind::feed, i, {}, {}});
        }
    }
    recount();
}

QList<qint64> SourcesModel::recount()
{
    QList<qint64> changed;
    m_folderUnread.clear();
    QHash<qint64, qint64> counts;
    counts.reserve(m_reader.feeds().size());
    for (const Feed& feed : m_reader.feeds()) {
        const qint64 count = feed.unreadCount.value_or(0);
        counts.insert(feed.id, count);
        if (m_feedUnread.value(feed.id, -1) != count) changed << feed.id;
        if (!feed.folderId || count == 0) continue;
        qint64& sum = m_folderUnread[*feed.folderId];
        if (__builtin_add_overflow(sum, count, &sum)) sum = std::numeric_limits<qint64>::max();
    }
    m_feedUnread = std::move(counts);
    return changed;
}

QModelIndex SourcesModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0) return {};
    if (!parent.isValid())
        return size_t(row) < m_top.size() ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    if (parent.internalId() != 0) return {}; // feeds have no children
    const Top& folder = m_top[size_t(parent.row())];
    if (size_t(row) >= folder.children.size()) return {};
    return createIndex(row, 0, quintptr(parent.row()) + 1);
}

QModelIndex SourcesModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == 0) return {};
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int SourcesModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid()) return int(m_top.size());
    if (parent.internalId() != 0) return 0;
    return int(m_top[size_t(parent.row())].children.size());
}

int SourcesModel::columnCount(const QModelIndex&) const
{
    return 1;
}

const SourcesModel::Top* SourcesModel::topOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() != 0 || size_t(index.row()) >= m_top.size())
        return nullptr;
    return &m_top[size_t(index.row())];
}

Qt::ItemFlags SourcesModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    const Top* top = topOf(index);
    if (top && top->kind == Top::Kind::section) return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant SourcesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) return {};
    const QList<Feed>& feeds = m_reader.feeds();
    const Top* top = topOf(index);
    if (top && top->kind == Top::Kind::section) {
        if (role == Qt::DisplayRole) return top->title;
        if (role == Qt::FontRole)
            return Style::font(Style::FontRole::section, QApplication::font());
        if (role == IsSourceRole) return false;
        return {};
    }
    std::optional<Source> source;
    QString title;
    QIcon icon;
    qint64 badge = 0;
    if (top && top->kind == Top::Kind::tray) {
        source = m_trays[top->at];
        if (role == Qt::DisplayRole) title = m_reader.title(*source);
        if (role == Qt::DecorationRole) icon = QIcon::fromTheme(sourceKind(*source).iconName);
        if (role == BadgeRole) badge = m_reader.count(*source);
    } else if (top && top->kind == Top::Kind::folder) {
        const Folder& folder = m_reader.folders()[top->at];
        source = Source::folder(folder.id);
        title = folder.name;
        if (role == Qt::DecorationRole) icon = QIcon::fromTheme(sourceKind(*source).iconName);
        badge = m_folderUnread.value(folder.id);
    } else {
        const qsizetype at = top ? top->at
                                 : m_top[size_t(index.internalId() - 1)].children[size_t(index.row())];
        const Feed& feed = feeds[at];
        source = Source::feed(feed.id);
        title = feed.title;
        if (role == Qt::DecorationRole) icon = m_icons.icon(feed.faviconLink);
        badge = feed.unreadCount.value_or(0);
    }
    switch (role) {
    case Qt::DisplayRole:
        return title;
    case Qt::DecorationRole:
        return icon;
    case BadgeRole:
        return badge;
    case SourceKindRole:
        return int(source->kind());
    case SourceIdRole:
        return source->id();
    case IsSourceRole:
        return true;
    default:
        return {};
    }
}

QModelIndex SourcesModel::indexOf(const Source& source) const
{
    switch (source.kind()) {
    case Source::Kind::folder: {
        const auto it = m_folderRows.constFind(source.id());
        return it == m_folderRows.cend() ? QModelIndex() : index(*it, 0);
    }
    case Source::Kind::feed: {
        const auto it = m_feedRows.constFind(source.id());
        if (it == m_feedRows.cend()) return {};
        return it->first < 0 ? index(it->second, 0) : index(it->second, 0, index(it->first, 0));
    }
    default:
        const qsizetype tray = m_trays.indexOf(source);
        return tray < 0 ? QModelIndex() : index(int(tray), 0);
    }
}

Source SourcesModel::sourceAt(const QModelIndex& index)
{
    return Source::of(Source::Kind(index.data(SourceKindRole).toInt()),
                      index.data(SourceIdRole).toLongLong());
}

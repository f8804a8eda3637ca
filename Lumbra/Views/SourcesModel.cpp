#include "Views/SourcesModel.h"

#include "LumbraCore/SourceKinds.h"
#include "LumbraCore/Worker.h"
#include "Reader/Subscriptions.h"
#include "Views/FeedIcons.h"
#include "Views/Style.h"
#include "Views/Wording.h"

#include <QApplication>
#include <QLocale>
#include <QMimeData>
#include <limits>

// A top-level row: a tray, a section title, a folder or a feed outside any folder.
struct SourcesModel::Top {
    enum class Kind { tray, section, folder, feed } kind;
    qsizetype at = 0;                // the tray's, folder's or feed's index in its list
    std::vector<qsizetype> children; // a folder's feeds, as indexes into the feed list
    QString title;                   // a section's title
};

// Everything the rows show, from one snapshot of the lists.
struct SourcesModel::Rows {
    QList<Folder> folders;
    QList<Feed> feeds;
    std::vector<Top> top;
    QHash<qint64, int> folderRows;               // folder id → top-level row
    QHash<qint64, std::pair<int, int>> feedRows; // feed id → (top row or -1, row)
    QHash<qint64, qint64> folderUnread;          // folder id → its feeds' unread sum
    size_t structure = 0;                        // what decides the rows, not the counts
    QList<qint64> changedCounts; // feeds whose count differs from the rows before, same structure

    qsizetype size() const { return folders.size() + feeds.size(); }

    static std::shared_ptr<const Rows> build(QList<Folder> folders, QList<Feed> feeds,
                                             qsizetype trays, std::shared_ptr<const Rows> before);
};

namespace {

size_t structureOf(const QList<Folder>& folders, const QList<Feed>& feeds)
{
    size_t seed = 0;
    for (const Folder& folder : folders)
        seed = qHashMulti(seed, folder.id, folder.name);
    for (const Feed& feed : feeds)
        seed = qHashMulti(seed, feed.id, feed.title, feed.folderId.value_or(-1),
                          feed.faviconLink.value_or(QString()));
    return seed;
}

} // namespace

std::shared_ptr<const SourcesModel::Rows>
SourcesModel::Rows::build(QList<Folder> folders, QList<Feed> feeds, qsizetype trays,
                          std::shared_ptr<const Rows> before)
{
    auto rows = std::make_shared<Rows>();
    rows->structure = structureOf(folders, feeds);
    rows->folders = std::move(folders);
    rows->feeds = std::move(feeds);
    for (const Feed& feed : std::as_const(rows->feeds)) {
        const qint64 count = feed.unreadCount.value_or(0);
        if (!feed.folderId || count == 0) continue;
        qint64& sum = rows->folderUnread[*feed.folderId];
        if (__builtin_add_overflow(sum, count, &sum)) sum = std::numeric_limits<qint64>::max();
    }
    if (before && before->structure == rows->structure) {
        // Same rows: keep them, and say which counts moved.
        rows->top = before->top;
        rows->folderRows = before->folderRows;
        rows->feedRows = before->feedRows;
        for (qsizetype i = 0; i < rows->feeds.size(); ++i)
            if (rows->feeds[i].unreadCount != before->feeds[i].unreadCount)
                rows->changedCounts << rows->feeds[i].id;
        return rows;
    }
    const QList<Folder>& list = rows->folders;
    std::vector<Top>& top = rows->top;
    top.reserve(size_t(trays + list.size()) + 2);
    for (qsizetype i = 0; i < trays; ++i)
        top.push_back({Top::Kind::tray, i, {}, {}});
    top.push_back({Top::Kind::section, 0, {}, tr("Folders")});
    rows->folderRows.reserve(list.size());
    for (qsizetype i = 0; i < list.size(); ++i) {
        rows->folderRows.insert(list[i].id, int(top.size()));
        top.push_back({Top::Kind::folder, i, {}, {}});
    }
    std::vector<qsizetype> loose;
    rows->feedRows.reserve(rows->feeds.size());
    for (qsizetype i = 0; i < rows->feeds.size(); ++i) {
        const Feed& feed = rows->feeds[i];
        const auto folder =
            feed.folderId ? rows->folderRows.constFind(*feed.folderId) : rows->folderRows.cend();
        if (folder == rows->folderRows.cend()) {
            // The server keeps feeds of a deleted folder, and moves feeds into folders that
            // never were: they stay reachable at the top level.
            loose.push_back(i);
            continue;
        }
        std::vector<qsizetype>& children = top[size_t(*folder)].children;
        rows->feedRows.insert(feed.id, {*folder, int(children.size())});
        children.push_back(i);
    }
    if (!loose.empty()) {
        top.push_back({Top::Kind::section, 0, {}, tr("Feeds")});
        for (qsizetype i : loose) {
            rows->feedRows.insert(rows->feeds[i].id, {-1, int(top.size())});
            top.push_back({Top::Kind::feed, i, {}, {}});
        }
    }
    return rows;
}

SourcesModel::SourcesModel(const Subscriptions& subscriptions, FeedIcons& icons, QObject* parent)
    : QAbstractItemModel(parent), m_subscriptions(subscriptions), m_icons(icons),
      m_trays(traySources()),
      m_rows(Rows::build(subscriptions.folders(), subscriptions.feeds(), m_trays.size(), nullptr)),
      m_shown(int(std::min<size_t>(m_rows->top.size(), rowsAtOnce)))
{
    connect(&subscriptions, &Subscriptions::foldersChanged, this, &SourcesModel::listsChanged);
    connect(&subscriptions, &Subscriptions::feedsChanged, this, &SourcesModel::listsChanged);
    connect(&subscriptions, &Subscriptions::starredCountChanged, this,
            [this] { Q_EMIT dataChanged(index(0, 0), index(int(m_trays.size()) - 1, 0)); });
}

SourcesModel::~SourcesModel()
{
    releaseInBackground(std::move(m_rows));
}

QCoro::Task<> SourcesModel::listsChanged()
{
    if (m_building) {
        m_stale = true; // built again once the running build ends
        co_return;
    }
    m_building = true;
    std::shared_ptr<const Rows> next;
    bool waited = false;
    do {
        // Lists newer than the last ones built: those are built instead of shown briefly.
        m_stale = false;
        const QList<Folder>& folders = m_subscriptions.folders();
        const QList<Feed>& feeds = m_subscriptions.feeds();
        const qsizetype size = std::max(folders.size() + feeds.size(), m_rows->size());
        waited = waited || size >= InlineBelow::builtSources;
        QCoro::Task<std::shared_ptr<const Rows>> building =
            onWorkerWhenLarge(size, InlineBelow::builtSources,
                              [folders, feeds, trays = m_trays.size(), before = m_rows] {
                                  return Rows::build(folders, feeds, trays, before);
                              });
        std::shared_ptr<const Rows> built = co_await guarded(m_lifetime, std::move(building));
        releaseInBackground(std::exchange(next, std::move(built)));
    } while (m_stale);
    m_building = false;
    apply(std::move(next));
    if (waited) Q_EMIT becameCurrent();
}

void SourcesModel::apply(std::shared_ptr<const Rows> next)
{
    if (next->structure != m_rows->structure) {
        beginResetModel();
        releaseInBackground(std::exchange(m_rows, std::move(next)));
        m_shown = int(std::min<size_t>(m_rows->top.size(), rowsAtOnce));
        endResetModel();
        return;
    }
    // Counts change with every article read; the rows only when folders or feeds do.
    // Only the rows whose count changed are told, however many rows there are.
    releaseInBackground(std::exchange(m_rows, std::move(next)));
    Q_EMIT dataChanged(index(0, 0), index(int(m_trays.size()) - 1, 0), {BadgeRole});
    for (const qint64 id : m_rows->changedCounts) {
        const QModelIndex feed = indexOf(Source::feed(id));
        if (!feed.isValid()) continue; // not shown yet: read when it is
        Q_EMIT dataChanged(feed, feed, {BadgeRole});
        if (feed.parent().isValid()) Q_EMIT dataChanged(feed.parent(), feed.parent(), {BadgeRole});
    }
}

QModelIndex SourcesModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0) return {};
    if (!parent.isValid()) return row < m_shown ? createIndex(row, 0, quintptr(0)) : QModelIndex();
    if (parent.internalId() != 0) return {}; // feeds have no children
    const Top& folder = m_rows->top[size_t(parent.row())];
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
    if (!parent.isValid()) return m_shown;
    if (parent.internalId() != 0) return 0;
    return int(m_rows->top[size_t(parent.row())].children.size());
}

bool SourcesModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid()) return m_shown > 0;
    if (parent.internalId() != 0 || size_t(parent.row()) >= m_rows->top.size()) return false;
    return !m_rows->top[size_t(parent.row())].children.empty();
}

int SourcesModel::columnCount(const QModelIndex&) const
{
    return 1;
}

const SourcesModel::Top* SourcesModel::topOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() != 0 || size_t(index.row()) >= m_rows->top.size())
        return nullptr;
    return &m_rows->top[size_t(index.row())];
}

Qt::ItemFlags SourcesModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::ItemIsDropEnabled; // the top level
    const Top* top = topOf(index);
    if (top && top->kind == Top::Kind::section) return Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
    const Source::Kind kind = Source::Kind(data(index, SourceKindRole).toInt());
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (kind == Source::Kind::feed) flags |= Qt::ItemIsDragEnabled;
    if (kind == Source::Kind::folder) flags |= Qt::ItemIsDropEnabled;
    return flags;
}

namespace {
const QString feedMime = QStringLiteral("application/x-lumbra-feed");
} // namespace

QStringList SourcesModel::mimeTypes() const
{
    return {feedMime};
}

QMimeData* SourcesModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.size() != 1 ||
        Source::Kind(data(indexes.first(), SourceKindRole).toInt()) != Source::Kind::feed)
        return nullptr;
    auto* mime = new QMimeData;
    mime->setData(feedMime, QByteArray::number(data(indexes.first(), SourceIdRole).toLongLong()));
    return mime;
}

Qt::DropActions SourcesModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

bool SourcesModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                   int column, const QModelIndex& parent) const
{
    Q_UNUSED(row);
    Q_UNUSED(column);
    if (!data || !data->hasFormat(feedMime) || action != Qt::MoveAction) return false;
    // Onto a folder, into a folder's rows, or onto the top level.
    return !parent.isValid() || (flags(parent) & Qt::ItemIsDropEnabled) ||
           Source::Kind(this->data(parent, SourceKindRole).toInt()) == Source::Kind::folder;
}

bool SourcesModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent)) return false;
    bool read = false;
    const qint64 feed = data->data(feedMime).toLongLong(&read);
    if (!read) return false;
    std::optional<qint64> folder;
    if (parent.isValid() &&
        Source::Kind(this->data(parent, SourceKindRole).toInt()) == Source::Kind::folder)
        folder = this->data(parent, SourceIdRole).toLongLong();
    Q_EMIT feedDropped(feed, folder);
    return false; // the rows move once the lists do; the view must not remove the dragged one
}

QVariant SourcesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid()) return {};
    const QList<Feed>& feeds = m_rows->feeds;
    const Top* top = topOf(index);
    if (top && top->kind == Top::Kind::section) {
        if (role == Qt::DisplayRole) return top->title;
        if (role == Qt::FontRole)
            return Style::font(Style::FontRole::section, QApplication::font());
        if (role == IsSourceRole) return false;
        if (role == Qt::AccessibleDescriptionRole) return tr("Heading");
        return {};
    }
    std::optional<Source> source;
    QString title;
    QIcon icon;
    qint64 badge = 0;
    // A name cut short in a narrow column is whole in its tooltip.
    if (role == Qt::ToolTipRole) return data(index, Qt::DisplayRole);
    if (role == Qt::AccessibleTextRole) {
        // Read out as "Tech & Science, folder, 4 unread".
        const Source::Kind kind = Source::Kind(data(index, SourceKindRole).toInt());
        const qint64 count = data(index, BadgeRole).toLongLong();
        const bool starred = sourceKind(kind).scope == SourceKind::Scope::starred;
        QString counted;
        if (count <= 0)
            counted = starred ? tr("no starred") : tr("no unread");
        else
            counted = starred ? tr("%Ln starred", nullptr, int(count))
                              : tr("%Ln unread", nullptr, int(count));
        const QString name = data(index, Qt::DisplayRole).toString();
        //: A source as a screen reader says it: its name, its kind, its count.
        // A feed in a folder says where it is: the tree's depth is not heard otherwise.
        const QString folder =
            index.parent().isValid() ? data(index.parent(), Qt::DisplayRole).toString() : QString();
        //: %2 is the folder the feed is in.
        const QString sentence =
            kind == Source::Kind::folder ? tr("%1, folder, %2").arg(name, counted)
            : kind == Source::Kind::feed && !folder.isEmpty()
                ? tr("%1, feed in %2, %3").arg(name, folder, counted)
            : kind == Source::Kind::feed ? tr("%1, feed, %2").arg(name, counted)
                                         : tr("%1, %2").arg(name, counted);
        // The keyboard passes over the headings: the first row under one says it.
        const QModelIndex above = index.parent().isValid() || index.row() == 0
                                      ? QModelIndex()
                                      : this->index(index.row() - 1, 0);
        const Top* heading = above.isValid() ? topOf(above) : nullptr;
        if (heading && heading->kind == Top::Kind::section)
            //: The first source under a heading, as a screen reader says it: "Folders: …".
            return tr("%1: %2").arg(heading->title, sentence);
        return sentence;
    }
    if (top && top->kind == Top::Kind::tray) {
        source = m_trays[top->at];
        if (role == Qt::DisplayRole)
            title = Wording::sourceTitle(*source, m_subscriptions.name(*source));
        if (role == Qt::DecorationRole) icon = QIcon::fromTheme(sourceKind(*source).iconName);
        if (role == BadgeRole) badge = m_subscriptions.count(*source);
    } else if (top && top->kind == Top::Kind::folder) {
        const Folder& folder = m_rows->folders[top->at];
        source = Source::folder(folder.id);
        title = folder.name;
        if (role == Qt::DecorationRole) icon = QIcon::fromTheme(sourceKind(*source).iconName);
        badge = m_rows->folderUnread.value(folder.id);
    } else {
        const qsizetype at =
            top ? top->at
                : m_rows->top[size_t(index.internalId() - 1)].children[size_t(index.row())];
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

int SourcesModel::topRowOf(const Source& source) const
{
    switch (source.kind()) {
    case Source::Kind::folder:
        return m_rows->folderRows.value(source.id(), -1);
    case Source::Kind::feed: {
        const auto it = m_rows->feedRows.constFind(source.id());
        if (it == m_rows->feedRows.cend()) return -1;
        return it->first < 0 ? it->second : it->first;
    }
    default:
        return int(m_trays.indexOf(source));
    }
}

QModelIndex SourcesModel::indexOf(const Source& source) const
{
    const int row = topRowOf(source);
    if (row < 0 || row >= m_shown) return {};
    if (source.kind() == Source::Kind::feed) {
        const auto [folder, at] = m_rows->feedRows.value(source.id());
        if (folder >= 0) return index(at, 0, index(folder, 0));
    }
    return index(row, 0);
}

QModelIndex SourcesModel::reveal(const Source& source)
{
    const int row = topRowOf(source);
    if (row >= m_shown) showRows(std::max(row + 1, m_shown + rowsAtOnce));
    return indexOf(source);
}

bool SourcesModel::hasHiddenRows() const
{
    return size_t(m_shown) < m_rows->top.size();
}

int SourcesModel::allRowCount() const
{
    return int(m_rows->top.size());
}

void SourcesModel::showMoreRows()
{
    showRows(m_shown + std::max(m_shown, rowsAtOnce));
}

void SourcesModel::showAllRows()
{
    showRows(int(m_rows->top.size()));
}

void SourcesModel::showRows(int count)
{
    count = int(std::min<size_t>(size_t(count), m_rows->top.size()));
    if (count <= m_shown) return;
    beginInsertRows({}, m_shown, count - 1);
    m_shown = count;
    endInsertRows();
}

Source SourcesModel::sourceAt(const QModelIndex& index)
{
    return Source::of(Source::Kind(index.data(SourceKindRole).toInt()),
                      index.data(SourceIdRole).toLongLong());
}

#include "Views/SidebarView.h"

#include "LumbraCore/SourceKinds.h"
#include "Reader/Reader.h"
#include "Views/FeedIcons.h"
#include "Views/Style.h"

#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// Paints the row as usual, then its badge (none for 0) at the trailing edge.
class BadgeDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        const qint64 badge = index.data(SidebarView::BadgeRole).toLongLong();
        QStyleOptionViewItem shortened = option;
        QString text;
        int width = 0;
        if (badge > 0) {
            text = QString::number(badge);
            width = option.fontMetrics.horizontalAdvance(text) + 12;
            shortened.rect.setRight(option.rect.right() - width - 4);
        }
        QStyledItemDelegate::paint(painter, shortened, index);
        if (badge <= 0) return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRect pill(option.rect.right() - width - 2, option.rect.center().y() - 8, width, 16);
        painter->setPen(Qt::NoPen);
        QColor fill = option.palette.color(QPalette::PlaceholderText);
        fill.setAlphaF(0.25);
        painter->setBrush(fill);
        painter->drawRoundedRect(pill, 8, 8);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(pill, Qt::AlignCenter, text);
        painter->restore();
    }
};

QStandardItem* header(const QString& title)
{
    auto* item = new QStandardItem(title);
    item->setFlags(Qt::ItemIsEnabled);
    item->setFont(Style::font(Style::FontRole::section, item->font()));
    item->setData(false, SidebarView::IsSourceRole);
    return item;
}

QStandardItem* sourceRow(const QString& title, const QIcon& icon, const Source& source)
{
    auto* item = new QStandardItem(icon, title);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setData(int(source.kind()), SidebarView::SourceKindRole);
    item->setData(source.id(), SidebarView::SourceIdRole);
    item->setData(true, SidebarView::IsSourceRole);
    return item;
}

QIcon iconOf(const Source& source)
{
    return QIcon::fromTheme(sourceKind(source).iconName);
}

Source sourceOf(const QModelIndex& index)
{
    return Source::of(Source::Kind(index.data(SidebarView::SourceKindRole).toInt()),
                      index.data(SidebarView::SourceIdRole).toLongLong());
}

template <typename Visit> void forEachRow(QStandardItemModel* model, Visit visit)
{
    std::function<void(QStandardItem*)> walk = [&](QStandardItem* parent) {
        for (int row = 0; row < parent->rowCount(); ++row) {
            QStandardItem* child = parent->child(row);
            visit(child);
            walk(child);
        }
    };
    walk(model->invisibleRootItem());
}

} // namespace

SidebarView::SidebarView(Reader& reader, FeedIcons& icons, QWidget* parent)
    : QWidget(parent), m_reader(reader), m_icons(icons), m_model(new QStandardItemModel(this)),
      m_tree(new QTreeView(this)),
      m_refresh(new QPushButton(QIcon::fromTheme(QStringLiteral("view-refresh")),
                                QStringLiteral("Refresh"), this)),
      m_errorOverlay(new EmptyState(QStringLiteral("dialog-warning"),
                                    QStringLiteral("Can't Reach News"), m_tree))
{
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_tree->setItemDelegate(new BadgeDelegate(m_tree));
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setAccessibleName(QStringLiteral("Sources"));
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_refresh->setFocusPolicy(Qt::NoFocus);
    m_refresh->setToolTip(QStringLiteral("Refresh (Ctrl+R)"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    auto* bar = new QHBoxLayout;
    bar->addStretch();
    bar->addWidget(m_refresh);
    bar->setContentsMargins(6, 0, 6, 4);
    layout->addLayout(bar);
    layout->addWidget(m_tree, 1);

    m_errorOverlay->setAutoFillBackground(true);

    connect(m_refresh, &QPushButton::clicked, &m_reader, &Reader::refresh);
    connect(&reader, &Reader::refreshingChanged, this,
            [this] { m_refresh->setEnabled(!m_reader.refreshing()); });
    connect(&reader, &Reader::foldersChanged, this, &SidebarView::rebuild);
    connect(&reader, &Reader::feedsChanged, this, &SidebarView::rebuild);
    connect(&reader, &Reader::starredCountChanged, this, &SidebarView::updateBadges);
    connect(&reader, &Reader::sourceChanged, this, &SidebarView::showSource);
    connect(&reader, &Reader::errorChanged, this, &SidebarView::updateError);
    connect(&icons, &FeedIcons::iconLoaded, this, [this] {
        m_structure.clear();
        rebuild();
    });
    connect(m_tree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        m_expanded.insert(index.data(SourceIdRole).toLongLong());
    });
    connect(m_tree, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        m_expanded.remove(index.data(SourceIdRole).toLongLong());
    });
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!m_syncing && current.isValid() && current.data(IsSourceRole).toBool())
                    m_reader.selectSource(sourceOf(current));
            });
    rebuild();
    updateError();
    m_refresh->setEnabled(!m_reader.refreshing());
}

QStandardItem* SidebarView::feedRow(const Feed& feed)
{
    return sourceRow(feed.title, m_icons.icon(feed.faviconLink), Source::feed(feed.id));
}

void SidebarView::rebuild()
{
    // Counts change with every article read; the rows only when folders or feeds do.
    QString structure;
    for (const Folder& folder : m_reader.folders())
        structure += QString::number(folder.id) + u':' + folder.name + u'\n';
    for (const Feed& feed : m_reader.feeds())
        structure += QString::number(feed.id) + u':' + feed.title + u':' +
                     QString::number(feed.folderId.value_or(-1)) + u'\n';
    if (structure == m_structure && m_model->rowCount() > 0) {
        updateBadges();
        return;
    }
    m_structure = structure;
    m_syncing = true;
    m_model->clear();
    QStandardItem* root = m_model->invisibleRootItem();
    for (const Source& tray : traySources())
        root->appendRow(sourceRow(m_reader.title(tray), iconOf(tray), tray));
    root->appendRow(header(QStringLiteral("Folders")));
    for (const Folder& folder : m_reader.folders()) {
        const Source source = Source::folder(folder.id);
        QStandardItem* row = sourceRow(folder.name, iconOf(source), source);
        for (const Feed& feed : m_reader.feeds())
            if (feed.folderId == folder.id) row->appendRow(feedRow(feed));
        root->appendRow(row);
    }
    const QList<Feed>& feeds = m_reader.feeds();
    if (std::any_of(feeds.cbegin(), feeds.cend(), [](const Feed& f) { return !f.folderId; })) {
        root->appendRow(header(QStringLiteral("Feeds")));
        for (const Feed& feed : feeds)
            if (!feed.folderId) root->appendRow(feedRow(feed));
    }
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row, 0);
        if (index.data(SourceKindRole).toInt() == int(Source::Kind::folder) &&
            m_expanded.contains(index.data(SourceIdRole).toLongLong()))
            m_tree->expand(index);
    }
    m_syncing = false;
    updateBadges();
    showSource();
}

void SidebarView::updateBadges()
{
    forEachRow(m_model, [this](QStandardItem* item) {
        if (!item->data(IsSourceRole).toBool()) return;
        const qint64 count = m_reader.count(sourceOf(item->index()));
        if (item->data(BadgeRole).toLongLong() != count) item->setData(count, BadgeRole);
    });
}

void SidebarView::showSource()
{
    QModelIndex match;
    if (const auto& source = m_reader.source()) {
        forEachRow(m_model, [&](QStandardItem* item) {
            if (!match.isValid() && item->data(IsSourceRole).toBool() &&
                sourceOf(item->index()) == *source)
                match = item->index();
        });
    }
    m_syncing = true;
    if (match.isValid())
        m_tree->selectionModel()->setCurrentIndex(match, QItemSelectionModel::ClearAndSelect);
    else
        m_tree->selectionModel()->clear();
    m_syncing = false;
}

void SidebarView::updateError()
{
    const std::optional<QString>& error = m_reader.error();
    m_errorOverlay->setText(error.value_or(QString()));
    m_errorOverlay->setVisible(error.has_value());
    m_errorOverlay->setGeometry(m_tree->rect());
}

void SidebarView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_errorOverlay->setGeometry(m_tree->rect());
}

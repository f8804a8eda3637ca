#include "TimelineView.h"

#include "ItemRowDelegate.h"
#include "Reader.h"
#include "TimelineModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TimelineView::TimelineView(Reader& reader, FeedIcons& icons, QWidget* parent)
    : QWidget(parent), m_reader(reader), m_model(new TimelineModel(reader, icons, this)),
      m_list(new QListView(this)), m_title(new QLabel(this)), m_subtitle(new QLabel(this)),
      m_markAll(new QPushButton(QIcon::fromTheme(QStringLiteral("checkmark")),
                                QStringLiteral("Mark All as Read"), this)),
      m_placeholder(new QLabel(m_list)), m_progress(new QProgressBar(m_list))
{
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    m_title->setFont(titleFont);
    m_subtitle->setForegroundRole(QPalette::PlaceholderText);
    m_markAll->setToolTip(QStringLiteral("Mark All as Read (Shift+Ctrl+A)"));
    m_markAll->setFocusPolicy(Qt::NoFocus);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(0);
    titles->addWidget(m_title);
    titles->addWidget(m_subtitle);
    auto* header = new QHBoxLayout;
    header->addLayout(titles, 1);
    header->addWidget(m_markAll);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    layout->addLayout(header);
    layout->addWidget(m_list, 1);
    header->setContentsMargins(10, 0, 10, 4);

    m_list->setModel(m_model);
    m_list->setItemDelegate(new ItemRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setAccessibleName(QStringLiteral("Articles"));

    QFont placeholderFont = m_placeholder->font();
    placeholderFont.setPointSizeF(placeholderFont.pointSizeF() * 1.3);
    m_placeholder->setFont(placeholderFont);
    m_placeholder->setAlignment(Qt::AlignCenter);
    m_placeholder->setForegroundRole(QPalette::PlaceholderText);
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedWidth(120);

    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!m_syncing && current.isValid())
                    m_reader.select(current.data(TimelineModel::IdRole).toLongLong());
            });
    connect(m_list, &QListView::customContextMenuRequested, this, &TimelineView::showContextMenu);
    connect(m_markAll, &QPushButton::clicked, &m_reader, &Reader::markAllRead);
    connect(&reader, &Reader::selectedIdChanged, this, &TimelineView::showSelection);
    connect(&reader, &Reader::itemsChanged, this, &TimelineView::showSelection);
    for (auto signal :
         {&Reader::sourceChanged, &Reader::feedsChanged, &Reader::foldersChanged,
          &Reader::starredCountChanged, &Reader::itemsChanged, &Reader::loadingItemsChanged})
        connect(&reader, signal, this, [this] {
            updateHeader();
            updateOverlay();
        });
    connect(&reader, &Reader::itemChanged, this, &TimelineView::updateHeader);
    updateHeader();
    updateOverlay();
}

void TimelineView::updateHeader()
{
    const std::optional<Source>& source = m_reader.source();
    m_title->setText(source ? m_reader.title(*source) : QStringLiteral("Lumbra"));
    m_subtitle->setText(
        source ? QString::number(m_reader.count(*source)) + QStringLiteral(" unread") : QString());
    const QList<Item>& items = m_reader.items();
    const bool anyUnread =
        std::any_of(items.cbegin(), items.cend(), [](const Item& item) { return item.unread; });
    m_markAll->setEnabled(source != Source::starred() && anyUnread);
}

void TimelineView::updateOverlay()
{
    const bool empty = m_reader.items().isEmpty();
    const bool loading = empty && m_reader.loadingItems();
    QString text;
    if (empty && !loading && m_reader.source()) {
        const Source::Kind kind = m_reader.source()->kind();
        text = kind == Source::Kind::all       ? QStringLiteral("No Articles")
               : kind == Source::Kind::starred ? QStringLiteral("No Starred Articles")
                                               : QStringLiteral("All Read");
    }
    m_placeholder->setText(text);
    m_placeholder->setVisible(!text.isEmpty());
    m_placeholder->setGeometry(m_list->viewport()->rect());
    m_progress->setVisible(loading);
    m_progress->move((m_list->width() - m_progress->width()) / 2, m_list->height() / 2);
}

void TimelineView::showSelection()
{
    const std::optional<qint64>& id = m_reader.selectedId();
    const int row = id ? m_model->rowOf(*id) : -1;
    m_syncing = true;
    if (row < 0) {
        m_list->selectionModel()->clear();
    } else {
        const QModelIndex index = m_model->index(row);
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_list->scrollTo(index);
    }
    m_syncing = false;
}

void TimelineView::showContextMenu(const QPoint& position)
{
    const QModelIndex index = m_list->indexAt(position);
    if (!index.isValid()) return;
    const Item item = m_reader.items()[index.row()]; // the row's own item, not the selection
    QMenu menu(this);
    menu.addAction(item.unread ? QStringLiteral("Mark as Read") : QStringLiteral("Mark as Unread"),
                   this, [this, item] { m_reader.toggleRead(item); });
    menu.addAction(item.starred ? QStringLiteral("Unstar") : QStringLiteral("Star"), this,
                   [this, item] { m_reader.toggleStarred(item); });
    menu.addAction(QStringLiteral("Open in Browser"), this,
                   [this, item] { m_reader.openInBrowser(item); });
    menu.exec(m_list->viewport()->mapToGlobal(position));
}

void TimelineView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateOverlay();
}

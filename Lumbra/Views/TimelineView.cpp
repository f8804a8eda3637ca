#include "Views/TimelineView.h"

#include "LumbraCore/SourceKinds.h"
#include "Reader/Reader.h"
#include "Views/Accessibility.h"
#include "Views/ItemActions.h"
#include "Views/ItemRowDelegate.h"
#include "Views/RowsView.h"
#include "Views/Style.h"
#include "Views/TimelineModel.h"
#include "Views/Wording.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
// The rows. Qt tells screen readers the focus moved to a row made current while the user
// types in the search field; it did not, and Orca would follow it there. Rows that arrive
// while the focus waits in the empty list get the keyboard's place, as Qt gives it when
// the focus comes in, so that a screen reader hears the first.
class RowsList final : public RowsView<QListView> {
public:
    using RowsView::RowsView;

    void reset() override
    {
        RowsView::reset();
        placeOnArrivedRows();
    }

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override
    {
        RowsView::rowsInserted(parent, start, end);
        placeOnArrivedRows();
    }

    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override
    {
        if (hasFocus()) {
            QListView::currentChanged(current, previous);
            return;
        }
        if (previous.isValid()) update(previous);
        if (current.isValid()) update(current);
    }

private:
    // Selecting (opening) nothing.
    void placeOnArrivedRows()
    {
        if (!hasFocus() || currentIndex().isValid()) return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (hasFocus() && !currentIndex().isValid() && model()->rowCount() > 0)
                    selectionModel()->setCurrentIndex(model()->index(0, 0),
                                                      QItemSelectionModel::NoUpdate);
            },
            Qt::QueuedConnection);
    }
};

// A folder without feeds has nothing to read, rather than everything read.
QString emptyText(const Reader& reader, const Source& source)
{
    const QList<Feed>& feeds = reader.subscriptions().feeds();
    if (source.kind() == Source::Kind::folder &&
        std::none_of(feeds.cbegin(), feeds.cend(),
                     [&source](const Feed& feed) { return feed.folderId == source.id(); }))
        return TimelineView::tr("No Articles");
    return Wording::emptyText(source);
}
} // namespace

TimelineView::TimelineView(Reader& reader, FeedIcons& icons, ItemActions& actions, QWidget* parent)
    : QWidget(parent), m_reader(reader), m_actions(actions),
      m_model(new TimelineModel(reader.timeline(), reader.subscriptions(), icons, this)),
      m_list(new RowsList(this)), m_title(new QLabel(this)), m_subtitle(new QLabel(this)),
      m_markAll(new QToolButton(this)), m_placeholder(new EmptyState(QString(), QString(), m_list)),
      m_progress(new QProgressBar(m_list)), m_progressText(new QLabel(m_list)),
      m_busy(new QProgressBar(this)), m_search(new QLineEdit(this)),
      m_matchesSettle(new QTimer(this))
{
    buildSearch();
    buildList();
    buildLayout();
    followSearch();
    followList();
    followTimeline();
    updateHeader();
    updateOverlay();
    showProgress();
}

void TimelineView::buildSearch()
{
    m_search->setPlaceholderText(tr("Search"));
    // Words to look for, not a text to lay out: pasting a page (or a letter with 200,000
    // combining marks) would hold every keystroke.
    m_search->setMaxLength(TimelineView::longestQuery);
    m_search->setClearButtonEnabled(true);
    m_search->setAccessibleName(tr("Search articles"));
    m_search->addAction(QIcon::fromTheme(QStringLiteral("edit-find")), QLineEdit::LeadingPosition);
    m_search->setText(m_reader.timeline().search().query());
    m_search->installEventFilter(this);
    auto* find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    connect(find, &QAction::triggered, this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    addAction(find);
}

void TimelineView::followSearch()
{
    TimelineSearch& search = m_reader.timeline().search();
    connect(m_search, &QLineEdit::textChanged, &search, &TimelineSearch::setQuery);
    // Each keystroke changes the matches; the count is worth hearing once the word is typed.
    m_matchesSettle->setSingleShot(true);
    m_matchesSettle->setInterval(700);
    connect(m_matchesSettle, &QTimer::timeout, this, &TimelineView::sayMatches);
    connect(&search, &TimelineSearch::shownChanged, m_matchesSettle, [this] {
        if (m_search->hasFocus()) m_matchesSettle->start();
    });
    connect(&search, &TimelineSearch::queryChanged, this, [this] {
        if (m_search->text() != m_reader.timeline().search().query())
            m_search->setText(m_reader.timeline().search().query());
    });
}

void TimelineView::buildLayout()
{
    m_title->setFont(Style::font(Style::FontRole::heading, m_title->font()));
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_title->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
    Style::makeSecondary(m_subtitle);
    m_markAll->setDefaultAction(m_actions.markAllRead);
    m_markAll->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_markAll->setFocusPolicy(Qt::TabFocus);
    connect(m_actions.markAllRead, &QAction::changed, this, &TimelineView::fitMarkAllButton);

    m_busy->setTextVisible(false);
    m_busy->setMaximumSize(60, 8);
    m_busy->setAccessibleName(tr("Loading articles"));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(0);
    titles->addWidget(m_title);
    auto* countRow = new QHBoxLayout;
    countRow->addWidget(m_subtitle);
    countRow->addWidget(m_busy, 0, Qt::AlignVCenter);
    countRow->addStretch();
    titles->addLayout(countRow);
    auto* header = new QHBoxLayout;
    header->addLayout(titles, 1);
    header->addWidget(m_markAll);
    m_header = header;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    layout->addLayout(header);
    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(10, 0, 10, 6);
    searchRow->addWidget(m_search);
    layout->addLayout(searchRow);
    // The mark button's place where the heading leaves it no room.
    auto* markRow = new QHBoxLayout;
    markRow->setContentsMargins(10, 0, 10, 6);
    layout->addLayout(markRow);
    m_markRow = markRow;
    layout->addWidget(m_list, 1);
    header->setContentsMargins(10, 0, 10, 4);
}

void TimelineView::buildList()
{
    m_list->setModel(m_model);
    m_list->setItemDelegate(new ItemRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSpacing(1); // a visible gap between rows
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->setAccessibleName(tr("Articles"));

    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedWidth(120);
    Style::makeSecondary(m_progressText);
    m_progressText->setAlignment(Qt::AlignCenter);
}

void TimelineView::followList()
{
    m_actions.setFocusedRow([this, list = QPointer<QListView>(m_list)]() -> std::optional<Item> {
        const QModelIndex row = list ? list->currentIndex() : QModelIndex();
        const TimelineSearch& shown = m_reader.timeline().search();
        // Asked while a new list replaces the shown one, the row may be gone.
        if (!list || !list->hasFocus() || !row.isValid() || row.row() >= shown.shownCount())
            return std::nullopt;
        return shown.shownItem(row.row());
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, &m_actions,
            &ItemActions::rowChanged);
    m_list->installEventFilter(this); // the focus coming and going
    // Selecting opens (and marks read); the keyboard's place alone does not, so tabbing
    // into the list marks nothing read. Space or an arrow key selects.
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (!m_syncing && !selected.isEmpty())
                    m_reader.timeline().select(
                        selected.indexes().constFirst().data(TimelineModel::IdRole).toLongLong());
            });
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (m_reader.timeline().selectedId() == index.data(TimelineModel::IdRole).toLongLong())
            m_reader.timeline().selectAgain();
    });
    connect(m_list, &QListView::customContextMenuRequested, this, &TimelineView::showContextMenu);
    connect(&m_reader.timeline(), &Timeline::selectedIdChanged, this, &TimelineView::showSelection);
    connect(&m_reader.timeline(), &Timeline::itemsChanged, this, &TimelineView::showSelection);
    connect(&m_reader.timeline().search(), &TimelineSearch::shownChanged, this,
            &TimelineView::showSelection);
}

void TimelineView::followTimeline()
{
    const auto showCounts = [this] {
        updateHeader();
        updateOverlay();
    };
    const Timeline& timeline = m_reader.timeline();
    for (auto signal : {&Timeline::sourceChanged, &Timeline::itemsChanged,
                        &Timeline::loadingItemsChanged, &Timeline::loadFailedChanged})
        connect(&timeline, signal, this, showCounts);
    connect(&timeline.search(), &TimelineSearch::shownChanged, this, showCounts);
    connect(&m_reader.session(), &Session::errorChanged, this, &TimelineView::updateOverlay);
    for (auto signal : {&Subscriptions::feedsChanged, &Subscriptions::foldersChanged,
                        &Subscriptions::starredCountChanged})
        connect(&m_reader.subscriptions(), signal, this, showCounts);
    connect(&m_reader.session(), &Session::refreshingChanged, this, &TimelineView::showProgress);
    for (auto signal : {&Timeline::loadingItemsChanged, &Timeline::loadingPermilleChanged})
        connect(&timeline, signal, this, &TimelineView::showProgress);
}

void TimelineView::showProgress()
{
    // How much of a long list has arrived when the server said its length; busy otherwise,
    // and while a finished download is read.
    const int permille = m_reader.timeline().loadingPermille();
    for (QProgressBar* bar : {m_progress, m_busy}) {
        if (permille >= 0 && permille < 1000) {
            bar->setRange(0, 1000);
            bar->setValue(permille);
        } else {
            bar->setRange(0, 0);
        }
    }
    m_busy->setVisible(m_reader.session().refreshing() || m_reader.timeline().loadingItems());
    // Once every byte is in, a long list is still being put in order: say so, or the
    // empty list looks stuck.
    m_progressText->setText(permille >= 1000 ? tr("Preparing Articles…") : tr("Loading Articles…"));
    m_progressText->adjustSize();
    m_progress->setAccessibleName(m_progressText->text());
    placeProgress();
}

void TimelineView::placeProgress()
{
    m_progress->move((m_list->width() - m_progress->width()) / 2, m_list->height() / 2);
    m_progressText->move((m_list->width() - m_progressText->width()) / 2,
                         m_progress->y() + m_progress->height() + 6);
}

void TimelineView::updateHeader()
{
    const std::optional<Source>& source = m_reader.timeline().source();
    m_fullTitle = source ? Wording::sourceTitle(*source, m_reader.subscriptions().name(*source))
                         : tr("Lumbra");
    showTitle();
    const QLocale locale;
    if (m_reader.timeline().search().searching())
        //: Articles matching the search, of all listed.
        m_subtitle->setText(tr("%1 of %Ln", nullptr, int(m_reader.timeline().items().size()))
                                .arg(locale.toString(m_reader.timeline().search().shownCount())));
    else
        m_subtitle->setText(
            source ? tr("%Ln unread", nullptr, int(m_reader.subscriptions().count(*source)))
                   : QString());
}

void TimelineView::showTitle()
{
    const QString shown =
        m_title->fontMetrics().elidedText(m_fullTitle, Qt::ElideRight, m_title->width());
    m_title->setText(shown);
    m_title->setToolTip(shown == m_fullTitle ? QString() : m_fullTitle);
    m_title->setAccessibleName(m_fullTitle);
}

void TimelineView::updateOverlay()
{
    const bool empty = m_reader.timeline().items().isEmpty();
    const bool loading = empty && m_reader.timeline().loadingItems();
    const std::optional<Source>& source = m_reader.timeline().source();
    const bool noMatch = !empty && m_reader.timeline().search().searching() &&
                         m_reader.timeline().search().shownCount() == 0;
    const bool showEmpty = (empty && !loading && source) || noMatch;
    if (noMatch)
        m_placeholder->setTitle(tr("No articles match \u201C%1\u201D")
                                    .arg(m_reader.timeline().search().query().trimmed()));
    else if (showEmpty && (m_reader.timeline().loadFailed() || m_reader.session().error()))
        // Nothing could be loaded: "All Read" would be untrue. The banner says why.
        m_placeholder->setTitle(tr("Articles Not Loaded"));
    else if (showEmpty)
        m_placeholder->setTitle(emptyText(m_reader, *source));
    m_placeholder->setVisible(showEmpty);
    m_placeholder->setGeometry(m_list->viewport()->rect());
    m_progress->setVisible(loading);
    m_progressText->setVisible(loading);
    placeProgress();
}

void TimelineView::showSelection()
{
    const std::optional<qint64>& id = m_reader.timeline().selectedId();
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
    // The row's own item, not the selection.
    m_actions.popUpRowMenu(m_reader.timeline().search().shownItem(index.row()),
                           m_list->viewport()->mapToGlobal(position), this);
}

bool TimelineView::eventFilter(QObject* watched, QEvent* event)
{
    // Escape in the search field ends the search and goes back to the rows; Down goes to
    // the rows keeping it.
    if (watched == m_title && event->type() == QEvent::Resize) showTitle();
    // The list gets its size after the first layout, and with the splitter.
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) updateOverlay();
    if (watched == m_list &&
        (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        m_actions.rowChanged();
    // Back in the rows, the opened article's row says it is read (a menu is no leaving).
    if (watched == m_list && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        m_model->openedRowSaid();
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) m_search->clear();
        if (key == Qt::Key_Escape || key == Qt::Key_Down) {
            m_list->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TimelineView::sayMatches()
{
    const Timeline& timeline = m_reader.timeline();
    if (!timeline.search().searching() || timeline.items().isEmpty()) return;
    if (timeline.search().shownCount() == 0) {
        Accessibility::say(this, m_placeholder->title());
        return;
    }
    //: Articles matching the search, of all listed.
    Accessibility::say(this, tr("%1 of %Ln articles", nullptr, int(timeline.items().size()))
                                 .arg(QLocale().toString(timeline.search().shownCount())));
}

void TimelineView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitMarkAllButton();
    updateOverlay();
}

void TimelineView::fitMarkAllButton()
{
    // Where the words would squeeze the heading (a narrow column, a long translation), the
    // button moves to a row of its own under the search field, on two lines if need be;
    // only where it does not fit there either does it show its icon alone, its tooltip and
    // name keeping the words.
    if (!m_header || !m_markRow) return;
    const QString oneLine = m_markAll->defaultAction()->iconText();
    // The count under the heading, and the loading bar beside it.
    const int headingRoom = std::max(100, m_subtitle->sizeHint().width() + 70);
    QToolButton sized;
    sized.setDefaultAction(m_markAll->defaultAction());
    sized.setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    sized.setFont(m_markAll->font());
    const int words = sized.sizeHint().width();
    const bool besideHeading = words + headingRoom + 20 <= width();
    QBoxLayout* row = besideHeading ? m_header : m_markRow;
    if (row->indexOf(m_markAll) < 0) {
        (besideHeading ? m_markRow : m_header)->removeWidget(m_markAll);
        row->addWidget(m_markAll, 0, besideHeading ? Qt::Alignment() : Qt::AlignRight);
    }
    QString shown = oneLine;
    if (!besideHeading && words + 20 > width()) {
        // Broken at the space nearest the middle.
        const qsizetype middle = oneLine.size() / 2;
        const qsizetype before = oneLine.lastIndexOf(u' ', middle);
        const qsizetype after = oneLine.indexOf(u' ', middle);
        const qsizetype at = before < 0  ? after
                             : after < 0 ? before
                                         : (middle - before <= after - middle ? before : after);
        if (at > 0) shown = oneLine.left(at) + u'\n' + oneLine.mid(at + 1);
    }
    sized.setText(shown);
    const bool fits = besideHeading || sized.sizeHint().width() + 20 <= width();
    m_markAll->setText(shown);
    m_markAll->setToolButtonStyle(fits ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
}

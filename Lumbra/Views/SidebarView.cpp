#include "Views/SidebarView.h"

#include "LumbraCore/SourceKinds.h"
#include "Reader/Reader.h"
#include "Views/Accessibility.h"
#include "Views/CertificateView.h"
#include "Views/DetailsView.h"
#include "Views/FeedIcons.h"
#include "Views/RowsView.h"
#include "Views/SourcesModel.h"
#include "Views/Style.h"
#include "Views/Wording.h"

#include <QContextMenuEvent>
#include <QDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
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
        const qint64 badge = index.data(SourcesModel::BadgeRole).toLongLong();
        QStyleOptionViewItem shortened = option;
        QString text;
        int width = 0;
        if (badge > 0) {
            text = QLocale().toString(badge); // as the heading and the screen reader say it
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

// The tree whose section titles are headings: the keyboard moves past them. End goes to
// the last source, shown or not yet.
class SourcesTree final : public RowsView<QTreeView> {
public:
    using RowsView::RowsView;

    std::function<void(QMenu&)> fillMenu;

protected:
    // By mouse on the row under it, by keyboard (the Menu key, Shift+F10) on the current one.
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        if (!fillMenu) return;
        QPoint at = event->globalPos();
        if (event->reason() == QContextMenuEvent::Mouse) {
            const QModelIndex row = indexAt(viewport()->mapFromGlobal(event->globalPos()));
            if (row.isValid()) setCurrentIndex(row);
        } else {
            at = viewport()->mapToGlobal(visualRect(currentIndex()).center());
        }
        QMenu menu(this);
        fillMenu(menu);
        if (event->reason() != QContextMenuEvent::Mouse) Accessibility::openOnFirstEntry(&menu);
        menu.exec(at);
    }

    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        if (action == MoveEnd) static_cast<SourcesModel*>(model())->showAllRows();
        QModelIndex next = QTreeView::moveCursor(action, modifiers);
        const bool up = action == MoveUp || action == MovePageUp || action == MoveHome ||
                        action == MovePrevious;
        while (next.isValid() && !(next.flags() & Qt::ItemIsSelectable)) {
            const QModelIndex beyond = up ? indexAbove(next) : indexBelow(next);
            if (!beyond.isValid()) return up ? indexBelow(next) : currentIndex();
            next = beyond;
        }
        return next;
    }
};

} // namespace

SidebarView::SidebarView(Reader& reader, FeedIcons& icons, QWidget* parent)
    : QWidget(parent), m_reader(reader),
      m_model(new SourcesModel(reader.subscriptions(), icons, this)), m_tree(new SourcesTree(this)),
      m_refresh(
          new QPushButton(QIcon::fromTheme(QStringLiteral("view-refresh")), tr("Refresh"), this)),
      m_busy(new QProgressBar(this)), m_errorPanel(new QFrame(this)),
      m_errorTitle(new QLabel(m_errorPanel)), m_errorText(new QLabel(m_errorPanel)),
      m_logInAgain(new QPushButton(tr("Log In Again"), m_errorPanel)),
      m_reviewCertificate(new QPushButton(tr("Review Certificate…"), m_errorPanel)),
      // After the buttons, as Tab reaches them: the next step first, the cause last.
      m_errorDetails(new DetailsView(m_errorPanel))
{
    buildTree();
    buildErrorPanel();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 6, 0, 0);
    layout->addLayout(buildBar());
    layout->addWidget(m_errorPanel);
    layout->addWidget(m_tree, 1);
    followSession();
    followTree();
    connect(&reader.timeline(), &Timeline::sourceChanged, this, &SidebarView::showSource);
    connect(&icons, &FeedIcons::iconLoaded, m_tree->viewport(), qOverload<>(&QWidget::update));
    showSource();
}

void SidebarView::buildTree()
{
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true); // a million rows lay out without measuring each
    m_tree->setItemDelegate(new BadgeDelegate(m_tree));
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->setAccessibleName(tr("Sources"));
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A feed dragged onto a folder moves there (Move To in the sources' menu does it from
    // the keyboard).
    m_tree->setDragDropMode(QAbstractItemView::DragDrop);
    m_tree->setDefaultDropAction(Qt::MoveAction);
    m_tree->setDropIndicatorShown(true);
    connect(m_model, &SourcesModel::feedDropped, &m_reader.organiser(), &Organiser::moveFeed);
}

QLayout* SidebarView::buildBar()
{
    m_refresh->setFocusPolicy(Qt::TabFocus); // a click leaves the focus where it was
    m_refresh->setToolTip(tr("Refresh (Ctrl+R)"));
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setMaximumSize(60, 8);
    m_busy->setAccessibleName(tr("Refreshing"));
    m_busy->hide();
    auto* bar = new QHBoxLayout;
    bar->addWidget(m_busy, 0, Qt::AlignVCenter);
    bar->addStretch();
    bar->addWidget(m_refresh);
    bar->setContentsMargins(6, 0, 6, 4);
    return bar;
}

void SidebarView::buildErrorPanel()
{
    m_errorPanel->setFrameShape(QFrame::StyledPanel);
    auto* panel = new QVBoxLayout(m_errorPanel);
    auto* heading = new QHBoxLayout;
    auto* icon = new QLabel(m_errorPanel);
    icon->setPixmap(QIcon::fromTheme(QStringLiteral("dialog-warning")).pixmap(16));
    heading->addWidget(icon);
    heading->addWidget(m_errorTitle, 1);
    m_errorTitle->setFont(Style::font(Style::FontRole::section, font()));
    m_errorText->setWordWrap(true);
    m_errorText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_errorText->setTextFormat(Qt::PlainText);
    panel->addLayout(heading);
    panel->addWidget(m_errorText);
    panel->addWidget(m_logInAgain, 0, Qt::AlignLeft);
    panel->addWidget(m_reviewCertificate, 0, Qt::AlignLeft);
    panel->addWidget(m_errorDetails);
    m_errorPanel->hide();
}

void SidebarView::followSession()
{
    Session& session = m_reader.session();
    const auto showRefreshing = [this] {
        m_refresh->setEnabled(!m_reader.session().refreshing());
        m_busy->setVisible(m_reader.session().refreshing());
    };
    connect(m_refresh, &QPushButton::clicked, &session, &Session::refresh);
    connect(&session, &Session::refreshingChanged, this, showRefreshing);
    connect(m_logInAgain, &QPushButton::clicked, &session, &Session::logInAgain);
    connect(m_reviewCertificate, &QPushButton::clicked, this, &SidebarView::reviewCertificate);
    connect(&session, &Session::errorChanged, this, &SidebarView::updateError);
    showRefreshing();
    updateError();
}

void SidebarView::followTree()
{
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        // Rows were rebuilt: open the folders that were open, select the source again.
        m_syncing = true;
        for (const qint64 id : std::as_const(m_expanded))
            m_tree->expand(m_model->indexOf(Source::folder(id)));
        m_syncing = false;
        showSource();
    });
    // A screen reader counts the rows shown; it is told when more follow.
    const auto describeRows = [this] {
        m_tree->setAccessibleDescription(
            m_model->hasHiddenRows()
                ? tr("%1 of %Ln rows shown; more follow at the end of the list", nullptr,
                     int(m_model->allRowCount()))
                      .arg(QLocale().toString(m_model->rowCount()))
                : QString());
    };
    connect(m_model, &QAbstractItemModel::modelReset, this, describeRows);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, describeRows);
    describeRows();
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (parent.isValid()) return;
                // Rows shown late: open those of them that were open before a rebuild.
                m_syncing = true;
                for (const qint64 id : std::as_const(m_expanded)) {
                    const QModelIndex folder = m_model->indexOf(Source::folder(id));
                    if (folder.row() >= first && folder.row() <= last) m_tree->expand(folder);
                }
                m_syncing = false;
            });
    connect(m_tree->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        const QScrollBar* bar = m_tree->verticalScrollBar();
        if (value >= bar->maximum() - bar->pageStep() && m_model->hasHiddenRows())
            m_model->showMoreRows();
    });
    // Qt does not pass a row's opening on to screen readers: the keyboard user hears it said.
    const auto sayOpened = [this](const QModelIndex& index, bool open) {
        if (m_tree->hasFocus() && index == m_tree->currentIndex())
            Accessibility::say(this, open ? tr("expanded") : tr("collapsed"));
    };
    connect(m_tree, &QTreeView::expanded, this, [this, sayOpened](const QModelIndex& index) {
        if (m_syncing) return;
        m_expanded.insert(index.data(SourcesModel::SourceIdRole).toLongLong());
        sayOpened(index, true);
    });
    connect(m_tree, &QTreeView::collapsed, this, [this, sayOpened](const QModelIndex& index) {
        m_expanded.remove(index.data(SourcesModel::SourceIdRole).toLongLong());
        sayOpened(index, false);
    });
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (!m_syncing && current.isValid() &&
                    current.data(SourcesModel::IsSourceRole).toBool())
                    m_reader.timeline().selectSource(SourcesModel::sourceAt(current));
            });
}

void SidebarView::showSource()
{
    const std::optional<Source>& source = m_reader.timeline().source();
    const QModelIndex match = source ? m_model->reveal(*source) : QModelIndex();
    m_syncing = true;
    if (match.isValid())
        m_tree->selectionModel()->setCurrentIndex(match, QItemSelectionModel::ClearAndSelect);
    else
        m_tree->selectionModel()->clear();
    m_syncing = false;
}

void SidebarView::updateError()
{
    const std::optional<RefreshFailure>& error = m_reader.session().error();
    const QString text = error ? Wording::refreshFailure(*error) : QString();
    const bool changed = m_errorText->text() != text;
    const bool wasShowing = m_errorPanel->isVisible();
    const bool refused = m_reader.session().passwordRefused();
    if (error) m_errorTitle->setText(Wording::refreshTitle(*error));
    m_errorText->setText(text);
    if (changed)
        m_errorDetails->setDetails(error ? Wording::detailsBeyond(text, error->failure)
                                         : QString());
    m_logInAgain->setVisible(refused);
    m_reviewCertificate->setVisible(error && error->failure.certificate);
    m_errorPanel->setVisible(error.has_value());
    if (error && (changed || !wasShowing))
        Accessibility::say(this, m_errorTitle->text() + QStringLiteral(". ") + text);
}

void SidebarView::reviewCertificate()
{
    const std::optional<RefreshFailure>& error = m_reader.session().error();
    if (!error || !error->failure.certificate) return;
    const std::unique_ptr<QDialog> dialog =
        CertificateView::inDialog(this, *error->failure.certificate);
    connect(dialog->findChild<CertificateView*>(), &CertificateView::trustRequested, dialog.get(),
            [this, &dialog](const CertificateInfo& certificate) {
                dialog->accept();
                m_reader.session().trustCertificate(certificate);
            });
    dialog->exec();
}

void SidebarView::setSourceMenu(std::function<void(QMenu&)> fill)
{
    static_cast<SourcesTree*>(m_tree)->fillMenu = std::move(fill);
}

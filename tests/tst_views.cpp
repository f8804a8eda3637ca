#include "App/DesktopEnvironment.h"
#include "App/LinkHandler.h"
#include "App/LumbraApp.h"
#include "App/Translations.h"
#include "DarkPalette.h"
#include "LumbraCore/ItemLink.h"
#include "LumbraCore/Opml.h"
#include "LumbraCore/RelativeDate.h"
#include "LumbraCore/WebAddress.h"
#include "MainWindowFixture.h"
#include "Views/AddFeedDialog.h"
#include "Views/ArticleView.h"
#include "Views/CertificateView.h"
#include "Views/ContentView.h"
#include "Views/FeedIcons.h"
#include "Views/ItemActions.h"
#include "Views/ItemRowDelegate.h"
#include "Views/LoginView.h"
#include "Views/MainMenu.h"
#include "Views/MessageView.h"
#include "Views/QuoteWebView.h"
#include "Views/ReadingView.h"
#include "Views/SettingsView.h"
#include "Views/SidebarView.h"
#include "Views/SourceActions.h"
#include "Views/SourcesModel.h"
#include "Views/Style.h"
#include "Views/TimelineModel.h"
#include "Views/TimelineView.h"

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

qint64 badge(const QAbstractItemModel* model, const QString& title)
{
    const auto found = model->match(model->index(0, 0), Qt::DisplayRole, title, 1,
                                    Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? -1 : found.first().data(SourcesModel::BadgeRole).toLongLong();
}

using Roles = QMap<int, QVariant>;

// A row holding `roles` as the timeline's delegate paints it, `width` wide, on `palette`'s
// base (black on white unless given), with `roomBelow` more pixels under the row.
QImage paintedRow(const Roles& roles, std::optional<QPalette> palette = std::nullopt,
                  int width = 360, int roomBelow = 0,
                  Qt::LayoutDirection direction = Qt::LeftToRight)
{
    QStandardItemModel model;
    auto* row = new QStandardItem;
    for (auto role = roles.cbegin(); role != roles.cend(); ++role)
        row->setData(*role, role.key());
    model.appendRow(row);
    ItemRowDelegate delegate;
    QStyleOptionViewItem option;
    option.direction = direction;
    option.font = QApplication::font();
    if (palette) {
        option.palette = *palette;
    } else {
        option.palette.setColor(QPalette::Base, Qt::white);
        option.palette.setColor(QPalette::Text, Qt::black);
    }
    option.rect = QRect(0, 0, width, delegate.sizeHint(option, model.index(0, 0)).height());
    QImage image(width, option.rect.height() + roomBelow, QImage::Format_RGB32);
    image.fill(option.palette.color(QPalette::Base));
    QPainter painter(&image);
    delegate.paint(&painter, option, model.index(0, 0));
    return image;
}

// The leftmost and rightmost columns where two paintings differ; (width, -1) for none.
std::pair<int, int> differingColumns(const QImage& one, const QImage& other)
{
    int left = one.width(), right = -1;
    for (int y = 0; y < one.height(); ++y)
        for (int x = 0; x < one.width(); ++x)
            if (one.pixel(x, y) != other.pixel(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

// The letter each text of `actions` is reached by with Alt, lower-cased; none for a text
// without one.
QStringList mnemonics(const QList<QAction*>& actions)
{
    QStringList letters;
    for (const QAction* action : actions) {
        const QString text = action->text();
        for (qsizetype at = text.indexOf(u'&'); at >= 0 && at + 1 < text.size();
             at = text.indexOf(u'&', at + 2))
            if (text.at(at + 1) != u'&') letters << text.mid(at + 1, 1).toLower();
    }
    return letters;
}

// Every text the widgets under `root` show: translated (the pseudo-translation brackets
// it) unless it is in `data`, and shown whole. Returns what is not, one line each.
QStringList untranslatedOrCut(const QWidget* root, const QStringList& data)
{
    QStringList wrong;
    const auto check = [&](const QWidget* widget, const QString& text, bool whole) {
        if (text.isEmpty() || data.contains(text)) return;
        const QString what = QString::fromLatin1(widget->metaObject()->className()) + u' ' + text;
        if (!text.startsWith(u'[') || !text.endsWith(u']')) wrong << u"untranslated: "_s + what;
        if (!whole) wrong << u"cut off: "_s + what;
    };
    for (const QLabel* label : root->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(root->window())) continue;
        // An elided heading keeps the whole in its tooltip.
        if (label->text().endsWith(u'\u2026') && !label->toolTip().isEmpty()) {
            check(label, label->toolTip(), true);
            continue;
        }
        check(label, label->text(),
              label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                : label->minimumSizeHint().width() <= label->width());
    }
    for (const QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(root->window())) continue;
        const auto* tool = qobject_cast<const QToolButton*>(button);
        const bool textShown = !tool || tool->toolButtonStyle() != Qt::ToolButtonIconOnly;
        if (textShown) check(button, button->text(), button->width() >= button->sizeHint().width());
        // A tooltip adds the key to the words: "Star (S)".
        const QString tip = button->toolTip();
        if (!tip.isEmpty() && !data.contains(tip) && !tip.startsWith(u'['))
            wrong << u"untranslated tooltip: "_s + tip;
    }
    for (const QGroupBox* box : root->findChildren<QGroupBox*>())
        check(box, box->title(), box->width() >= box->minimumSizeHint().width());
    for (const QLineEdit* field : root->findChildren<QLineEdit*>())
        check(field, field->placeholderText(), true);
    return wrong;
}
} // namespace

// The main window's views against a real Reader and the sandbox, on the offscreen platform.
class ViewsTest : public QObject, MainWindowFixture {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // settings go to a throwaway place
        LumbraApp::useIconTheme();
        QApplication::setWindowIcon(QIcon(u":/lumbra.svg"_s));
    }

    void cleanup() { tearDown(); }

    void sidebarListsTraysFoldersAndFeeds()
    {
        build(true);
        const SourcesModel* model = content->sidebar()->model();
        QCOMPARE(rowTitles(model),
                 (QStringList{u"All Unread"_s, u"All Articles"_s, u"Starred"_s, u"Folders"_s,
                              u"Empty Folder"_s, u"Tech & Science"_s, u"World"_s, u"Feeds"_s,
                              u"Daily Links"_s, u"Just Added"_s, u"Photo Walks"_s}));
        QCOMPARE(rowTitles(model, model->index(5, 0)),
                 (QStringList{u"Planet Code"_s, u"Science Notes"_s}));
        QVERIFY(!content->sidebar()->tree()->isExpanded(model->index(5, 0)));
        QCOMPARE(badge(model, u"All Unread"_s), 11);
        QCOMPARE(badge(model, u"All Articles"_s), 11);
        QCOMPARE(badge(model, u"Starred"_s), 3);
        QCOMPARE(badge(model, u"Tech & Science"_s), 4);
        QCOMPARE(badge(model, u"Empty Folder"_s), 0);
        QCOMPARE(badge(model, u"Just Added"_s), 0); // no count: no badge

        // Choosing a row chooses the source; reading updates the badges.
        const QModelIndex starred = model->index(2, 0);
        content->sidebar()->tree()->setCurrentIndex(starred);
        QCOMPARE(f->reader->timeline().source(), std::optional(Source::starred()));
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        f->reader->marker().toggleStarred(f->reader->timeline().items().first());
        QCOMPARE(badge(model, u"Starred"_s), 2);

        // The server keeps the feeds of a folder deleted elsewhere, with its id: they stay
        // reachable at the top level, and still count.
        const qint64 unread = badge(model, u"All Unread"_s);
        const qint64 world = badge(model, u"World Report"_s);
        QVERIFY(f->sandbox.server->store().deleteFolder(2));
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing() && model->isCurrent());
        QCOMPARE(rowTitles(model),
                 (QStringList{u"All Unread"_s, u"All Articles"_s, u"Starred"_s, u"Folders"_s,
                              u"Empty Folder"_s, u"Tech & Science"_s, u"Feeds"_s, u"Daily Links"_s,
                              u"Just Added"_s, u"Photo Walks"_s, u"World Report"_s,
                              u"\u65E5\u672C\u8A9E\u30CB\u30E5\u30FC\u30B9"_s}));
        QCOMPARE(badge(model, u"All Unread"_s), unread);
        QCOMPARE(badge(model, u"World Report"_s), world);
    }

    void longListsAreBuiltAwayFromTheWindow()
    {
        // Past a few thousand rows the model is built on a worker and swapped in whole.
        sandbox::Options options;
        options.generatedFolders = 6000;
        build(true, options);
        SourcesModel* model = content->sidebar()->model();
        QTRY_VERIFY(model->isCurrent());
        QCOMPARE(model->rowCount(), 3 + 1 + 3 + 6000 + 1 + 3); // demo folders and loose feeds too
        const QModelIndex folder = model->indexOf(Source::folder(1000 + 1));
        QVERIFY(folder.isValid());
        QCOMPARE(model->rowCount(folder), 1);
        QCOMPARE(model->index(0, 0, folder).data(SourcesModel::SourceIdRole).toLongLong(), 1001);
        // Counts move without a rebuild; the badge follows.
        const QModelIndex tech = model
                                     ->match(model->index(0, 0), Qt::DisplayRole,
                                             u"Tech & Science"_s, 1, Qt::MatchExactly)
                                     .value(0);
        const qint64 feed = model->index(0, 0, tech).data(SourcesModel::SourceIdRole).toLongLong();
        const qint64 before = badge(model, u"Tech & Science"_s);
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        f->reader->subscriptions().adjustUnread(feed, -1);
        QTRY_VERIFY(model->isCurrent());
        QTRY_COMPARE(badge(model, u"Tech & Science"_s), before - 1);
        QCOMPARE(resets.count(), 0);
    }

    void rowsPastTheFirstOnesAreShownWhenNeeded()
    {
        sandbox::Options options;
        options.generatedFolders = SourcesModel::rowsAtOnce + 2000;
        build(true, options);
        SourcesModel* model = content->sidebar()->model();
        QTreeView* tree = content->sidebar()->tree();
        QTRY_VERIFY(model->isCurrent());
        const auto allRows = [this] {
            const qsizetype loose = std::count_if(f->reader->subscriptions().feeds().cbegin(),
                                                  f->reader->subscriptions().feeds().cend(),
                                                  [](const Feed& feed) { return !feed.folderId; });
            return int(3 + 1 + f->reader->subscriptions().folders().size() +
                       (loose > 0 ? 1 + loose : 0));
        };
        qint64 nextFolder = 900'000;
        const auto rebuild = [&] {
            // A folder more on the server: the rows are built again from the first ones.
            f->sandbox.server->store().addFolder(
                {nextFolder, "Folder " + std::to_string(nextFolder)});
            ++nextFolder;
            QSignalSpy resets(model, &QAbstractItemModel::modelReset);
            f->reader->session().refresh();
            QTRY_VERIFY(resets.count() == 1 && model->isCurrent() &&
                        !f->reader->session().refreshing());
        };
        QCOMPARE(model->rowCount(), SourcesModel::rowsAtOnce);
        QVERIFY(model->hasHiddenRows());
        // A screen reader hears that more follow.
        QCOMPARE(tree->accessibleDescription(),
                 u"%1 of %2 rows shown; more follow at the end of the list"_s.arg(
                     QLocale().toString(SourcesModel::rowsAtOnce), QLocale().toString(allRows())));

        // A source chosen elsewhere (a link, a restored session) is shown and selected.
        const Folder deep = f->reader->subscriptions().folders().at(SourcesModel::rowsAtOnce + 100);
        f->reader->timeline().selectSource(Source::folder(deep.id));
        QCOMPARE(tree->currentIndex().data(SourcesModel::SourceIdRole).toLongLong(), deep.id);
        QCOMPARE(tree->currentIndex().data().toString(), deep.name);
        tree->expand(tree->currentIndex());

        // Rebuilt, the chosen folder is shown again, still open.
        rebuild();
        QCOMPARE(tree->currentIndex().data(SourcesModel::SourceIdRole).toLongLong(), deep.id);
        QVERIFY(tree->isExpanded(tree->currentIndex()));

        // Scrolled to the end, the rest follows.
        f->reader->timeline().selectSource(Source::allUnread());
        rebuild();
        QCOMPARE(model->rowCount(), SourcesModel::rowsAtOnce);
        tree->verticalScrollBar()->setValue(tree->verticalScrollBar()->maximum());
        QCOMPARE(model->rowCount(), allRows());
        QVERIFY(!model->hasHiddenRows());
        QVERIFY(tree->accessibleDescription().isEmpty());
        const QModelIndex shownLate = model->indexOf(Source::folder(deep.id));
        QVERIFY(tree->isExpanded(shownLate)); // open before, open when shown

        // End goes to the very last source.
        rebuild();
        QCOMPARE(model->rowCount(), SourcesModel::rowsAtOnce);
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_End);
        QCOMPARE(model->rowCount(), allRows());
        QCOMPARE(tree->currentIndex().row(), allRows() - 1);
        QCOMPARE(f->reader->timeline().source(),
                 std::optional(SourcesModel::sourceAt(model->index(allRows() - 1, 0))));
    }

    void noFeedsSectionWhenEveryFeedHasAFolder()
    {
        build(false);
        sandbox::Options options;
        options.demo = false;
        ReaderFixture custom(options);
        custom.sandbox.server->store().addFolder({1, "Only"});
        custom.sandbox.server->store().addFeed({1, "u", "Filed", {}, {}, int64_t(1), 0});
        custom.accounts.stored = custom.sandbox.account();
        SidebarView sidebar(*custom.reader, *icons);
        await(custom.reader->start());
        QTRY_VERIFY(!custom.reader->session().refreshing());
        QCOMPARE(rowTitles(sidebar.model()), (QStringList{u"All Unread"_s, u"All Articles"_s,
                                                          u"Starred"_s, u"Folders"_s, u"Only"_s}));
    }

    void failedRefreshKeepsTheSources_data()
    {
        QTest::addColumn<sandbox::Fault>("fault");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("server error") << sandbox::Fault{500, 300, {}, 1} << u"Can't Reach News"_s
                                      << u"News API /folders: HTTP 500"_s;
        QTest::newRow("connection lost")
            << sandbox::Fault{0, 300, sandbox::Fault::Body::drop, 1} << u"Can't Reach News"_s
            << u"Can't reach 127.0.0.1: the server closed the connection"_s;
        QTest::newRow("password refused")
            << sandbox::Fault{401, 300, {}, 1} << u"Password Refused"_s
            << u"News API /folders: HTTP 401: the server refused Lumbra's app password. It was "
               u"revoked or changed; log in again to go on reading."_s;
    }

    void failedRefreshKeepsTheSources()
    {
        QFETCH(sandbox::Fault, fault);
        QFETCH(QString, title);
        QFETCH(QString, text);
        build(true);
        SidebarView* sidebar = content->sidebar();
        const QStringList sources = rowTitles(sidebar->model());
        QVERIFY(sidebar->errorPanel()->isHidden());
        f->sandbox.server->setFault("folders", fault);
        sidebar->refreshButton()->click();
        QVERIFY(!sidebar->refreshButton()->isEnabled());
        QVERIFY(sidebar->busyBar()->isVisible());
        QTRY_VERIFY(sidebar->refreshButton()->isEnabled());
        QVERIFY(sidebar->busyBar()->isHidden());
        QVERIFY(sidebar->errorPanel()->isVisible());
        QCOMPARE(sidebar->errorTitle()->text(), title);
        QCOMPARE(sidebar->errorText()->text(), text);
        // The panel sits above the sources, which stay listed and readable.
        QCOMPARE(rowTitles(sidebar->model()), sources);
        QVERIFY(sidebar->errorPanel()->geometry().bottom() <= sidebar->tree()->geometry().top());
        const bool refused = title == u"Password Refused"_s;
        QCOMPARE(sidebar->logInAgainButton()->isVisible(), refused);
        // Tab reaches the panel's button where it sits: after Refresh, before the sources.
        QVERIFY(sidebar->refreshButton()->nextInFocusChain() == sidebar->logInAgainButton());
        if (!refused) {
            menu->refresh->trigger();
            QTRY_VERIFY(sidebar->errorPanel()->isHidden());
            return;
        }
        // Log In Again: the browser login for the same server, with no old error left.
        const QString server = f->reader->session().account()->server;
        sidebar->logInAgainButton()->click();
        QVERIFY(!f->reader->session().account());
        QVERIFY(!errorText(*f->reader));
        QCOMPARE(f->reader->session().login(), LoginState::waiting());
        QCOMPARE(content->currentWidget(), content->loginView());
        QTRY_COMPARE(f->browser.opened.size(), 1);
        QVERIFY(f->browser.opened.first().toString().startsWith(server));
    }

    void timelineHeaderOverlaysAndButton()
    {
        build(true);
        TimelineView* timeline = content->timeline();
        QCOMPARE(timeline->titleLabel()->text(), u"All Unread"_s);
        QCOMPARE(timeline->subtitleLabel()->text(), u"11 unread"_s);
        QCOMPARE(timeline->list()->model()->rowCount(), 11);
        QVERIFY(timeline->markAllReadButton()->isEnabled());
        QVERIFY(timeline->placeholder()->isHidden());

        f->sandbox.server->setFault("items", {0, 300, {}, 1});
        f->reader->timeline().selectSource(Source::starred());
        QVERIFY(timeline->progress()->isVisible());
        QVERIFY(timeline->progressText()->isVisible());
        QCOMPARE(timeline->progressText()->text(), u"Loading Articles…"_s);
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        QCOMPARE(timeline->subtitleLabel()->text(), u"3 unread"_s); // starredCount
        QVERIFY(!timeline->markAllReadButton()->isEnabled());

        f->reader->timeline().selectSource(Source::feed(7));
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        QCOMPARE(timeline->placeholder()->title(), u"All Read"_s);
        QVERIFY(timeline->placeholder()->isVisible());
        QVERIFY(!timeline->markAllReadButton()->isEnabled());

        // A folder without feeds has no articles, rather than all of them read.
        const auto empty =
            std::find_if(f->reader->subscriptions().folders().cbegin(),
                         f->reader->subscriptions().folders().cend(),
                         [](const Folder& folder) { return folder.name == u"Empty Folder"_s; });
        f->reader->timeline().selectSource(Source::folder(empty->id));
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        QCOMPARE(timeline->placeholder()->title(), u"No Articles"_s);

        // A list that could not be loaded is not "All Read"; the notice covers the list.
        f->sandbox.server->setFault("items", {500, 0, {}, 1});
        f->reader->timeline().selectSource(Source::feed(3));
        QTRY_VERIFY(f->reader->timeline().loadFailed());
        QCOMPARE(timeline->placeholder()->title(), u"Articles Not Loaded"_s);
        timeline->list()->resize(timeline->list()->size() + QSize(0, 40));
        QCOMPARE(timeline->placeholder()->geometry(), timeline->list()->viewport()->rect());

        f->reader->timeline().selectSource(Source::feed(6)); // one read, one unread
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        f->reader->marker().markAllRead();
        QVERIFY(!timeline->markAllReadButton()->isEnabled());
        f->reader->marker().toggleRead(f->reader->timeline().items().first());
        QVERIFY(timeline->markAllReadButton()->isEnabled());

        // A narrow column elides the heading; the whole title stays in its tooltip and name.
        const QString title = u"A folder whose name is far too long for the column"_s;
        f->sandbox.server->store().addFolder({99, title.toStdString()});
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        f->reader->timeline().selectSource(Source::folder(99));
        content->columns()->setSizes({200, 900, 180});
        QTRY_COMPARE(timeline->titleLabel()->text(), title);
        content->columns()->setSizes({200, 310, 770});
        QTRY_VERIFY(timeline->titleLabel()->text().endsWith(u'\u2026'));
        QVERIFY(timeline->titleLabel()->fontMetrics().horizontalAdvance(
                    timeline->titleLabel()->text()) <= timeline->titleLabel()->width());
        QCOMPARE(timeline->titleLabel()->toolTip(), title);
        QCOMPARE(timeline->titleLabel()->accessibleName(), title);
        content->columns()->setSizes({200, 900, 180});
        QTRY_COMPARE(timeline->titleLabel()->text(), title);
    }

    void longListsShowHowMuchHasArrived()
    {
        sandbox::Options many;
        many.generatedItems = 6000;
        build(true, many);
        TimelineView* timeline = content->timeline();
        QList<std::pair<int, int>> seen; // (permille, the overlay bar's maximum) as it loads
        QStringList captions;            // what the caption under the bar said at each step
        connect(&f->reader->timeline(), &Timeline::loadingPermilleChanged, timeline, [&] {
            seen << std::pair(f->reader->timeline().loadingPermille(),
                              timeline->progress()->maximum());
            captions << timeline->progressText()->text();
        });
        f->reader->timeline().selectSource(Source::all());
        QVERIFY(timeline->busyBar()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!f->reader->timeline().loadingItems(), 30000);
        QVERIFY(timeline->busyBar()->isHidden());
        const auto partway = std::find_if(seen.cbegin(), seen.cend(), [](const auto& step) {
            return step.first > 0 && step.first < 1000;
        });
        QVERIFY2(partway != seen.cend(), "no step between the first byte and the last");
        QCOMPARE(partway->second, 1000); // a bar that fills, not a busy one
        QCOMPARE(captions[partway - seen.cbegin()], u"Loading Articles…"_s);
        // Every byte in, the list is still being put in order, and says so.
        const auto arrived = std::find_if(seen.cbegin(), seen.cend(),
                                          [](const auto& step) { return step.first >= 1000; });
        QVERIFY2(arrived != seen.cend(), "no step once every byte was in");
        QCOMPARE(captions[arrived - seen.cbegin()], u"Preparing Articles…"_s);
        QVERIFY(std::is_sorted(seen.cbegin(), seen.cend() - 1));
        QCOMPARE(seen.last().first, -1); // done
    }

    void oneActionSetInEveryPlace()
    {
        build(true);
        // Titles follow the selection; with none, the actions do nothing.
        QCOMPARE(actions->star->text(), u"Star"_s);
        actions->star->trigger();
        QCOMPARE(f->reader->subscriptions().starredCount(), 3);
        f->reader->timeline().select(2); // starred; selecting marks it read
        QCOMPARE(actions->star->toolTip(), u"Unstar (S)"_s);
        QCOMPARE(actions->markRead->text(), u"Mark as Unread"_s);
        QCOMPARE(actions->markAllRead->toolTip(), u"Mark All as Read (Ctrl+Shift+A)"_s);
        QTest::keyClick(window.get(), Qt::Key_M);
        QCOMPARE(actions->markRead->text(), u"Mark as Read"_s);
        QTest::keyClick(window.get(), Qt::Key_S);
        QCOMPARE(actions->star->text(), u"Star"_s);
        QTest::keyClick(window.get(), Qt::Key_S);

        const auto article = content->findChild<ArticleView*>();
        QVERIFY(article);
        QMenu* articleMenu = nullptr;
        for (QAction* entry : window->menuBar()->actions())
            if (entry->text() == u"&Article"_s) articleMenu = entry->menu();
        QVERIFY(articleMenu);
        for (QAction* action : {actions->star, actions->markRead, actions->openInBrowser}) {
            QVERIFY(articleMenu->actions().contains(action));
            QVERIFY(actions->rowMenu().contains(action));
        }
        QVERIFY(article->toolbar()->actions().contains(actions->openInBrowser));
        // Starred and Unread are toggle buttons there, triggering the same actions.
        for (auto [name, action] :
             {std::pair{u"Starred"_s, actions->star}, std::pair{u"Unread"_s, actions->markRead}}) {
            QToolButton* toggle = nullptr;
            for (auto* button : article->toolbar()->findChildren<QToolButton*>())
                if (button->text() == name) toggle = button;
            QVERIFY(toggle && toggle->isCheckable());
            QSignalSpy triggered(action, &QAction::triggered);
            f->reader->timeline().select(f->reader->timeline().items().first().id);
            toggle->click();
            QCOMPARE(triggered.size(), 1);
        }
        f->reader->timeline().select(std::nullopt);
        f->reader->timeline().select(2);

        // The row menu acts on its row, not on the selection, and then gives the actions back.
        const Item row = f->reader->timeline().items().last();
        QVERIFY(row.id != 2 && !row.starred);
        QTimer::singleShot(0, this, [] {
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(popup);
            const QList<QAction*> entries = popup->actions();
            const auto star = std::find_if(entries.cbegin(), entries.cend(),
                                           [](QAction* a) { return a->text() == u"Star"_s; });
            QVERIFY(star != entries.cend());
            (*star)->trigger();
            popup->close();
        });
        actions->popUpRowMenu(row, window->geometry().center(), window.get());
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(2));
        QVERIFY(f->reader->timeline().items().last().starred);
        QVERIFY(f->reader->timeline().selectedItem()->starred);
        QCOMPARE(actions->star->text(), u"Unstar"_s);
    }

    void clickingTheSelectedUnreadRowMarksItRead()
    {
        build(true);
        QListView* list = content->timeline()->list();
        const Item item = f->reader->timeline().search().shownItem(2);
        QVERIFY(item.unread);
        // Offline for one call: selecting it cannot mark it read.
        f->sandbox.server->setFault("item-read", {500, 0, {}, 1});
        f->reader->timeline().select(item.id);
        QTRY_VERIFY(said(*f->reader).has_value());
        QVERIFY(f->reader->timeline().selectedItem()->unread);
        const QRect row = list->visualRect(list->model()->index(2, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QVERIFY(!f->reader->timeline().selectedItem()->unread);
        QTRY_VERIFY(!f->sandbox.server->store().itemState(item.id)->unread);
    }

    void anArticleThatLeftTheListIsNotShownFromAnOldCopy()
    {
        build(true);
        f->reader->timeline().selectSource(Source::starred());
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        const qint64 id = f->reader->timeline().items().first().id;
        f->reader->timeline().select(id);
        const auto article = content->findChild<ArticleView*>();
        QTRY_COMPARE(article->currentWidget(), article->toolbar()->parentWidget());
        // Unstarred elsewhere: the next refresh no longer lists it.
        QVERIFY(f->sandbox.server->store().setStarred(id, false));
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QVERIFY(std::none_of(f->reader->timeline().items().cbegin(),
                             f->reader->timeline().items().cend(),
                             [id](const Item& item) { return item.id == id; }));
        QVERIFY(!f->reader->timeline().selectedItem());
        QVERIFY(article->currentWidget() != article->toolbar()->parentWidget());
        QVERIFY(!actions->star->isEnabled());
    }

    void tabbingIntoTheListOpensNothingUntilSpace()
    {
        build(true);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        const qint64 unread = f->reader->subscriptions().count(Source::allUnread());
        QListView* list = content->timeline()->list();
        content->timeline()->searchField()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(content->timeline()->searchField(), Qt::Key_Tab);
        QTRY_VERIFY(list->hasFocus());
        QVERIFY(list->currentIndex().isValid()); // the keyboard's place, shown by the ring
        QVERIFY(!f->reader->timeline().selectedId());
        QCOMPARE(f->reader->subscriptions().count(Source::allUnread()), unread);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(
            f->reader->timeline().selectedId(),
            std::optional(f->reader->timeline().search().shownItem(list->currentIndex().row()).id));
        QCOMPARE(f->reader->subscriptions().count(Source::allUnread()), unread - 1);

        // Rows that arrive while the focus waits in the list get its place too (a screen
        // reader hears the first), and open nothing.
        f->sandbox.server->setFault("items", {0, 300, {}, 1});
        f->reader->timeline().selectSource(Source::feed(3));
        QVERIFY(f->reader->timeline().loadingItems() && list->hasFocus());
        QVERIFY(!list->currentIndex().isValid());
        QTRY_COMPARE(list->currentIndex().row(), 0);
        QVERIFY(!f->reader->timeline().selectedId());
    }

    // The article as text: Tab reaches each link and Enter opens it, when it is a web
    // address; Shift with the arrows selects exactly what becomes the quote.
    void theReadingViewOpensWebLinksAndQuotesTheSelection_data()
    {
        QTest::addColumn<QString>("href");
        QTest::addColumn<QString>("opened"); // empty: nothing opens
        QTest::newRow("relative") << u"next.html"_s << u"https://site.example/a/next.html"_s;
        QTest::newRow("https") << u"https://other.example/"_s << u"https://other.example/"_s;
        QTest::newRow("file") << u"file:///etc/passwd"_s << QString();
        QTest::newRow("script") << u"javascript:alert(1)"_s << QString();
        QTest::newRow("custom scheme") << u"tavo://lumbra/item/1"_s << QString();
    }
    void theReadingViewOpensWebLinksAndQuotesTheSelection()
    {
        QFETCH(QString, href);
        QFETCH(QString, opened);
        QStringList asked;
        QWidget before;
        auto* layout = new QVBoxLayout(&before);
        auto* start = new QPushButton(u"start"_s);
        ReadingView* view = new ReadingView([&](const QUrl& url) { asked << url.toString(); });
        layout->addWidget(start);
        layout->addWidget(view);
        before.show();
        before.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&before));
        view->show(
            u"<h1>Title</h1><p>One two. <a href=\"%1\">link</a></p>"
            u"<img src=\"file:///etc/hostname\" alt=\"a cat\"><p>Three four.</p>"_s.arg(href),
            7, QUrl(u"https://site.example/a/b"_s));
        QCOMPARE(view->shownItem(), std::optional<qint64>(7));
        QVERIFY(view->toPlainText().contains(u"a cat"_s)); // what the image stands for
        const QString marked = u"<img alt=\"<a href='https://x.example/'>cat</a>\">"_s;
        view->show(marked, 8, QUrl());
        QCOMPARE(view->toPlainText().trimmed(), u"<a href='https://x.example/'>cat</a>"_s);
        view->show(
            u"<h1>Title</h1><p>One two. <a href=\"%1\">link</a></p>"
            u"<img src=\"file:///etc/hostname\" alt=\"a cat\"><p>Three four.</p>"_s.arg(href),
            7, QUrl(u"https://site.example/a/b"_s));
        start->setFocus();
        QTest::keyClick(start, Qt::Key_Tab);
        QVERIFY(view->hasFocus());
        QTest::keyClick(view, Qt::Key_Tab); // to the link
        QCOMPARE(view->textCursor().selectedText(), u"link"_s);
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(asked, opened.isEmpty() ? QStringList() : QStringList{opened});

        view->moveCursor(QTextCursor::Start);
        QTest::keyClick(view, Qt::Key_P); // the first paragraph
        for (int i = 0; i < 8; ++i)
            QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(*await(view->selection()->selectedText()), u"One two."_s);
        QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(*await(view->selection()->selectedText()),
                 u"One two. link\n\na cat \n\nThree four."_s);
    }

    void bareKeysActInTheWindowOnly()
    {
        build(true);
        const QList<Item> items = f->reader->timeline().items();
        // A command's key that cannot run now is not the first letter of a source's name
        // ("Starred"); other letters are.
        auto* sources = window->findChild<QTreeView*>();
        sources->setFocus();
        const std::optional<Source> shown = f->reader->timeline().source();
        QTest::keyClick(sources, Qt::Key_S);
        QCOMPARE(f->reader->timeline().source(), shown);
        QTest::keyClick(window.get(), Qt::Key_J);
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(items[0].id));
        QTest::keyClick(window.get(), Qt::Key_J);
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(items[1].id));
        QTest::keyClick(window.get(), Qt::Key_K);
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(items[0].id));
        QTest::keyClick(window.get(), Qt::Key_N);
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(items[2].id));
        QTest::keyClick(window.get(), Qt::Key_B);
        QCOMPARE(f->browser.opened.size(), 1);

        auto* field = new QLineEdit(window.get());
        field->show();
        field->setFocus();
        QTest::keyClick(field, Qt::Key_J);
        QCOMPARE(field->text(), u"j"_s);
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(items[2].id));

        sources->setFocus();
        QTest::keyClick(sources, Qt::Key_W);
        QCOMPARE(sources->currentIndex().data().toString(), u"World"_s);
    }

    void bannerTimeouts()
    {
        build(true);
        QWidget area;
        {
            MessageView quick(f->reader->session(), &area, std::chrono::milliseconds(50));
            f->reader->session().setMessage(quoteAdded(u"first"_s));
            QCOMPARE(quick.text(), u"Quote added to first"_s);
            QTRY_VERIFY(!said(*f->reader)); // run out, it goes
        }
        // Read from the timer, and long enough not to run out while a busy machine lags.
        // Qt may move a coarse timer's end by up to 5% (500 ms): each step waits longer.
        MessageView banner(f->reader->session(), &area, std::chrono::seconds(10));
        const auto restarts = [&](const QString& title) {
            QTest::qWait(1100);
            const int before = banner.wait().remainingTime();
            f->reader->session().setMessage(quoteAdded(title));
            return banner.wait().remainingTime() > before;
        };
        f->reader->session().setMessage(quoteAdded(u"first"_s));
        QVERIFY(banner.wait().isActive());
        QVERIFY(restarts(u"second"_s));  // a new text has its own full wait
        QVERIFY(!restarts(u"second"_s)); // the same one none
        // While the pointer rests on it, it stays; leaving gives it a full wait again.
        QTest::qWait(1100);
        const int before = banner.wait().remainingTime();
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(&banner, &enter);
        QVERIFY(!banner.wait().isActive());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&banner, &leave);
        QVERIFY(banner.wait().remainingTime() > before);

        // Something that went wrong waits to be dismissed, from the keyboard too.
        const Notice refused(Notice::Kind::changeRefused, {},
                             Failure{Failure::Kind::newsStatus, u"/items/5/read"_s, 500,
                                     QNetworkReply::NoError, 0, QString(), std::nullopt});
        for (const bool byKey : {false, true}) {
            f->reader->session().setMessage(refused);
            QVERIFY(!banner.wait().isActive());
            auto* dismiss = banner.findChild<QToolButton*>();
            QVERIFY(dismiss && dismiss->focusPolicy() & Qt::TabFocus);
            QCOMPARE(dismiss->accessibleName(), u"Dismiss"_s);
            if (byKey) {
                area.show();
                dismiss->setFocus();
                QTest::keyClick(dismiss, Qt::Key_Escape);
            } else {
                dismiss->click();
            }
            QCOMPARE(said(*f->reader), std::nullopt);
        }
    }

    void loginScreenStates()
    {
        build(false);
        LoginView* login = content->loginView();
        QCOMPARE(content->currentWidget(), login);
        QVERIFY(!login->logInButton()->isEnabled());
        QTest::keyClick(login->serverField(), Qt::Key_Return);
        QCOMPARE(f->reader->session().login(), LoginState::idle());

        f->sandbox.server->setFault("login-start", {0, 300, {}, 1});
        QTest::keyClicks(login->serverField(), f->sandbox.account().server);
        QVERIFY(login->logInButton()->isEnabled());
        QCOMPARE(f->files.settings.server(), f->sandbox.account().server);
        login->logInButton()->click();
        QCOMPARE(login->states()->currentIndex(), 1);
        QVERIFY(!login->serverField()->isEnabled());
        login->cancelButton()->click();
        QCOMPARE(login->states()->currentIndex(), 0);
        QCOMPARE(login->serverField()->text(), f->sandbox.account().server);

        login->serverField()->setText(u"exa mple.org"_s);
        login->logInButton()->click();
        QTRY_COMPARE(login->states()->currentIndex(), 2);
        QVERIFY(login->failureText()->text().contains(u"not a valid server address"_s));
        QCOMPARE(login->failureText()->palette().color(QPalette::WindowText), Style::errorColor());
        // Editing the address puts the old failure away.
        login->serverField()->clear();
        QCOMPARE(login->states()->currentIndex(), 0);
        QCOMPARE(f->reader->session().login(), LoginState::idle());

        // Logging in through the browser shows the columns without reopening the window.
        f->browser.onOpen = [this](const QUrl& url) {
            f->sandbox.server->grant(url.toString().toStdString());
        };
        login->serverField()->setText(f->sandbox.account().server);
        login->logInButton()->click();
        QTRY_COMPARE(content->currentWidget(), content->readerPage());
        QTRY_VERIFY(actions->next->isEnabled()); // once the articles are listed
        f->reader->session().logOut();
        QCOMPARE(content->currentWidget(), login);
        // Nothing to move through on the login screen.
        for (QAction* move : {actions->next, actions->previous, actions->nextUnread})
            QVERIFY(!move->isEnabled());
    }

    // A self-signed server: the login shows its certificate and trusts it from the keyboard;
    // when the certificate later changes, the sources say so and show the new one.
    void certificatesAreShownBeforeTheyAreTrusted()
    {
        sandbox::Options options;
        options.https = true;
        build(false, options);
        LoginView* login = content->loginView();
        f->browser.onOpen = [this](const QUrl& url) {
            f->sandbox.server->grant(url.toString().toStdString());
        };
        login->serverField()->setText(f->sandbox.account().server);
        login->logInButton()->click();
        QTRY_COMPARE(login->states()->currentIndex(), 2);
        CertificateView* shown = login->certificate();
        QVERIFY(shown->isVisible() && shown->trustButton()->isVisible());
        const CertificateInfo& met = shown->shown();
        QStringList fields;
        for (const QLabel* field : shown->findChildren<QLabel*>())
            if (field->focusPolicy() & Qt::TabFocus) fields << field->text().remove(u'\n');
        QVERIFY2(fields.contains(met.fingerprint) && fields.contains(met.publicKey),
                 qPrintable(fields.join(u" | "_s)));
        shown->trustButton()->setFocus();
        QTest::keyClick(shown->trustButton(), Qt::Key_Space);
        QTRY_COMPARE(content->currentWidget(), content->readerPage());

        // The server's certificate changes under it.
        QTRY_VERIFY(!f->reader->session().refreshing() && !f->reader->timeline().loadingItems());
        const std::string password = f->reader->session().account()->appPassword.toStdString();
        const int port = f->sandbox.server->port();
        f->sandbox.manager.clearConnectionCache();
        f->sandbox.server = std::make_unique<sandbox::Sandbox>(options);
        f->sandbox.server->addAppPassword(password);
        f->sandbox.server->start(port);
        f->reader->session().refresh();
        SidebarView* sidebar = content->sidebar();
        QTRY_VERIFY(sidebar->reviewCertificateButton()->isVisible());
        QTimer::singleShot(0, this, [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* view = dialog->findChild<CertificateView*>();
            QVERIFY(view && view->shown().pinned && view->trustButton()->isVisible());
            view->trustButton()->click();
        });
        sidebar->reviewCertificateButton()->click();
        QTRY_VERIFY(!sidebar->reviewCertificateButton()->isVisible());
        QVERIFY(!f->reader->session().error());
    }

    void loginMistakesGetAHint_data()
    {
        QTest::addColumn<QString>("typed"); // %1 is the sandbox's (plain HTTP) host and port
        QTest::addColumn<QString>("hint");
        QTest::newRow("HTTPS to an HTTP port")
            << u"https://%1"_s << u"type http:// in front of the address instead."_s;
        QTest::newRow("no scheme, a server without HTTPS")
            << u"%1"_s << u"Lumbra tried https://%1, but this server does not seem"_s;
        QTest::newRow("no scheme, nothing there")
            << u"127.0.0.1:9"_s
            << u"Can't reach 127.0.0.1:9: connection refused. Lumbra tried https://127.0.0.1:9; "
               "for a server without HTTPS, type http://"_s;
        QTest::newRow("the address of a page inside Nextcloud")
            << u"http://%1/apps/news/"_s
            << u"There is no Nextcloud login at http://%1/apps/news/. Type the address "
               "Nextcloud's pages start with, such as http://%1, without the path"_s;
    }

    void loginMistakesGetAHint()
    {
        QFETCH(QString, typed);
        QFETCH(QString, hint);
        build(false);
        const QString hostAndPort = QUrl(f->sandbox.account().server).authority();
        LoginView* login = content->loginView();
        login->serverField()->setText(typed.arg(hostAndPort));
        login->logInButton()->click();
        QTRY_COMPARE(login->states()->currentIndex(), 2);
        QLabel* text = login->failureText();
        QVERIFY2(text->text().contains(hint.arg(hostAndPort)), qPrintable(text->text()));
        // All of it shows: as tall as its lines need, and inside the window.
        QVERIFY(text->height() >= text->heightForWidth(text->width()));
        const QRect shown(text->mapTo(window.get(), QPoint(0, 0)), text->size());
        QVERIFY(window->rect().contains(shown));
    }

    void applicationWindow()
    {
        LumbraApp app;
        QCOMPARE(app.window().windowTitle(), u"Lumbra"_s);
        // Tiled to half of a 1440-pixel screen, every column keeps its room.
        app.content().setCurrentWidget(app.content().readerPage());
        app.window().show();
        app.window().resize(LumbraApp::minimumWindowSize);
        QTRY_COMPARE(app.window().size(), LumbraApp::minimumWindowSize);
        for (int column = 0; column < app.content().columns()->count(); ++column) {
            const QWidget* shown = app.content().columns()->widget(column);
            QVERIFY(shown->width() >= shown->minimumWidth());
            QVERIFY(shown->width() >= shown->minimumSizeHint().width());
        }
        // (Orca presses the other shortcuts.)
        QCOMPARE(app.menu().refresh->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    }

    void settingsIsADialogOfTheWindow()
    {
        LumbraApp app;
        app.window().show();
        app.menu().settings->trigger();
        QDialog* settings = app.settingsDialog();
        QVERIFY(settings && settings->isVisible());
        QCOMPARE(settings->parentWidget(), &app.window());
        QCOMPARE(QAccessible::queryAccessibleInterface(settings)->role(), QAccessible::Dialog);
        QTest::keyClick(settings, Qt::Key_Escape);
        QVERIFY(!settings->isVisible());

        // Choosing a vault from Settings opens over Settings, which has the focus back after.
        app.menu().settings->trigger();
        QVERIFY(QTest::qWaitForWindowActive(settings));
        QPushButton* choose = settings->findChild<SettingsView*>()->chooseVaultButton();
        choose->setFocus();
        QWidget* chooserParent = nullptr;
        QTimer cancel;
        cancel.callOnTimeout([&] {
            if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                chooserParent = chooser->parentWidget();
                chooser->reject();
            }
        });
        cancel.start(0);
        QTest::keyClick(choose, Qt::Key_Space);
        cancel.stop();
        QCOMPARE(chooserParent, settings);
        QVERIFY(settings->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), choose);
        QTest::keyClick(settings, Qt::Key_Escape);

        // Logged out, Settings leads to the login.
        app.menu().settings->trigger();
        auto* view = settings->findChild<SettingsView*>();
        QVERIFY(view->logInButton()->isVisible());
        view->logInButton()->click();
        QVERIFY(!settings->isVisible());
        QTRY_COMPARE(QApplication::focusWidget(), app.content().loginView()->serverField());

        // Ctrl+Q in Settings ends Lumbra: no window is left to keep it running.
        app.menu().settings->trigger();
        QVERIFY(settings->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(settings));
        QTest::keyClick(settings, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!settings->isVisible());
        QVERIFY(!app.window().isVisible());
        const QWidgetList windows = QApplication::topLevelWidgets();
        QVERIFY(std::none_of(windows.cbegin(), windows.cend(),
                             [](QWidget* w) { return w->isVisible(); }));
    }

    void settingsShowTheAccountAndVault()
    {
        build(true);
        SettingsView settings(*f->reader);
        QCOMPARE(settings.account()->currentIndex(), 1);
        QCOMPARE(settings.loginName()->text(), u"demo"_s);
        QCOMPARE(settings.server()->text(), f->sandbox.account().server);
        QCOMPARE(settings.vaultPath()->text(), u"Not chosen"_s);
        settings.chooseVaultButton()->click(); // cancelled
        QCOMPARE(settings.vaultPath()->text(), u"Not chosen"_s);
        const QTemporaryDir main;
        const QTemporaryDir other;
        f->folderChooser.answer = main.path();
        settings.chooseVaultButton()->click();
        QCOMPARE(settings.vaultPath()->text(), main.path());
        settings.logOutButton()->click();
        QCOMPARE(settings.account()->currentIndex(), 0);

        // A vault chosen elsewhere (at the first quote) shows the next time Settings opens.
        settings.show();
        f->folderChooser.answer = other.path();
        QVERIFY(f->reader->quotes().chooseVault());
        settings.hide();
        settings.show();
        QCOMPARE(settings.vaultPath()->text(), other.path());
    }

    void itemLinks()
    {
        build(true);
        LinkHandler links(*f->reader, f->activator);
        links.startOpening();
        links.open(QUrl(u"tavo://lumbra/item/notanumber"_s));
        links.open(QUrl(u"https://example.org/"_s));
        QCOMPARE(f->activator.count, 0);

        links.open(QUrl(u"tavo://lumbra/item/5"_s)); // listed: selected as a click would
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(5));
        QTRY_COMPARE(f->activator.count, 1);
        QVERIFY(!f->reader->timeline().linked());

        links.open(QUrl(u"tavo://lumbra/item/3"_s)); // read, so not in All Unread
        QTRY_VERIFY(f->reader->timeline().linked());
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(3));

        // Over the session bus: a name of this run's own, not a Lumbra the user has open.
        const QString name = u"app.lumbra.Test%1"_s.arg(QCoreApplication::applicationPid());
        QVERIFY(links.listen(name));
        QVERIFY(!LinkHandler(*f->reader, f->activator).listen(name)); // taken
        QVERIFY(LinkHandler::handOver(QUrl(u"tavo://lumbra/item/6"_s), name));
        QTRY_COMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(6));
        QVERIFY(!LinkHandler::handOver(QUrl(u"tavo://lumbra/item/6"_s), name + u"None"_s));

        // A second lumbra process on the same bus hands its link over and exits.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LUMBRA_BUS_NAME"_s, name);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        QProcess second;
        second.setProcessEnvironment(environment);
        second.start(QStringLiteral(LUMBRA_PROGRAM), {u"tavo://lumbra/item/9"_s});
        // This process answers the call, so it waits in its event loop.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(9));

        // One on another session's bus does not reach this one: it starts a Lumbra of its own.
        QProcess otherBus;
        otherBus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
        QVERIFY(otherBus.waitForReadyRead(5000));
        const QString otherAddress = QString::fromUtf8(otherBus.readLine().trimmed());
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, otherAddress);
        environment.insert(u"HOME"_s, QDir::tempPath());
        QProcess third;
        third.setProcessEnvironment(environment);
        third.start(QStringLiteral(LUMBRA_PROGRAM), {u"tavo://lumbra/item/5"_s});
        {
            QDBusConnection other = QDBusConnection::connectToBus(otherAddress, u"other"_s);
            // It is that session's Lumbra once it holds the name there.
            QTRY_VERIFY_WITH_TIMEOUT(other.interface()->isServiceRegistered(name).value(), 20000);
        }
        QDBusConnection::disconnectFromBus(u"other"_s);
        QCOMPARE(third.state(), QProcess::Running);
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(9));
        third.kill();
        third.waitForFinished();
        otherBus.kill();
        otherBus.waitForFinished();
    }

    // Any program of the user may call over the bus, as often as it likes.
    void aFloodOfLinksOpensLittle()
    {
        build(true);
        LinkHandler links(*f->reader, f->activator);
        const QString name = u"app.lumbra.Flood%1"_s.arg(QCoreApplication::applicationPid());
        QVERIFY(links.listen(name));
        f->sandbox.server->clearRequests();
        // 1,000 articles the server does not have, 500 addresses, each twice; then one link
        // again and again. They arrive before the first refresh ended, as at a start.
        QDBusConnection bus = QDBusConnection::sessionBus();
        std::optional<QDBusPendingCall> last;
        for (int i = 0; i < 1200; ++i) {
            const QString link =
                tavoLink(700000 + std::min(i, 999), u"https://gone.example/%1"_s.arg(i % 500));
            QDBusMessage open = QDBusMessage::createMethodCall(
                name, u"/app/lumbra/Lumbra"_s, u"org.freedesktop.Application"_s, u"Open"_s);
            open << QStringList{link} << QVariantMap();
            last = bus.asyncCall(open);
        }
        QDBusPendingCallWatcher answered(*last);
        QTRY_VERIFY(answered.isFinished());
        QVERIFY(!answered.isError());
        links.startOpening();
        // A few waited and are looked up one by one; of their addresses only a burst opens.
        QTRY_COMPARE(f->browser.opened.size(), int(BrowserBursts::burstSize));
        QTRY_COMPARE(f->targets().filter(u"batchSize=2&offset="_s).size(),
                     int(LinkHandler::mostWaiting));
        QCOMPARE(QSet<QUrl>(f->browser.opened.cbegin(), f->browser.opened.cend()).size(),
                 f->browser.opened.size());
        // Once shown, a link still opens at once, and its address not again.
        const int lookUps = f->targets().filter(u"batchSize=2&offset="_s).size();
        links.open(QUrl(tavoLink(700000, u"https://gone.example/0"_s)));
        QTRY_COMPARE(f->targets().filter(u"batchSize=2&offset="_s).size(), lookUps + 1);
        QCOMPARE(f->browser.opened.size(), int(BrowserBursts::burstSize));
    }

    // Answered in the terminal, without a display and without a window.
    void commandLineQuestions_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("version") << u"--version"_s << u"de"_s
                                 << u"Lumbra %1"_s.arg(QStringLiteral(LUMBRA_VERSION));
        QTest::newRow("help") << u"--help"_s << u"en"_s << u"Usage: lumbra [LINK]"_s;
        QTest::newRow("short help") << u"-h"_s << u"en"_s << u"Usage: lumbra [LINK]"_s;
        QTest::newRow("help in German") << u"--help"_s << u"de"_s << u"Aufruf: lumbra [LINK]"_s;
        QTest::newRow("help in French")
            << u"-h"_s << u"fr:de"_s << u"Utilisation : lumbra [LIEN]"_s;
    }

    void commandLineQuestions()
    {
        QFETCH(QString, argument);
        QFETCH(QString, language);
        QFETCH(QString, firstLine);
        QProcess lumbra;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LANGUAGE"_s, language);
        environment.insert(u"LANG"_s, u"C.UTF-8"_s);
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s); // would fail, were a window made
        lumbra.setProcessEnvironment(environment);
        lumbra.start(QStringLiteral(LUMBRA_PROGRAM), {argument});
        QVERIFY(lumbra.waitForFinished(20000));
        QCOMPARE(lumbra.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(lumbra.readAllStandardOutput()).section(u'\n', 0, 0), firstLine);
    }

    void linksAtStartWaitForTheFirstRefresh()
    {
        f = std::make_unique<ReaderFixture>();
        f->accounts.stored = f->sandbox.account();
        LinkHandler links(*f->reader, f->activator);
        // Item 3 is read, so All Unread will not list it; item 5 is listed.
        links.open(QUrl(u"tavo://lumbra/item/5"_s));
        QCOMPARE(f->activator.count, 0); // nothing yet: no account loaded, no list
        await(f->reader->start());
        links.startOpening();
        QVERIFY(f->reader->session().refreshing());
        QCOMPARE(f->reader->timeline().selectedId(), std::nullopt);
        QTRY_COMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(5));
        QTRY_COMPARE(f->activator.count, 1);
        QVERIFY(!f->reader->timeline().linked()); // selected from the list, as in a running Lumbra
        QVERIFY(f->browser.opened.isEmpty());
    }

    void iconsStayVisibleInADarkDesktop()
    {
        LumbraApp app; // follows the palette from here on
        const QPalette original = QApplication::palette();
        // The mean lightness of an icon's ink.
        const auto lightness = [](const QIcon& icon) {
            const QImage image = icon.pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32);
            qint64 sum = 0, count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qAlpha(image.pixel(x, y)) > 128) {
                        sum += QColor(image.pixel(x, y)).lightness();
                        ++count;
                    }
            return count ? sum / count : -1;
        };
        for (const bool dark : {true, false, true}) {
            QPalette palette = original;
            palette.setColor(QPalette::Window, dark ? QColor(0x24, 0x24, 0x26) : Qt::white);
            QApplication::setPalette(palette);
            QCOMPARE(QIcon::themeName(), dark ? u"breeze-dark"_s : u"breeze"_s);
            // The glyph icons of the toolbar and menus (the browser's is a coloured app icon).
            for (QAction* action :
                 {app.actions().star, app.actions().markRead, app.actions().saveQuote,
                  app.actions().next, app.menu().refresh}) {
                const qint64 ink = lightness(action->icon());
                QVERIFY2(dark ? ink > 128 : (ink >= 0 && ink < 128),
                         qPrintable(action->text() + u": "_s + QString::number(ink)));
            }
        }
        QApplication::setPalette(original);
    }

    void findByKeyboardAlone()
    {
        build(true);
        window->activateWindow();
        TimelineView* timeline = content->timeline();
        QLineEdit* search = timeline->searchField();
        const qsizetype all = f->reader->timeline().items().size();

        QTest::keySequence(window.get(), QKeySequence::Find);
        QTRY_VERIFY(search->hasFocus());
        QTest::keyClicks(search, u"dr lin"_s); // bare keys type in the field, they act not
        QCOMPARE(f->reader->timeline().search().query(), u"dr lin"_s);
        QVERIFY(!f->reader->timeline().selectedId());
        const qsizetype shown = f->reader->timeline().search().shownCount();
        QVERIFY(shown > 0 && shown < all);
        QCOMPARE(timeline->list()->model()->rowCount(), int(shown));
        QCOMPARE(timeline->subtitleLabel()->text(),
                 QLocale().toString(shown) + u" of "_s + QLocale().toString(all));
        QCOMPARE(actions->markAllRead->text(), u"Mark %1 Shown as Read"_s.arg(shown));

        // Escape ends the search and hands the keys back to the rows.
        QTest::keyClick(search, Qt::Key_Escape);
        QVERIFY(search->text().isEmpty());
        QVERIFY(timeline->list()->hasFocus());
        QCOMPARE(f->reader->timeline().search().shownCount(), all);
        QCOMPARE(actions->markAllRead->text(), u"Mark All as Read"_s);

        // Search again, then walk the matches from the list: its rows are the matches.
        QTest::keySequence(window.get(), QKeySequence::Find);
        QTest::keyClicks(search, u"dr lin"_s);
        QTest::keyClick(search, Qt::Key_Down); // out of the field, onto the rows
        QVERIFY(timeline->list()->hasFocus());
        f->reader->timeline().select(f->reader->timeline().search().shownItem(0).id);
        QTest::keyClick(window.get(), Qt::Key_J);
        QCOMPARE(f->reader->timeline().selectedId(),
                 std::optional(f->reader->timeline().search().shownItem(1).id));
        QCOMPARE(timeline->list()->currentIndex().row(), 1);

        // Nothing matches: the list says so.
        search->setText(u"zzzz nothing"_s);
        QVERIFY(timeline->placeholder()->isVisible());
        QCOMPARE(timeline->placeholder()->title(), u"No articles match \u201Czzzz nothing\u201D"_s);

        // A pasted page, or a letter with 200,000 combining marks, is cut to a query's length.
        search->setText(u"a"_s + QString(200'000, QChar(0x0301)));
        QCOMPARE(search->text().size(), TimelineView::longestQuery);
        QCOMPARE(f->reader->timeline().search().query().size(), TimelineView::longestQuery);
    }

    void copyLinkSaysWhatItCopied()
    {
        build(true);
        f->reader->timeline().select(5);
        const std::optional<QUrl> url = articleUrl(*f->reader->timeline().selectedItem());
        QVERIFY(url);
        actions->copyLink->trigger();
        QCOMPARE(QApplication::clipboard()->text(), url->toString());
        QCOMPARE(said(*f->reader), std::optional(u"Link copied: "_s + url->toDisplayString()));

        // A feed's address of any length is copied whole and named in a line.
        f->sandbox.server->store().addItem({.id = 991,
                                            .feedId = 5,
                                            .guid = "longer",
                                            .url = "https://a.example/" + std::string(100'000, 'x'),
                                            .title = "Long address",
                                            .pubDate = f->clock.now()},
                                           f->clock.now());
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing() &&
                    f->reader->timeline().search().rowOfItem(0) >= 0 &&
                    f->reader->timeline().items().constFirst().id == 991);
        f->reader->timeline().select(991);
        actions->copyLink->trigger();
        QCOMPARE(QApplication::clipboard()->text().size(), 18 + 100'000);
        QVERIFY(said(*f->reader)->size() < 160);
        QVERIFY(said(*f->reader)->endsWith(u'\u2026'));
    }

    // A row shows a line of its title, however long the feed made it.
    void aMegabyteTitleIsCutForItsRow()
    {
        build(true);
        f->sandbox.server->store().addItem({.id = 990,
                                            .feedId = 5,
                                            .guid = "huge",
                                            .title = std::string(1'000'000, 'T'),
                                            .pubDate = f->clock.now()},
                                           f->clock.now());
        f->reader->session().refresh();
        const auto* model = content->timeline()->list()->model();
        QTRY_VERIFY(!f->reader->session().refreshing() && model->rowCount() > 0 &&
                    model->index(0, 0).data(TimelineModel::IdRole).toLongLong() == 990);
        const QString shown = model->index(0, 0).data().toString();
        QVERIFY(!shown.isEmpty() && shown.size() <= 2000);
        QCOMPARE(shown, QString(shown.size(), u'T'));
    }

    void rowsFollowTheirTextAndTheWindow_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("rightToLeft");
        QTest::addColumn<Qt::LayoutDirection>("window");
        const QString arabic =
            u"\u0645\u062D\u0627\u062F\u062B\u0627\u062A (\u062C\u062F\u064A\u062F\u0629)"_s;
        QTest::newRow("English") << u"Talks (again) in Geneva"_s << false << Qt::LeftToRight;
        QTest::newRow("Arabic") << arabic << true << Qt::LeftToRight;
        QTest::newRow("Hebrew") << u"\u05E9\u05DC\u05D5\u05DD (\u05E2\u05D5\u05DC\u05DD)"_s << true
                                << Qt::LeftToRight;
        QTest::newRow("English, mirrored window")
            << u"Talks (again) in Geneva"_s << false << Qt::RightToLeft;
        QTest::newRow("Arabic, mirrored window") << arabic << true << Qt::RightToLeft;
    }

    // A title starts where its script starts, whatever the window's direction; the row's
    // own parts (the unread dot, the feed, the date) follow the window's.
    void rowsFollowTheirTextAndTheWindow()
    {
        QFETCH(QString, title);
        QFETCH(bool, rightToLeft);
        QFETCH(Qt::LayoutDirection, window);
        // The columns where a row holding `roles` differs from one holding `without`.
        const auto ink = [window](const Roles& roles, const Roles& without = {}) {
            return differingColumns(paintedRow(roles, std::nullopt, 600, 0, window),
                                    paintedRow(without, std::nullopt, 600, 0, window));
        };
        const auto [left, right] =
            ink({{Qt::DisplayRole, title}, {TimelineModel::ExcerptRole, title}});
        QVERIFY(right > left);
        if (rightToLeft)
            QVERIFY2(left > 300 && right > 570, qPrintable(u"%1..%2"_s.arg(left).arg(right)));
        else
            QVERIFY2(right < 300 && left < 30, qPrintable(u"%1..%2"_s.arg(left).arg(right)));

        const bool mirrored = window == Qt::RightToLeft;
        const auto dot = ink({{TimelineModel::UnreadRole, true}});
        QVERIFY2(mirrored ? dot.first > 570 : dot.second < 30, qPrintable(u"%1"_s.arg(dot.first)));
        const Roles dated{{TimelineModel::DateRole, u"2 hours ago"_s}};
        const auto date = ink(dated);
        Roles both = dated;
        both.insert(TimelineModel::FeedTitleRole, title);
        const auto feed = ink(both, dated);
        QVERIFY2(mirrored ? date.second < feed.first : feed.second < date.first,
                 qPrintable(u"feed %1..%2, date %3..%4"_s.arg(feed.first)
                                .arg(feed.second)
                                .arg(date.first)
                                .arg(date.second)));
        QVERIFY2(mirrored ? date.first < 30 : date.second > 570,
                 qPrintable(u"%1"_s.arg(date.first)));
    }

    // On a real display server (the CTest entry tst_views_xcb): the main window is made
    // once, not again when the first article's page appears.
    void windowIsMadeOnce()
    {
        if (QGuiApplication::platformName() != u"xcb"_s)
            QSKIP("the offscreen platform never makes windows again; tst_views_xcb runs this");
        build(true);
        const WId made = window->winId();
        f->reader->timeline().select(f->reader->timeline().items()[1].id);
        QTRY_VERIFY(content->findChild<ArticleView*>()->webView()->isVisible());
        QTest::qWait(500); // the page's first frame
        QCOMPARE(window->winId(), made);
    }

    // On a real display server Qt hands addresses to xdg-open; stand-ins for xdg-open and
    // xdg-mime record what they were given.
    void aNoteOpensInObsidianOrTheMarkdownApp_data()
    {
        QTest::addColumn<bool>("obsidian");  // a handler for obsidian:// is registered
        QTest::addColumn<bool>("markdown");  // a program for text/markdown is set
        QTest::addColumn<QString>("opened"); // empty: nothing opens, and the user is told
        const QString path = u"/vault/lumbra/Caf\u00E9 & more.md"_s;
        QTest::newRow("Obsidian")
            << true << false
            << u"obsidian://open?path=%2Fvault%2Flumbra%2FCaf%C3%A9%20%26%20more.md"_s;
        QTest::newRow("no Obsidian")
            << false << true << QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
        QTest::newRow("nothing for Markdown") << false << false << QString();
    }
    void aNoteOpensInObsidianOrTheMarkdownApp()
    {
        if (QGuiApplication::platformName() != u"xcb"_s)
            QSKIP("the offscreen platform opens nothing; tst_views_xcb runs this");
        QFETCH(bool, obsidian);
        QFETCH(bool, markdown);
        QFETCH(QString, opened);
        QTemporaryDir bin;
        const QString log = bin.filePath(u"opened"_s);
        const auto script = [&](const QString& name, const QString& body) {
            QFile file(bin.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\n" + body.toUtf8() + "\n");
            file.close();
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        };
        // Written whole, then named: the test reads it as soon as the name appears.
        script(u"xdg-open"_s, u"printf '%s' \"$1\" > '%1.part' && mv '%1.part' '%1'"_s.arg(log));
        script(u"xdg-mime"_s,
               u"case \"$3\" in x-scheme-handler/obsidian) %1;; text/markdown) %2;; esac"_s.arg(
                   obsidian ? u"echo obsidian.desktop"_s : u"exit 0"_s,
                   markdown ? u"echo org.gnome.TextEditor.desktop"_s : u"exit 0"_s));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ':' + path);
        bool told = false;
        DesktopNoteOpener().open(u"/vault/lumbra/Caf\u00E9 & more.md"_s, [&told] { told = true; });
        if (opened.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(told, 10000);
            qputenv("PATH", path);
            QVERIFY(!QFile::exists(log));
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(log), 10000);
        qputenv("PATH", path);
        QVERIFY(!told);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), opened);
    }

    void windowPlaceAndColumnsAreRemembered()
    {
        QSettings().clear();
        QList<int> columns;
        QList<int> fresh;
        {
            LumbraApp app;
            app.content().setCurrentWidget(app.content().readerPage()); // the columns laid out
            app.window().show();
            app.window().setGeometry(60, 70, 1000, 640);
            QTRY_COMPARE(app.window().size(), QSize(1000, 640));
            QSplitter* splitter = app.content().columns();
            fresh = splitter->sizes();
            splitter->setSizes({fresh[0] + 60, fresh[1] + 90, fresh[2] - 150});
            columns = splitter->sizes();
            QVERIFY(columns != fresh);
            app.window().close();
        }
        LumbraApp again;
        again.content().setCurrentWidget(again.content().readerPage());
        again.window().show();
        QCOMPARE(again.window().size(), QSize(1000, 640));
        QCOMPARE(again.content().columns()->sizes(), columns);
        QSettings().clear();
    }

    void rowsAreAsTallAsTheirScriptsNeed()
    {
        build(true); // the demo lists a Japanese feed and title
        QListView* list = content->timeline()->list();
        const QString sample =
            list->model()->index(0, 0).data(TimelineModel::LineSampleRole).toString();
        QVERIFY(sample.contains(u'東'));
        QVERIFY(!sample.contains(u'a') && !sample.contains(u'\u2014')); // Latin text, dashes
        const int mixed = list->sizeHintForRow(0);
        // A list in Latin script alone gets the main font's shorter lines.
        f->reader->timeline().selectSource(Source::feed(1));
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        QCOMPARE(list->model()->index(0, 0).data(TimelineModel::LineSampleRole).toString(),
                 QString());
        QVERIFY2(list->sizeHintForRow(0) < mixed,
                 qPrintable(u"%1 px, %2 with CJK"_s.arg(list->sizeHintForRow(0)).arg(mixed)));
    }

    void rowsKeepEveryGlyphInside_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("excerpt");
        const auto times = [](const QString& text, int n) { return text.repeated(n); };
        QTest::newRow("underscores, three lines")
            << times(u"snake_case_name gjpqy_ "_s, 12) << times(u"under_score gjpqy_ "_s, 20);
        QTest::newRow("CJK, three lines")
            << times(u"東京で桜が満開、한국어 "_s, 12) << times(u"桜の季節です。"_s, 30);
        QTest::newRow("emoji") << times(u"Party 🎉🍣👍🏽 "_s, 10)
                               << times(u"🇸🇪 Fika ☕ "_s, 20);
        QTest::newRow("one-line title") << u"Short"_s << times(u"under_score gjpqy_ "_s, 20);
    }

    void rowsKeepEveryGlyphInside()
    {
        QFETCH(QString, title);
        QFETCH(QString, excerpt);
        // Room below the row: whatever is drawn past its height shows there. The line sample
        // is what the timeline's model gives: the characters beyond Latin the list uses.
        const QImage image = paintedRow({{Qt::DisplayRole, title},
                                         {TimelineModel::ExcerptRole, excerpt},
                                         {TimelineModel::UnreadRole, true},
                                         {TimelineModel::FeedTitleRole, u"Feed_gjpqy 東京"_s},
                                         {TimelineModel::LineSampleRole, QString(title + excerpt)}},
                                        std::nullopt, 360, 60);
        const int height = image.height() - 60;
        int lowest = -1;
        QList<int> tops; // where each run of pixel rows with ink starts: one per line
        bool inked = false;
        for (int y = 0; y < image.height(); ++y) {
            bool ink = false;
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 200) ink = true;
            if (ink) lowest = y;
            if (ink && !inked) tops << y;
            inked = ink;
        }
        QVERIFY(lowest > height / 2);
        QVERIFY2(tops.size() >= (title == u"Short"_s ? 4 : 5),
                 qPrintable(QString::number(tops.size())));
        if (title != u"Short"_s) {
            // The three title lines are as far apart as the fonts drawing them need.
            QFont bold = QApplication::font();
            bold.setBold(true);
            QTextLayout layout(title, bold);
            layout.beginLayout();
            QTextLine line = layout.createLine();
            line.setLineWidth(10'000);
            const int needed = int(std::ceil(line.height()));
            layout.endLayout();
            QVERIFY2(
                tops[2] - tops[1] >= needed && tops[3] - tops[2] >= needed,
                qPrintable(u"lines %1 px apart, %2 needed"_s.arg(tops[2] - tops[1]).arg(needed)));
        }
        QVERIFY2(lowest < height - 2, qPrintable(u"ink at %1 of %2"_s.arg(lowest).arg(height)));
        if (title == u"Short"_s) // the excerpt follows the title: the free line is at the end
            QVERIFY2(lowest < height - 12,
                     qPrintable(u"ink at %1 of %2"_s.arg(lowest).arg(height)));
    }

    void searchMarksSitUnderTheirWords_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("left to right") << u"Tiny bears in space"_s << u"Tiny"_s << u"space"_s;
        QTest::newRow("Hebrew") << u"שלום עולם יפה מאוד"_s << u"שלום"_s << u"מאוד"_s;
        QTest::newRow("Arabic") << u"مرحبا بالعالم الجميل"_s << u"مرحبا"_s << u"الجميل"_s;
    }

    // The tint of a search match lies under the matched word, in either direction: the
    // first word of a right-to-left title at the row's right edge, the last one left of it.
    void searchMarksSitUnderTheirWords()
    {
        QFETCH(QString, title);
        QFETCH(QString, first);
        QFETCH(QString, last);
        const auto paint = [&](const QString& word) {
            Roles roles{{Qt::DisplayRole, title}};
            if (!word.isEmpty())
                roles.insert(TimelineModel::TitleHighlightsRole,
                             QVariantList{QPoint(int(title.indexOf(word)), int(word.size()))});
            return paintedRow(roles);
        };
        const QImage plain = paint(QString());
        // The middle of what marking `word` changed, in px from the left; -1 for nothing.
        const auto markOf = [&](const QString& word) {
            const auto [from, to] = differingColumns(plain, paint(word));
            return to < 0 ? -1 : (from + to) / 2;
        };
        const int firstMark = markOf(first);
        const int lastMark = markOf(last);
        QVERIFY2(firstMark >= 0 && lastMark >= 0, "nothing marked");
        if (title.isRightToLeft()) {
            QVERIFY2(firstMark > plain.width() / 2 && lastMark < firstMark,
                     qPrintable(u"first at %1 px, last at %2 px"_s.arg(firstMark).arg(lastMark)));
        } else {
            QVERIFY(firstMark < lastMark);
        }
    }

    void errorsAndMarksReadInEveryTheme_data()
    {
        QTest::addColumn<QPalette>("palette");
        QPalette light(Qt::black, QColor(0xef, 0xf0, 0xf1), Qt::white, Qt::gray, Qt::gray,
                       Qt::black, Qt::white);
        light.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
        // Breeze Dark's colours, and a theme whose highlight is darker still.
        QPalette dark(QColor(0xfc, 0xfc, 0xfc), QColor(0x31, 0x36, 0x3b), Qt::black, Qt::gray,
                      Qt::gray, QColor(0xfc, 0xfc, 0xfc), QColor(0x1b, 0x1e, 0x20));
        dark.setColor(QPalette::Button, QColor(0x5d, 0x61, 0x65));
        dark.setColor(QPalette::Highlight, QColor(0x1d, 0x54, 0x6e));
        QTest::newRow("light") << light;
        QTest::newRow("dark") << dark;
        dark.setColor(QPalette::Highlight, QColor(0x20, 0x20, 0x38));
        QTest::newRow("dark, dim highlight") << dark;
    }

    // The destructive Log Out and the unread dot stand out enough to be seen (WCAG: 4.5:1
    // for text, 3:1 for marks), in a dark theme too.
    void errorsAndMarksReadInEveryTheme()
    {
        QFETCH(QPalette, palette);
        QPushButton logOut(u"Log Out"_s);
        logOut.setPalette(palette);
        Style::makeError(&logOut);
        const QPalette& shown = logOut.palette();
        QVERIFY(Style::contrast(shown.color(QPalette::ButtonText), shown.color(QPalette::Button)) >=
                4.5);

        const QImage image = paintedRow(
            {{Qt::DisplayRole, u"Unread"_s}, {TimelineModel::UnreadRole, true}}, palette);
        double dot = 1; // the strongest mark left of the text
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < 20; ++x)
                dot = std::max(dot,
                               Style::contrast(image.pixel(x, y), palette.color(QPalette::Base)));
        QVERIFY2(dot >= 3.0, qPrintable(QString::number(dot)));
    }

    // Organising from the keys, the menus and by dragging (Orca walks the menus and dialogs).
    void sourcesAreOrganisedFromTheirMenus()
    {
        build(true);
        SourceActions* sources = content->sourceActions();
        const QList<QAction*> file = window->menuBar()->actions().first()->menu()->actions();
        QVERIFY(file.contains(sources->addFeed) && file.contains(sources->newFolder));
        QVERIFY(!sources->rename->isEnabled()); // All Unread is no feed or folder
        const SourcesModel* model = content->sidebar()->model();
        const auto button = [](QMessageBox* box, const QString& text) {
            for (QAbstractButton* each : box->buttons())
                if (each->text() == text) return each;
            return static_cast<QAbstractButton*>(nullptr);
        };

        // F2 and Delete act in the sources only, as on a file manager's files.
        QTreeView* tree = content->sidebar()->tree();
        const auto press = [&](QWidget* widget, Qt::Key key) {
            widget->setFocus();
            QTest::keyClick(widget, key);
            return sources->dialog() && sources->dialog()->isVisible();
        };
        f->reader->timeline().selectSource(Source::feed(3));
        QVERIFY(sources->unsubscribe->isEnabled() && !sources->deleteFolder->isEnabled());
        QVERIFY(!press(content->timeline()->searchField(), Qt::Key_Delete));
        QVERIFY(!press(content->timeline()->list(), Qt::Key_F2));
        QVERIFY(press(tree, Qt::Key_F2));
        auto* input = qobject_cast<QInputDialog*>(sources->dialog());
        QVERIFY(input && input->isVisible());
        QCOMPARE(input->textValue(), u"World Report"_s);
        input->setTextValue(u"Reports"_s);
        QTest::keyClick(input, Qt::Key_Return);
        QVERIFY(rowTitles(model, model->indexOf(Source::folder(2))).contains(u"Reports"_s));

        Q_EMIT sources->moveTo->aboutToShow();
        const QList<QAction*> places = sources->moveTo->actions();
        QCOMPARE(places.first()->text(), u"Top Level"_s);
        QVERIFY(std::any_of(places.cbegin(), places.cend(), [](QAction* place) {
            return place->text() == u"World"_s && place->isChecked();
        }));
        places.first()->trigger();
        QVERIFY(!rowTitles(model, model->indexOf(Source::folder(2))).contains(u"Reports"_s));
        QVERIFY(rowTitles(model).contains(u"Reports"_s));

        QVERIFY(press(tree, Qt::Key_Delete));
        auto* box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box);
        QCOMPARE(box->textFormat(),
                 Qt::PlainText); // a feed's title is no markup (Orca reads the rest)
        button(box, u"Unsubscribe"_s)->click();
        QVERIFY(!rowTitles(model).contains(u"Reports"_s));
        QTRY_VERIFY(!f->reader->session().refreshing());

        // A folder with feeds asks what becomes of them.
        f->reader->timeline().selectSource(Source::folder(1));
        QVERIFY(press(tree, Qt::Key_Delete));
        box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box && box->informativeText().startsWith(u"It holds 2 feeds."_s));
        button(box, u"Keep Feeds"_s)->click();
        QVERIFY(!rowTitles(model).contains(u"Tech & Science"_s));
        QVERIFY(rowTitles(model).contains(u"Planet Code"_s));

        // Dragged onto a folder, a feed moves there; dropped on the top level, out again.
        SourcesModel* dragged = content->sidebar()->model();
        const auto drag = [&](const Source& feed, const QModelIndex& onto) {
            std::unique_ptr<QMimeData> data(dragged->mimeData({dragged->indexOf(feed)}));
            if (!dragged->canDropMimeData(data.get(), Qt::MoveAction, -1, 0, onto)) return false;
            dragged->dropMimeData(data.get(), Qt::MoveAction, -1, 0, onto);
            return true;
        };
        QVERIFY(!drag(Source::feed(6), dragged->indexOf(Source::feed(1)))); // not onto a feed
        QVERIFY(drag(Source::feed(6), dragged->indexOf(Source::folder(2))));
        QVERIFY(rowTitles(model, model->indexOf(Source::folder(2))).contains(u"Photo Walks"_s));
        QVERIFY(drag(Source::feed(6), QModelIndex()));
        QVERIFY(!rowTitles(model, model->indexOf(Source::folder(2))).contains(u"Photo Walks"_s));
        QVERIFY(rowTitles(model).contains(u"Photo Walks"_s));
    }

    // Export writes a list the import reads; the import sums it up first and reports after.
    void subscriptionListsGoThroughFiles()
    {
        build(true);
        SourceActions* sources = content->sourceActions();
        const QList<QAction*> file = window->menuBar()->actions().first()->menu()->actions();
        QVERIFY(file.contains(sources->importList) && file.contains(sources->exportList));
        const QTemporaryDir folder;
        const QString list = folder.filePath(u"subscriptions.opml"_s);
        sources->exportTo(list);
        QFile written(list);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(Opml::read(written.readAll()).size(), f->reader->subscriptions().feeds().size());

        const QString page = folder.filePath(u"page.html"_s);
        QFile html(page);
        QVERIFY(html.open(QIODevice::WriteOnly) && html.write("<html><body/></html>") > 0);
        html.close();
        sources->importFrom(page);
        auto* box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box && box->text().startsWith(u"\u201Cpage.html\u201D is no subscription list"_s));
        box->accept();

        sources->importFrom(list);
        box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box);
        QCOMPARE(box->text(), u"The list holds 7 feeds in 2 folders. 7 of them are subscribed "
                              u"already."_s);
        QSignalSpy imported(&f->reader->organiser(), &Organiser::imported);
        box->defaultButton()->click();
        QTRY_COMPARE(imported.count(), 1);
        QTRY_VERIFY(sources->dialog() && sources->dialog() != box);
        box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box);
        QCOMPARE(box->text(), u"0 feeds added, 7 already subscribed, 0 not added."_s);
    }

    void speaksTheUsersLanguage_data()
    {
        QTest::addColumn<QStringList>("languages"); // the user's, most wanted first
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QString>("allUnread");
        QTest::addColumn<QString>("elevenUnread");
        QTest::addColumn<QString>("oneUnread");
        QTest::addColumn<QString>("twoHoursAgo");
        QTest::addColumn<bool>("mirrored");
        QTest::addColumn<QString>("notOpml"); // what a decoder found, in the language
        QTest::newRow("German") << QStringList{u"de-DE"_s}
                                << QStringList{u"&Datei"_s, u"&Artikel"_s, u"&Hilfe"_s}
                                << u"Alle ungelesenen"_s << u"11 ungelesen"_s << u"1 ungelesen"_s
                                << u"vor 2 Stunden"_s << false << u"kein OPML-Dokument"_s;
        QTest::newRow("French of Canada, then English")
            << QStringList{u"fr-CA"_s, u"en"_s}
            << QStringList{u"&Fichier"_s, u"Arti&cle"_s, u"&Aide"_s} << u"Tous les non lus"_s
            << u"11 non lus"_s << u"1 non lu"_s << u"il y a 2 heures"_s << false
            << u"pas un document OPML"_s;
        QTest::newRow("British English")
            << QStringList{u"en-GB"_s} << QStringList{u"&File"_s, u"&Article"_s, u"&Help"_s}
            << u"All Unread"_s << u"11 unread"_s << u"1 unread"_s << u"2 hours ago"_s << false
            << u"not an OPML document"_s;
        QTest::newRow("Arabic first, then German")
            << QStringList{u"ar-EG"_s, u"de"_s}
            << QStringList{u"&Datei"_s, u"&Artikel"_s, u"&Hilfe"_s} << u"Alle ungelesenen"_s
            << u"11 ungelesen"_s << u"1 ungelesen"_s << u"vor 2 Stunden"_s << true
            << u"kein OPML-Dokument"_s;
        QTest::newRow("a language Lumbra lacks")
            << QStringList{u"tlh"_s} << QStringList{u"&File"_s, u"&Article"_s, u"&Help"_s}
            << u"All Unread"_s << u"11 unread"_s << u"1 unread"_s << u"2 hours ago"_s << false
            << u"not an OPML document"_s;
    }

    void speaksTheUsersLanguage()
    {
        QFETCH(QStringList, languages);
        QFETCH(QStringList, menus);
        QFETCH(QString, allUnread);
        QFETCH(QString, elevenUnread);
        QFETCH(QString, oneUnread);
        QFETCH(QString, twoHoursAgo);
        QFETCH(bool, mirrored);
        QFETCH(QString, notOpml);
        const Translations translations(languages);
        build(true);
        QStringList titles;
        for (const QAction* shown : window->menuBar()->actions())
            titles << shown->text();
        QCOMPARE(titles, menus);
        // Each menu reached by its own letter, and each entry within a menu.
        for (QAction* bar : window->menuBar()->actions()) {
            const QStringList letters = mnemonics(bar->menu()->actions());
            QCOMPARE(QSet<QString>(letters.cbegin(), letters.cend()).size(), letters.size());
        }
        const QStringList menuLetters = mnemonics(window->menuBar()->actions());
        QCOMPARE(QSet<QString>(menuLetters.cbegin(), menuLetters.cend()).size(), menus.size());

        QCOMPARE(rowTitles(content->sidebar()->model()).first(), allUnread);
        QCOMPARE(content->timeline()->subtitleLabel()->text(), elevenUnread);
        f->reader->timeline().selectSource(Source::feed(4));
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        QCOMPARE(content->timeline()->subtitleLabel()->text(), oneUnread);
        QCOMPARE(relativeDate(1'800'000'000 - 7200, 1'800'000'000), twoHoursAgo);
        // Numbers grouped as the language groups them; Qt's own buttons in it too.
        QCOMPARE(QLocale().toString(3030), translations.locale().toString(3030));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"),
                 QCoreApplication::translate("LoginView", "Cancel"));
        try {
            Opml::read("<html/>");
            QFAIL("read a page as a list");
        } catch (const DecodingError& error) {
            QCOMPARE(error.problem(), notOpml);
        }
        // The columns read from the right in a right-to-left language.
        QCOMPARE(QGuiApplication::layoutDirection(), mirrored ? Qt::RightToLeft : Qt::LeftToRight);
        const int sidebar = content->sidebar()->mapTo(window.get(), QPoint()).x();
        const int timeline = content->timeline()->mapTo(window.get(), QPoint()).x();
        QCOMPARE(sidebar > timeline, mirrored);
    }

    // Each text padded by 40% and bracketed: any text without brackets never went through
    // the translation, and none may be cut off in the login view, the window or Settings.
    void everyTextIsTranslatedAndWhole_data()
    {
        QTest::addColumn<Qt::LayoutDirection>("direction");
        QTest::newRow("left to right") << Qt::LeftToRight;
        QTest::newRow("right to left") << Qt::RightToLeft;
    }

    void everyTextIsTranslatedAndWhole()
    {
        QFETCH(Qt::LayoutDirection, direction);
        const auto pseudo = Translations::pseudo(direction);
        const QString screenshots = qEnvironmentVariable("LUMBRA_SCREENSHOTS");
        const QString prefix = direction == Qt::RightToLeft ? u"/rtl-"_s : u"/pseudo-"_s;
        build(false);
        const QStringList data{u"Lumbra"_s,
                               u"cloud.example.org"_s,
                               u"https://example.org/feed.xml"_s,
                               f->sandbox.account().server,
                               f->sandbox.account().loginName,
                               QString::fromLatin1(LUMBRA_VERSION)};
        QVERIFY2(untranslatedOrCut(window.get(), data).isEmpty(),
                 qPrintable(untranslatedOrCut(window.get(), data).join(u'\n')));
        if (!screenshots.isEmpty())
            QVERIFY(window->grab().save(screenshots + prefix + u"login.png"_s));

        f->accounts.stored = f->sandbox.account();
        await(f->reader->start());
        QTRY_VERIFY(!f->reader->session().refreshing() && !f->reader->timeline().items().isEmpty());
        f->reader->timeline().select(f->reader->timeline().items().first().id);
        // As narrow as a window tiled to half of a 1440-pixel screen.
        window->resize(LumbraApp::minimumWindowSize);
        QTRY_COMPARE(window->height(), LumbraApp::minimumWindowSize.height());
        QVERIFY2(window->width() <= LumbraApp::minimumWindowSize.width() + 8,
                 qPrintable(QString::number(window->width())));
        QVERIFY2(untranslatedOrCut(window.get(), data).isEmpty(),
                 qPrintable(untranslatedOrCut(window.get(), data).join(u'\n')));
        for (QAction* bar : window->menuBar()->actions()) {
            QVERIFY2(bar->text().startsWith(u'['), qPrintable(bar->text()));
            for (const QAction* entry : bar->menu()->actions())
                QVERIFY2(entry->isSeparator() || entry->text().startsWith(u'['),
                         qPrintable(entry->text()));
        }
        window->resize(1280, 800);
        QTRY_COMPARE(window->size(), QSize(1280, 800));
        if (!screenshots.isEmpty())
            QVERIFY(window->grab().save(screenshots + prefix + u"reader.png"_s));

        SettingsView settings(*f->reader);
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        QVERIFY2(untranslatedOrCut(&settings, data).isEmpty(),
                 qPrintable(untranslatedOrCut(&settings, data).join(u'\n')));
        if (!screenshots.isEmpty() && direction == Qt::LeftToRight)
            QVERIFY(settings.grab().save(screenshots + prefix + u"settings.png"_s));
        AddFeedDialog adding(*f->reader);
        adding.show();
        QVERIFY(QTest::qWaitForWindowExposed(&adding));
        QVERIFY2(untranslatedOrCut(&adding, data).isEmpty(),
                 qPrintable(untranslatedOrCut(&adding, data).join(u'\n')));
    }

    void screenshots()
    {
        const QString folder = qEnvironmentVariable("LUMBRA_SCREENSHOTS");
        if (folder.isEmpty()) QSKIP("set LUMBRA_SCREENSHOTS to a folder to write screenshots");
        const bool dark = !qEnvironmentVariableIsEmpty("LUMBRA_DARK");
        if (dark) QApplication::setPalette(darkPalette());
        const QString suffix = dark ? u"-dark.png"_s : u".png"_s;
        build(false);
        content->loginView()->serverField()->setText(u"cloud.example.org"_s);
        QVERIFY(window->grab().save(folder + u"/login"_s + suffix));
        f->accounts.stored = f->sandbox.account();
        await(f->reader->start());
        QTRY_VERIFY(!f->reader->session().refreshing() && !f->reader->timeline().items().isEmpty());
        content->sidebar()->tree()->expandAll();
        f->reader->timeline().select(f->reader->timeline().items()[1].id);
        f->reader->session().setMessage(quoteAdded(u"Tardigrades survive the vacuum of space"_s));
        QTest::qWait(400);
        QVERIFY(window->grab().save(folder + u"/reader"_s + suffix));
        f->reader->session().setMessage(std::nullopt);
        f->reader->timeline().selectSource(Source::all());
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        f->reader->timeline().select(std::nullopt);
        content->timeline()->searchField()->setText(u"tiny vacuum"_s);
        QTest::qWait(400);
        QVERIFY(window->grab().save(folder + u"/search"_s + suffix));
    }
};

// Qt WebEngine wants shared GL contexts before the application exists.
static const bool sharedContexts = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

QTEST_MAIN(ViewsTest)
#include "tst_views.moc"

#include "Heartbeat.h"
#include "LumbraCore/Opml.h"
#include "MainWindowFixture.h"
#include "Views/DetailsView.h"
#include "Views/SourceActions.h"

#include <QAbstractButton>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QScrollBar>

using namespace Qt::StringLiterals;

namespace {

qint64 badge(const QAbstractItemModel* model, const QString& title)
{
    const auto found = model->match(model->index(0, 0), Qt::DisplayRole, title, 1,
                                    Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? -1 : found.first().data(SourcesModel::BadgeRole).toLongLong();
}

} // namespace

// The sources column: trays, folders and feeds, long lists, the error panel and the sources' menus,
// against a real Reader and the sandbox.
class SourcesViewTest : public ViewTest {
    Q_OBJECT

private Q_SLOTS:
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
        // Heard with its kind, its place and its count; its whole name in the tooltip.
        const auto heard = [&](const QModelIndex& row) {
            return row.data(Qt::AccessibleTextRole).toString();
        };
        const QModelIndex science = model->index(5, 0);
        QCOMPARE(heard(science), u"Tech & Science, folder, 4 unread"_s);
        QVERIFY2(heard(model->index(0, 0, science))
                     .startsWith(u"Planet Code, feed in Tech & Science, "_s),
                 qPrintable(heard(model->index(0, 0, science))));
        QCOMPARE(heard(model->index(8, 0)),
                 u"Feeds: Daily Links, feed, %1 unread"_s.arg(badge(model, u"Daily Links"_s)));
        QCOMPARE(model->index(8, 0).data(Qt::ToolTipRole).toString(), u"Daily Links"_s);

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
        QTest::addColumn<QString>("details"); // the start of them
        QTest::newRow("server error")
            << sandbox::Fault{500, 300, {}, 1} << u"Can't Reach News"_s
            << u"The server ran into an error of its own."_s << u"News API /folders: HTTP 500"_s;
        QTest::newRow("connection lost")
            << sandbox::Fault{0, 300, sandbox::Fault::Body::drop, 1} << u"Can't Reach News"_s
            << u"Can't reach 127.0.0.1: the server closed the connection"_s
            << u"Connection closed"_s;
        QTest::newRow("password refused")
            << sandbox::Fault{401, 300, {}, 1} << u"Password Refused"_s
            << u"The server refused Lumbra's app password: it was revoked or changed. Log in "
               u"again to go on reading."_s
            << u"News API /folders: HTTP 401"_s;
    }

    void failedRefreshKeepsTheSources()
    {
        QFETCH(sandbox::Fault, fault);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, details);
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
        // The cause under Details, folded until asked for.
        DetailsView* cause = sidebar->errorDetails();
        QVERIFY(cause->isVisible() && !cause->text()->isVisible());
        QVERIFY2(cause->details().startsWith(details), qPrintable(cause->details()));
        cause->toggle()->click();
        QVERIFY(cause->text()->isVisible());
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
        // A name's "&" is shown, not taken for a shortcut's mark.
        const auto science = std::find_if(places.cbegin(), places.cend(), [](QAction* place) {
            return place->text() == u"Tech && Science"_s;
        });
        QVERIFY(science != places.cend());
        QCOMPARE((*science)->iconText(), u"Tech & Science"_s); // as a screen reader is told
        places.first()->trigger();
        // Heard too: where the feed went.
        const QList<QWidget*> voices = window->findChildren<QWidget*>(u"lumbraVoice"_s);
        QVERIFY(std::any_of(voices.cbegin(), voices.cend(), [](const QWidget* voice) {
            return voice->accessibleName() == u"Reports moved to Top Level"_s;
        }));
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

        // A new folder of a name in use, in any case, offers the folder there is.
        sources->newFolder->trigger();
        input = qobject_cast<QInputDialog*>(sources->dialog());
        QVERIFY(input);
        input->setTextValue(u"world"_s);
        QTest::keyClick(input, Qt::Key_Return);
        box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box);
        QCOMPARE(box->text(), u"There is a folder \u201CWorld\u201D already."_s);
        button(box, u"Show It"_s)->click();
        QCOMPARE(f->reader->timeline().source(), std::optional(Source::folder(2)));
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
        QCOMPARE(Opml::read(written.readAll()).entries.size(),
                 f->reader->subscriptions().feeds().size());
        QCOMPARE(said(*f->reader), u"Subscriptions exported to \u201C%1\u201D"_s.arg(list));

        const QString page = folder.filePath(u"page.html"_s);
        QFile html(page);
        QVERIFY(html.open(QIODevice::WriteOnly) && html.write("<html><body/></html>") > 0);
        html.close();
        await(sources->importFrom(page));
        auto* box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box && box->text().startsWith(u"\u201Cpage.html\u201D is no subscription list"_s));
        box->accept();

        await(sources->importFrom(list));
        box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box);
        QCOMPARE(box->text(), u"The list holds 7 feeds in 3 folders. 7 of them are subscribed "
                              u"already."_s);
        QSignalSpy imported(&f->reader->organiser(), &Organiser::imported);
        box->defaultButton()->click();
        QTRY_COMPARE(imported.count(), 1);
        QTRY_VERIFY(sources->dialog() && sources->dialog() != box);
        box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box);
        QCOMPARE(box->text(), u"0 feeds added, 7 already subscribed, 0 not added."_s);
    }

    // A list nested 100,000 deep is read aside, the window answering; one may be cancelled.
    void aLargeListIsReadAsideAndCanBeCancelled()
    {
        build(true);
        SourceActions* sources = content->sourceActions();
        const QTemporaryDir folder;
        const QString path = folder.filePath(u"deep.opml"_s);
        QFile deep(path);
        QVERIFY(deep.open(QIODevice::WriteOnly));
        deep.write("<opml version=\"2.0\"><body>" +
                   QByteArray("<outline text=\"Shelf\">").repeated(100'000) +
                   "<outline text=\"Deep\" xmlUrl=\"https://deep.example/feed\"/>" +
                   QByteArray("</outline>").repeated(100'000) + "</body></opml>");
        deep.close();

        Heartbeat heartbeat;
        await(sources->importFrom(path));
        auto* box = qobject_cast<QMessageBox*>(sources->dialog());
        QVERIFY(box);
        QCOMPARE(box->text(), u"The list holds 1 feeds in 1 folders. 0 of them are subscribed "
                              u"already."_s);
        box->reject();
        QVERIFY2(heartbeat.longestBusyStretch() < 300,
                 qPrintable(u"the window's thread was busy %1 ms at a stretch"_s.arg(
                     heartbeat.longestBusyStretch())));

        QCoro::Task<> reading = sources->importFrom(path);
        const QList<QProgressDialog*> dialogs = window->findChildren<QProgressDialog*>();
        QVERIFY(!dialogs.isEmpty());
        QProgressDialog* progress = dialogs.constLast();
        QCOMPARE(progress->labelText(), u"Reading \u201Cdeep.opml\u201D\u2026"_s);
        progress->findChild<QPushButton*>()->click(); // its Cancel
        await(std::move(reading));
        QCOMPARE(sources->dialog(), box); // nothing new to confirm
    }
};

QTEST_MAIN(SourcesViewTest)
#include "tst_sources_view.moc"

#include "LumbraCore/WebAddress.h"
#include "MainWindowFixture.h"

#include <QClipboard>
#include <QSplitter>
#include <QToolBar>

using namespace Qt::StringLiterals;

// The article list: its header, overlays and progress, the article commands and the keyboard,
// against a real Reader and the sandbox.
class TimelineViewTest : public ViewTest {
    Q_OBJECT

private Q_SLOTS:
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
        QTRY_VERIFY(!timeline->markAllReadButton()->isEnabled()); // once the marking is done
        f->reader->marker().toggleRead(f->reader->timeline().items().first());
        QTRY_VERIFY(timeline->markAllReadButton()->isEnabled());

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
        // S and M act on the row the keyboard is on, and say so; it stays unopened.
        const auto row = [&] {
            return f->reader->timeline().search().shownItem(list->currentIndex().row());
        };
        QSignalSpy spoken(actions, &ItemActions::spoken);
        const bool starred = row().starred;
        QTest::keyClick(list, Qt::Key_S);
        QTRY_COMPARE(row().starred, !starred);
        QTest::keyClick(list, Qt::Key_M);
        QTRY_COMPARE(row().unread, false);
        QTest::keyClick(list, Qt::Key_M);
        QTRY_COMPARE(row().unread, true);
        QCOMPARE(spoken.size(), 3);
        QCOMPARE(spoken.at(1).at(0).toString(), u"Marked as read"_s);
        QVERIFY(!f->reader->timeline().selectedId());
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
};

QTEST_MAIN(TimelineViewTest)
#include "tst_timeline_view.moc"

#include "AtSpi.h"
#include "MainWindowFixture.h"
#include "Views/AddFeedDialog.h"
#include "Views/ArticleView.h"
#include "Views/ArticleWebView.h"
#include "Views/ContentView.h"
#include "Views/FeedIcons.h"
#include "Views/ItemActions.h"
#include "Views/ItemRowDelegate.h"
#include "Views/MainMenu.h"
#include "Views/MessageView.h"
#include "Views/ReadingView.h"
#include "Views/SidebarView.h"
#include "Views/SourceActions.h"
#include "Views/TimelineModel.h"
#include "Views/TimelineView.h"
#include "Views/Wording.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

using namespace Qt::StringLiterals;

// What a screen reader hears and a keyboard reaches in the real window, against the
// sandbox. The window's accessibility tree is read over the accessibility bus of a private
// session, as Orca reads it.
class AccessibilityTest : public QObject, MainWindowFixture {
    Q_OBJECT

    atspi::Client spi;
    atspi::Node app;

    QString readerName(const Source& source)
    {
        return Wording::sourceTitle(source, f->reader->subscriptions().name(source));
    }

    std::optional<atspi::Node> button(const QString& name)
    {
        return spi.find(app, [&](const atspi::Node& node) {
            // A checkable button is a "check box" to at-spi.
            const QString role = spi.role(node);
            return spi.name(node) == name && (role.endsWith(u"button"_s) || role == u"check box"_s);
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        ArticlePage::offerToScreenReaders();
        QVERIFY2(spi.connected(), "no accessibility bus in this session");
        // Qt joins the bus once it answered where the bus is.
        QTRY_VERIFY2(QAccessible::isActive() &&
                         !(app = atspi::Client::application()).service.isEmpty(),
                     "Qt did not join the accessibility bus");
    }

    void cleanup() { tearDown(); }

    void rowsSayTheirStateTitleFeedAndDate()
    {
        build(true);
        const auto articles = spi.findByRole(app, u"list"_s, u"Articles"_s);
        QVERIFY(articles);
        const atspi::Node list = *articles;
        const QList<atspi::Node> rows = spi.children(list);
        const QListView* list_ = content->timeline()->list();
        QCOMPARE(rows.size(), f->reader->timeline().shownCount());
        bool sawStarred = false;
        for (qsizetype row = 0; row < rows.size(); ++row) {
            const Item& item = f->reader->timeline().shownItem(row);
            const QString name = spi.name(rows[row]);
            QVERIFY2(name.startsWith(u"Unread"_s) == item.unread, qPrintable(name));
            QVERIFY2(name.contains(u"tarred"_s) == item.starred, qPrintable(name));
            QVERIFY2(name.contains(f->reader->subscriptions().feed(item.feedId)->title),
                     qPrintable(name));
            const QString date =
                list_->model()->index(int(row), 0).data(TimelineModel::DateRole).toString();
            QVERIFY2(name.endsWith(date + u'.'), qPrintable(name));
            sawStarred |= item.starred;
        }
        QVERIFY(sawStarred); // the demo account has starred unread articles

        const qint64 id = f->reader->timeline().shownItem(1).id;
        f->reader->timeline().select(id);
        QTRY_VERIFY(spi.states(rows[1]).contains(atspi::selected));
        QVERIFY(!spi.states(rows[0]).contains(atspi::selected));
        // Selecting marked it read, and that is heard too, with what it was.
        QTRY_VERIFY(spi.name(spi.children(list)[1]).startsWith(u"Unread, now read. "_s));
    }

    void sourcesSayTheirCounts()
    {
        build(true);
        const auto sources = spi.findByRole(app, u"tree"_s, u"Sources"_s);
        QVERIFY(sources);
        const atspi::Node tree = *sources;
        QStringList names;
        QStringList descriptions;
        for (const atspi::Node& row : spi.children(tree)) {
            names << spi.name(row);
            descriptions << spi.description(row);
        }
        const QLocale locale;
        QVERIFY2(
            names.contains(readerName(Source::allUnread()) + u", "_s +
                           locale.toString(f->reader->subscriptions().count(Source::allUnread())) +
                           u" unread"_s),
            qPrintable(names.join(u" | "_s)));
        QVERIFY2(names.contains(readerName(Source::starred()) + u", "_s +
                                locale.toString(f->reader->subscriptions().starredCount()) +
                                u" starred"_s),
                 qPrintable(names.join(u" | "_s)));
        for (const Folder& folder : f->reader->subscriptions().folders()) {
            const qint64 count = f->reader->subscriptions().count(Source::folder(folder.id));
            const QString spoken = folder.name + u", folder, "_s +
                                   (count ? locale.toString(count) : u"no"_s) + u" unread"_s;
            QVERIFY2(names.contains(spoken) || names.contains(u"Folders: "_s + spoken),
                     qPrintable(spoken));
        }
        QVERIFY(names.contains(u"Folders"_s));
        QCOMPARE(descriptions[names.indexOf(u"Folders"_s)], u"Heading"_s);

        // The keyboard passes over the heading: from the last tray straight to a folder.
        QTreeView* view = content->sidebar()->findChild<QTreeView*>();
        const int heading = int(rowTitles(view->model()).indexOf(u"Folders"_s));
        view->setFocus();
        view->setCurrentIndex(view->model()->index(heading - 1, 0));
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(view->currentIndex().row(), heading + 1);
        // and the row it lands on says the heading.
        const QString first = view->currentIndex().data(Qt::AccessibleTextRole).toString();
        QVERIFY2(first.startsWith(u"Folders: "_s) && names.contains(first), qPrintable(first));
        QTest::keyClick(view, Qt::Key_Up);
        QCOMPARE(view->currentIndex().row(), heading - 1);
    }

    // The reading view is read by the real Orca (orca_speaks); the page reaches it too.
    void thePageReachesScreenReaders()
    {
        build(true);
        f->reader->settings().setReadingView(false);
        // An article that opens with a plain paragraph.
        std::optional<Item> item;
        QString paragraphText;
        for (const Item& candidate : f->reader->timeline().items()) {
            const QString body = QString::fromUtf8(candidate.body.value_or(QByteArray()));
            const qsizetype end = body.indexOf(u"</p>"_s);
            if (!body.startsWith(u"<p>"_s) || end < 0) continue;
            paragraphText = body.mid(3, end - 3);
            if (paragraphText.contains(u'<') || paragraphText.contains(u'&')) continue;
            item = candidate;
            break;
        }
        QVERIFY(item);
        f->reader->timeline().select(item->id);
        QTRY_VERIFY_WITH_TIMEOUT(spi.findByRole(app, u"heading"_s, item->title.value_or(QString())),
                                 20'000);
        // The page's tree is rebuilt while it settles: look again until it holds still.
        const auto firstParagraph = [&] {
            const auto document = spi.findByRole(app, u"web document"_s);
            const auto paragraph =
                document ? spi.findByRole(*document, u"paragraph"_s) : std::nullopt;
            return paragraph ? spi.spokenText(*paragraph).trimmed() : QString();
        };
        QTRY_COMPARE(firstParagraph(), paragraphText);
    }

    void unlabelledPartsHaveNames()
    {
        build(true);
        f->reader->timeline().select(f->reader->timeline().shownItem(0).id);
        QVERIFY(spi.findByRole(app, u"tool bar"_s, u"Article"_s));
        QStringList grips;
        spi.find(app, [&](const atspi::Node& node) {
            if (spi.role(node) == u"grip"_s && !spi.states(node).isEmpty()) grips << spi.name(node);
            return false;
        });
        QVERIFY2(grips.contains(u"Resize sources and articles"_s), qPrintable(grips.join(u'|')));
        QVERIFY2(grips.contains(u"Resize articles and article"_s), qPrintable(grips.join(u'|')));
    }

    void togglesSayWhetherTheyAreOn()
    {
        build(true);
        const auto unstarred = std::find_if(f->reader->timeline().items().cbegin(),
                                            f->reader->timeline().items().cend(),
                                            [](const Item& i) { return !i.starred && i.unread; });
        QVERIFY(unstarred != f->reader->timeline().items().cend());
        const qint64 id = unstarred->id;
        f->reader->timeline().select(id);
        const auto starButton = button(u"Starred"_s);
        QVERIFY(starButton);
        const atspi::Node star = *starButton;
        QCOMPARE(spi.role(star), u"check box"_s); // a button that is on or off
        QVERIFY(!spi.states(star).contains(atspi::checked));
        QCOMPARE(spi.description(star), u"Star (S)"_s);
        actions->star->trigger();
        QTRY_VERIFY(spi.states(star).contains(atspi::checked));
        QCOMPARE(spi.name(star), u"Starred"_s); // the name stays, the state says it
        QCOMPARE(spi.description(star), u"Unstar (S)"_s);

        // "Unread" was on: selecting marked the article read.
        const auto unreadButton = button(u"Unread"_s);
        QVERIFY(unreadButton);
        const atspi::Node unread = *unreadButton;
        QVERIFY(!spi.states(unread).contains(atspi::checked));
        QCOMPARE(spi.description(unread), u"Mark as Unread (M)"_s);
    }

    void failuresAreAnnounced()
    {
        build(true);
        atspi::EventRecorder recorder;
        QVERIFY(spi.listen(u"object:state-changed:showing"_s, &recorder));
        const auto stop =
            qScopeGuard([&] { spi.stopListening(u"object:state-changed:showing"_s, &recorder); });
        // (A refused change is heard through the real Orca: orca_speaks.)
        // With a screen reader listening, a short wait is made long enough to hear it out.
        QWidget area;
        MessageView banner(f->reader->session(), &area, std::chrono::milliseconds(100));
        f->reader->session().setMessage(quoteAdded(u"Long enough"_s));
        QTest::qWait(400);
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to Long enough"_s));

        // A second message while the first still shows is announced as well.
        recorder.events.clear();
        f->reader->session().setMessage(quoteAdded(u"Second message"_s));
        QTRY_VERIFY(std::any_of(recorder.events.cbegin(), recorder.events.cend(), [&](auto& e) {
            return e.value == 1 && spi.name(e.source) == u"Quote added to Second message"_s;
        }));

        // The error over the sources too.
        recorder.events.clear();
        f->sandbox.server->setFault("*", {500, 0, {}, -1});
        f->reader->session().refresh();
        QTRY_VERIFY(errorText(*f->reader).has_value());
        QTRY_VERIFY_WITH_TIMEOUT(
            std::any_of(recorder.events.cbegin(), recorder.events.cend(),
                        [&](auto& e) {
                            return e.value == 1 && spi.roleNumber(e.source) == atspi::notificationRole &&
                                   spi.name(e.source).contains(*errorText(*f->reader));
                        }),
            10'000);
    }

    // The Add Feed dialog and the sources' commands, as a screen reader finds them.
    void subscribingIsNamedForScreenReaders()
    {
        build(true);
        SourceActions* sources = content->sourceActions();
        for (QAction* command : {sources->addFeed, sources->newFolder, sources->rename,
                                 sources->unsubscribe, sources->deleteFolder, sources->importList,
                                 sources->exportList})
            QVERIFY2(!command->text().isEmpty(), "a command without a name");
        sources->addFeed->trigger();
        auto* dialog = qobject_cast<AddFeedDialog*>(sources->dialog());
        QVERIFY(dialog);
        QTRY_VERIFY(spi.findByRole(app, u"dialog"_s, u"Add Feed"_s));
        const atspi::Node window = *spi.findByRole(app, u"dialog"_s, u"Add Feed"_s);
        QVERIFY(spi.findByRole(window, u"text"_s, u"Address"_s));
        // A combo box is named by its choice; its label is read beside it.
        QVERIFY(spi.findByRole(window, u"label"_s, u"Folder"_s));
        QVERIFY(spi.findByRole(window, u"combo box"_s, u"Top level"_s));
        QVERIFY(spi.findByRole(window, u"push button"_s, u"Add"_s));
        // Why a feed was not added is there to be read, not only seen.
        dialog->addressField()->setText(u"file:///etc/passwd"_s);
        dialog->accept();
        const QString told = u"Only web addresses (http:// or https://) can be subscribed."_s;
        QTRY_VERIFY(spi.find(window, [&](const atspi::Node& node) {
            return spi.name(node) == told || spi.spokenText(node).trimmed() == told;
        }));
        dialog->reject();
    }

    void everyControlIsReachedByTab()
    {
        build(true);
        const auto article = content->findChild<ArticleView*>();
        QList<QWidget*> visited;
        const auto walk = [&] {
            visited.clear();
            content->sidebar()->refreshButton()->setFocus(Qt::TabFocusReason);
            for (int press = 0; press < 40; ++press) {
                // The window's own focus: no window manager runs here to make it active.
                QWidget* focus = window->focusWidget();
                QVERIFY(focus);
                visited << focus;
                QTest::keyClick(focus, Qt::Key_Tab);
            }
        };
        f->reader->timeline().select(f->reader->timeline().shownItem(0).id);
        QTRY_COMPARE(article->currentWidget(), article->toolbar()->parentWidget());
        walk();
        // Every control, in the order the columns read.
        QList<QWidget*> wanted = {content->sidebar()->refreshButton(), content->sidebar()->tree(),
                                  content->timeline()->markAllReadButton(),
                                  content->timeline()->searchField(), content->timeline()->list()};
        for (QAction* action : article->toolbar()->actions()) {
            QWidget* button = article->toolbar()->widgetForAction(action);
            if (button && action->isVisible() && button->isEnabled()) wanted << button;
        }
        wanted << article->readingView(); // a screen reader runs: the article is text
        qsizetype last = -1;
        for (QWidget* w : std::as_const(wanted)) {
            const auto at = std::find_if(visited.cbegin(), visited.cend(), [w](QWidget* focus) {
                return focus == w || w->isAncestorOf(focus);
            });
            const QString what = QString::fromLatin1(w->metaObject()->className()) + u' ' +
                                 w->accessibleName() + u' ' + w->toolTip();
            QVERIFY2(at != visited.cend(), qPrintable(u"not reached: "_s + what));
            QVERIFY2(at - visited.cbegin() > last, qPrintable(u"out of order: "_s + what));
            last = at - visited.cbegin();
        }
    }

    void theFocusedRowIsDrawnApart()
    {
        build(true);
        QListView* list = content->timeline()->list();
        const QModelIndex row = list->model()->index(0, 0);
        const auto draw = [&](QStyle::State state) {
            QStyleOptionViewItem option;
            option.initFrom(list);
            option.rect = QRect(0, 0, 360, 90);
            option.state = state | QStyle::State_Enabled;
            QImage image(option.rect.size(), QImage::Format_ARGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            list->itemDelegate()->paint(&painter, option, row);
            return image;
        };
        QVERIFY(draw(QStyle::State_Selected) !=
                draw(QStyle::State_Selected | QStyle::State_HasFocus));
        QVERIFY(draw({}) != draw(QStyle::State_HasFocus));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"

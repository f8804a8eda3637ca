#include "AtSpi.h"
#include "MainWindowFixture.h"
#include "Views/ArticlePage.h"
#include "Views/ContentView.h"
#include "Views/MessageView.h"
#include "Views/TimelineView.h"

#include <QAccessible>
#include <QListView>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

// What reaches a screen reader in the real window, against the sandbox, beyond what the
// real Orca is heard saying (orca_speaks): the window's accessibility tree, read over the
// accessibility bus of a private session.
class AccessibilityTest : public QObject, MainWindowFixture {
    Q_OBJECT

    atspi::Client spi;
    atspi::Node app;

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

    // The reading view is read by the real Orca (orca_speaks); the page reaches it too.
    void thePageReachesScreenReaders()
    {
        build(true);
        f->reader->settings().setReadingView(false);
        // An article that opens with a plain paragraph.
        std::optional<Item> item;
        QString paragraphText;
        for (const Item& candidate : f->reader->timeline().items()) {
            const QString body =
                QString::fromUtf8(candidate.body ? candidate.body->html() : QByteArray());
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
        f->reader->timeline().select(f->reader->timeline().search().shownItem(0).id);
        QVERIFY(spi.findByRole(app, u"tool bar"_s, u"Article"_s));
        QStringList grips;
        spi.find(app, [&](const atspi::Node& node) {
            if (spi.role(node) == u"grip"_s && !spi.states(node).isEmpty()) grips << spi.name(node);
            return false;
        });
        QVERIFY2(grips.contains(u"Resize sources and articles"_s), qPrintable(grips.join(u'|')));
        QVERIFY2(grips.contains(u"Resize articles and article"_s), qPrintable(grips.join(u'|')));
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
        // Asking the bus about an event runs the event loop, which may record more: the
        // events are looked at in a copy.
        const auto heard = [&](const auto& matches) {
            const QList<atspi::EventRecorder::Event> events = recorder.events;
            return std::any_of(events.cbegin(), events.cend(), matches);
        };
        const auto shown = [&](const QString& text) {
            return heard(
                [&](auto& e) { return e.value == 1 && spi.name(e.source).startsWith(text); });
        };
        f->reader->session().setMessage(quoteAdded(u"Long enough"_s));
        QVERIFY(banner.wait().remainingTime() > 100);
        // Qt hears of a new listener through the bus a moment later: say it again until
        // it is heard.
        int again = 0;
        QTRY_VERIFY(shown(u"Quote added to Long enough"_s) ||
                    (f->reader->session().setMessage(quoteAdded(u"Long enough, %1"_s.arg(++again))),
                     false));

        // A second message while the first still shows is announced as well.
        recorder.events.clear();
        f->reader->session().setMessage(quoteAdded(u"Second message"_s));
        QTRY_VERIFY(shown(u"Quote added to Second message"_s));

        // The error over the sources too.
        recorder.events.clear();
        f->sandbox.server->setFault("*", {500, 0, {}, -1});
        f->reader->session().refresh();
        QTRY_VERIFY(errorText(*f->reader).has_value());
        // Said from a status bar: Orca then says it without the word "notification".
        QTRY_VERIFY_WITH_TIMEOUT(heard([&](auto& e) {
                                     return e.value == 1 &&
                                            spi.roleNumber(e.source) == atspi::notificationRole &&
                                            spi.name(e.source).contains(*errorText(*f->reader)) &&
                                            spi.role(spi.parent(e.source)) == u"status bar"_s;
                                 }),
                                 10'000);
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

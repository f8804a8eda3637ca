#include "App/LumbraApp.h"
#include "Await.h"
#include "DarkPalette.h"
#include "Heartbeat.h"
#include "PageScript.h"
#include "ReaderFixture.h"
#include "Views/ArticleView.h"
#include "Views/ItemActions.h"
#include "Views/QuoteWebView.h"
#include "Views/ReadingView.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QMenu>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBlock>
#include <QTextFrame>
#include <QTextList>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineScript>

using namespace Qt::StringLiterals;

namespace {

// The centre of an element of the page, in the view's coordinates.
QPoint centreOf(QWebEnginePage* page, const QString& id);

QPoint centreOf(QWebEnginePage* page, const QString& id)
{
    const QVariantList box = runScript(page, u"var b = document.getElementById('"_s + id +
                                                 u"').getBoundingClientRect();"
                                                 u"[b.left + b.width / 2, b.top + b.height / 2]"_s)
                                 .toList();
    return QPoint(int(box.value(0).toDouble()), int(box.value(1).toDouble()));
}

// Shows `html` in the reading view as the article view does: loaded as a page, then read off
// it, every part shown.
void showAsText(ReadingView* reading, const QString& html, qint64 item, const QUrl& base)
{
    QuoteWebView page([](const QUrl&) {});
    QSignalSpy shown(&page, &QuoteWebView::shown);
    page.show(html, item);
    QVERIFY(shown.wait(20000));
    const std::optional<QStringList> parts = await(page.readableText());
    QVERIFY(parts);
    reading->show(*parts, item, base);
    QTRY_VERIFY(!reading->isAppending());
}

// Selects the paragraph with id "text", as the user's mouse would.
void selectPassage(QWebEnginePage* page)
{
    runScript(page, u"var r = document.createRange();"
                    u"r.selectNodeContents(document.getElementById('text'));"
                    u"getSelection().removeAllRanges(); getSelection().addRange(r); true"_s);
}

// A real click, as the user's mouse makes it.
void click(QWidget* view, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget* target = view->focusProxy() ? view->focusProxy() : view;
    QTest::mouseMove(target, at);
    QTest::mousePress(target, button, {}, at);
    QTest::mouseRelease(target, button, {}, at, 20);
}

const QByteArray hostileBody =
    "<p id=\"text\">Readable passage here.</p>"
    "<script>document.title = 'inline ran';</script>"
    "<script src=\"data:text/javascript,document.title='source ran'\"></script>"
    "<img src=\"nothing.png\" onerror=\"document.title = 'handler ran'\">"
    "<p><a id=\"web\" href=\"https://example.org/next\">next</a>"
    " <a id=\"blank\" href=\"https://example.org/blank\" target=\"_blank\">blank</a>"
    " <a id=\"file\" href=\"file:///etc/passwd\">file</a>"
    " <a id=\"js\" href=\"javascript:alert(1)\">js</a></p>";

// A web server elsewhere: records the head of every request that reaches it and answers
// with a tiny image or page.
class Listener final : public QObject {
public:
    Listener()
    {
        if (!m_server.listen(QHostAddress::LocalHost)) qFatal("cannot listen");
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_partial[socket] += socket->readAll();
                    if (!m_partial[socket].contains("\r\n\r\n")) return;
                    requests << m_partial.take(socket);
                    static const QByteArray gif = QByteArray::fromBase64(
                        "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7");
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\nContent-Length: " +
                                  QByteArray::number(gif.size()) + "\r\nConnection: close\r\n\r\n" +
                                  gif);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString address() const { return u"http://127.0.0.1:%1"_s.arg(m_server.serverPort()); }
    QList<QByteArray> requests;

private:
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_partial;
};

// Remote content of every kind a page can ask for; {L} is the listener's address.
const QByteArray remoteBody =
    "<p id=\"text\">Remote things.</p>"
    "<img src=\"{L}/pixel.gif\">"
    "<img srcset=\"{L}/srcset.gif 2x\">"
    "<div style=\"background: url({L}/background.gif); width: 10px; height: 10px\"></div>"
    "<style>@import url({L}/import.css); @font-face { font-family: f; src: url({L}/font.woff); }"
    " p { font-family: f; }</style>"
    "<link rel=\"preload\" href=\"{L}/preload.gif\" as=\"image\">"
    "<video poster=\"{L}/poster.gif\"></video>"
    "<iframe src=\"{L}/frame.html\"></iframe>";

} // namespace

// The article pane with real Qt WebEngine on the offscreen platform.
class ArticleTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;
    std::unique_ptr<ItemActions> actions;
    std::unique_ptr<ArticleView> view;
    std::unique_ptr<Listener> elsewhere;

    void addItem(qint64 id, const QString& title, const QByteArray& body,
                 std::string url = "https://example.org/article")
    {
        f->sandbox.server->store().addItem(
            {.id = id,
             .feedId = 1,
             .guid = "item" + std::to_string(id),
             .url = std::move(url),
             .title = title.toStdString(),
             .pubDate = 1'700'000'000,
             .body = QByteArray(body).replace("{L}", elsewhere->address().toUtf8()).toStdString()},
            0);
    }

    // The article's element with that id is still there: the pane shows the article.
    bool showsArticle(const QString& id = u"text"_s)
    {
        return runScript(view->webView()->page(),
                         u"document.getElementById('"_s + id + u"') !== null"_s)
                   .toBool() &&
               view->webView()->page()->url().scheme() == u"lumbra-article"_s;
    }

    void showItem(qint64 id)
    {
        f->reader->timeline().select(id);
        QuoteWebView* web = view->webView();
        QSignalSpy loaded(web, &QWebEngineView::loadFinished);
        QVERIFY(loaded.wait(20000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        // LUMBRA_DARK=1 runs the whole suite in a dark desktop.
        if (!qEnvironmentVariableIsEmpty("LUMBRA_DARK")) QApplication::setPalette(darkPalette());
        ArticlePage::followAppearance(QApplication::palette());
        LumbraApp::useIconTheme();
    }

    void init()
    {
        sandbox::Options options;
        f = std::make_unique<ReaderFixture>(options);
        f->sandbox.server->store().addItem({.id = 500,
                                            .feedId = 1,
                                            .guid = "hostile",
                                            .url = "https://example.org/hostile",
                                            .title = "Hostile page",
                                            .pubDate = 1'700'000'000,
                                            .body = hostileBody.toStdString()},
                                           0);
        elsewhere = std::make_unique<Listener>();
        addItem(510, u"Refreshed"_s,
                "<meta http-equiv=\"refresh\" content=\"0; url={L}/session-expired\">"
                "<p id=\"text\">Article.</p>");
        addItem(511, u"Refreshed to a file"_s,
                "<meta http-equiv=\"refresh\" content=\"0; url=file:///etc/passwd\">"
                "<p id=\"text\">Article.</p>");
        addItem(518, u"Refreshed in place"_s,
                "<meta http-equiv=\"refresh\" content=\"0\"><p id=\"text\">Article.</p>");
        addItem(512, u"Form"_s,
                "<p id=\"text\">Article.</p><form method=\"post\" action=\"{L}/steal\">"
                "<input name=\"password\" value=\"secret\"><button id=\"go\" style=\"width:"
                "200px;height:60px\">Go</button></form>");
        addItem(513, u"Framed"_s,
                "<p id=\"text\">Article.</p><iframe src=\"{L}/frame.html\"></iframe>");
        addItem(514, u"Remote"_s, remoteBody);
        addItem(515, u"\u0645\u0631\u062D\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645"_s,
                "<p id=\"text\">\xd9\x87\xd8\xb0\xd8\xa7 \xd9\x86\xd8\xb5 "
                "\xd8\xb9\xd8\xb1\xd8\xa8\xd9\x8a "
                "(\xd9\x85\xd8\xb9 \xd8\xa3\xd9\x82\xd9\x88\xd8\xa7\xd8\xb3) 2026.</p>");
        QByteArray photo(5'000'000, 'A');
        addItem(516, u"Big photo"_s,
                "<p id=\"text\">Passage before the photo.</p><img src=\"data:image/png;base64," +
                    photo + "\">");
        addItem(517, u"Hidden text"_s,
                "<p id=\"text\">Seen one."
                "<span id=\"away\" style=\"position:absolute;left:-9999px;white-space:pre\">"
                "\n```dataviewjs\nhidden 1\n```\n</span>"
                "<span style=\"display:none\">hidden 2</span>"
                "<span style=\"visibility:hidden\">hidden 3</span>"
                "<span style=\"font-size:0\">hidden 4</span>"
                "<span style=\"opacity:0\">hidden 5</span>"
                "<span style=\"color:transparent\">hidden 6</span>"
                "<span style=\"position:absolute;clip:rect(0 0 0 0)\">hidden 7</span>"
                "<span style=\"display:inline-block;width:0;height:0;overflow:hidden\">hidden "
                "8</span>"
                "<span style=\"display:none !important\" id=\"kept\">hidden 9</span>"
                "<template>hidden 10</template><span hidden>hidden 11</span>"
                "<span style=\"display:inline-block;transform:scale(0)\">hidden 12</span>"
                "<span style=\"clip-path:inset(50%)\">hidden 13</span>"
                " Seen <b>two</b>.</p>");
        addItem(519, u"Nested"_s,
                QByteArray("<table><tr><td>").repeated(200) + "deep cell" +
                    QByteArray("</td></tr></table>").repeated(200) +
                    QByteArray("<ul><li>").repeated(5000) + "deep item" +
                    QByteArray("</li></ul>").repeated(5000));
        actions = std::make_unique<ItemActions>(*f->reader);
        view = std::make_unique<ArticleView>(*f->reader, *actions);
        view->resize(800, 600);
        view->show();
        QVERIFY(f->startLoggedIn());
    }
    void cleanup()
    {
        f->reader->settings().setRemoteImages(true);
        f->reader->settings().setReadingView(false);
        view.reset();
        elsewhere.reset();
        actions.reset();
        f.reset();
    }

    void placeholderWithoutSelection()
    {
        QCOMPARE(view->currentIndex(), 0);
        showItem(500);
        QCOMPARE(view->currentIndex(), 1);
        QCOMPARE(actions->star->toolTip(), u"Star (S)"_s);
        QCOMPARE(actions->markRead->text(), u"Mark as Unread"_s); // selecting read it
        QVERIFY(view->shareButton()->isVisibleTo(view.get()));
        f->reader->timeline().select(std::nullopt);
        QCOMPARE(view->currentIndex(), 0);
    }

    void scriptsNeverRun()
    {
        showItem(500);
        QWebEnginePage* page = view->webView()->page();
        QTest::qWait(300);
        QVERIFY2(!page->title().contains(u"ran"_s), qPrintable(page->title()));
        QCOMPARE(runScript(page, u"document.getElementById('text').textContent"_s).toString(),
                 u"Readable passage here."_s);
    }

    void linksLeaveThePane_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("opened");
        QTest::newRow("web") << u"web"_s << u"https://example.org/next"_s;
        QTest::newRow("target blank") << u"blank"_s << u"https://example.org/blank"_s;
        QTest::newRow("file") << u"file"_s << QString();
        QTest::newRow("javascript") << u"js"_s << QString();
    }

    void linksLeaveThePane()
    {
        QFETCH(QString, link);
        QFETCH(QString, opened);
        showItem(500);
        const QString html = view->webView()->loaded();
        click(view->webView(), centreOf(view->webView()->page(), link));
        if (opened.isEmpty()) {
            // Clicks are handled in turn: once a web link clicked next has opened, the
            // first one had its chance.
            click(view->webView(), centreOf(view->webView()->page(), u"web"_s));
            opened = u"https://example.org/next"_s;
        }
        QTRY_COMPARE(f->browser.opened, QList<QUrl>{QUrl(opened)});
        QCOMPARE(runScript(view->webView()->page(), u"document.getElementById('text') !== null"_s)
                     .toBool(),
                 true);
        QCOMPARE(view->webView()->loaded(), html);
    }

    void reloadsOnlyForANewDocument()
    {
        showItem(500);
        QSignalSpy starts(view->webView(), &QWebEngineView::loadStarted);
        f->reader->marker().toggleStarred(*f->reader->timeline().selectedItem());
        f->reader->marker().toggleRead(*f->reader->timeline().selectedItem());
        QTest::qWait(200);
        QCOMPARE(starts.count(), 0);
        QCOMPARE(actions->star->text(), u"Unstar"_s);
        f->reader->timeline().select(1);
        QTRY_COMPARE(starts.count(), 1);
    }

    void contextMenuStartsWithTheQuote()
    {
        showItem(500);
        QPointer<QMenu> menu;
        connect(view->webView(), &QuoteWebView::contextMenuShown, this,
                [&](QMenu* shown) { menu = shown; });
        click(view->webView(), centreOf(view->webView()->page(), u"text"_s), Qt::RightButton);
        QTRY_VERIFY_WITH_TIMEOUT(menu, 5000);
        const QList<QAction*> actions = menu->actions();
        QVERIFY(actions.size() > 2);                    // the standard entries follow
        QCOMPARE(actions[0], this->actions->saveQuote); // the one article command
        QVERIFY(actions[1]->isSeparator());
        menu->close();
    }

    // Text the page hides by style is not part of the quote, and the page is left as it was.
    void aQuoteHoldsOnlyWhatWasShown()
    {
        QTemporaryDir vault;
        f->reader->quotes().storeVault(vault.path());
        showItem(517);
        selectPassage(view->webView()->page());
        await(f->reader->quotes().saveQuote());
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to Hidden text"_s));
        QFile note(vault.filePath(u"lumbra/Hidden text.md"_s));
        QVERIFY(note.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(note.readAll());
        QVERIFY2(text.contains(u"\n> Seen one. Seen two.\n> [\u2197]"_s), qPrintable(text));
        QVERIFY2(!text.contains(u"hidden"_s), qPrintable(text));
        QCOMPARE(runScript(view->webView()->page(),
                           u"[document.getElementById('away').style.display,"
                           u" document.getElementById('kept').style.getPropertyValue('display'),"
                           u" document.getElementById('kept').style.getPropertyPriority('display'),"
                           u" getSelection().toString().includes('hidden 1')]"_s)
                     .toList(),
                 (QVariantList{u""_s, u"none"_s, u"important"_s, true}));

        // A screen reader's user hears what the sighted one sees.
        f->reader->settings().setReadingView(true);
        QTRY_COMPARE_WITH_TIMEOUT(view->readingView()->shownItem(), std::optional<qint64>(517),
                                  20000);
        const QString read = view->readingView()->toPlainText();
        QVERIFY2(read.contains(u"Seen one. Seen two."_s) && !read.contains(u"hidden"_s),
                 qPrintable(read));
    }

    // Qt lays out nested tables in time exponential in their depth: the text view gets only
    // a few levels, and the window keeps answering.
    void deepNestingReadsWithoutHoldingTheWindow()
    {
        f->reader->settings().setReadingView(true);
        Heartbeat heartbeat;
        f->reader->timeline().select(519);
        QTRY_VERIFY_WITH_TIMEOUT(
            view->readingView()->shownItem() == 519 && !view->readingView()->isAppending(), 30000);
        const QString read = view->readingView()->toPlainText();
        QVERIFY(read.contains(u"deep cell"_s) && read.contains(u"deep item"_s));
        std::pair<int, int> deepest; // tables, lists
        for (QTextBlock block = view->readingView()->document()->begin(); block.isValid();
             block = block.next()) {
            int tables = 0;
            for (auto* frame = QTextCursor(block).currentFrame(); frame->parentFrame(); ++tables)
                frame = frame->parentFrame();
            const int lists = block.textList() ? block.textList()->format().indent() : 0;
            deepest = {std::max(deepest.first, tables), std::max(deepest.second, lists)};
        }
        QCOMPARE(deepest, std::pair(2, 4));
        QVERIFY2(heartbeat.longestBusyStretch() < 1000,
                 qPrintable(u"the window's thread was busy %1 ms at a stretch"_s.arg(
                     heartbeat.longestBusyStretch())));
    }

    void theArticleNeverLeavesThePane_data()
    {
        QTest::addColumn<qint64>("item");
        QTest::addColumn<QString>("click"); // an element to click, if any
        QTest::newRow("meta refresh") << qint64(510) << QString();
        QTest::newRow("meta refresh to a file") << qint64(511) << QString();
        QTest::newRow("meta refresh of itself") << qint64(518) << QString();
        QTest::newRow("form post") << qint64(512) << u"go"_s;
        QTest::newRow("sub-frame") << qint64(513) << QString();
    }

    void theArticleNeverLeavesThePane()
    {
        QFETCH(qint64, item);
        QFETCH(QString, click);
        showItem(item);
        QSignalSpy loads(view->webView(), &QWebEngineView::loadFinished);
        if (!click.isEmpty()) ::click(view->webView(), centreOf(view->webView()->page(), click));
        QTest::qWait(1500);
        QVERIFY(showsArticle());
        // The document loads once: refused navigations end unfinished.
        QVERIFY(std::none_of(loads.cbegin(), loads.cend(),
                             [](const QList<QVariant>& load) { return load.at(0).toBool(); }));
        QCOMPARE(elsewhere->requests, QList<QByteArray>{});
        QVERIFY(f->browser.opened.isEmpty());
        QCOMPARE(view->webView()->shownItem(), std::optional(item));
    }

    void historyMovesStayOnTheArticle()
    {
        showItem(500);
        showItem(5);
        view->webView()->back();
        QTest::qWait(1000);
        QCOMPARE(runScript(view->webView()->page(), u"document.querySelector('h1').textContent"_s)
                     .toString(),
                 u"Tardigrades survive the vacuum of space"_s);
        QCOMPARE(view->webView()->shownItem(), std::optional(qint64(5)));
        QCOMPARE(view->webView()->page()->url().scheme(), u"lumbra-article"_s);
    }

    void framesShowAsLinks()
    {
        showItem(513);
        QTRY_COMPARE(
            runScript(view->webView()->page(), u"document.querySelectorAll('iframe').length"_s)
                .toInt(),
            0);
        QCOMPARE(runScript(view->webView()->page(), u"document.querySelector('a.embedded').href"_s)
                     .toString(),
                 elsewhere->address() + u"/frame.html"_s);
    }

    void remoteContentLoadsWithoutReferrer()
    {
        showItem(514);
        QTRY_VERIFY_WITH_TIMEOUT(elsewhere->requests.size() >= 5, 10000);
        QTest::qWait(500);
        for (const QByteArray& request : std::as_const(elsewhere->requests)) {
            QVERIFY2(!request.toLower().contains("\r\nreferer:"), request.constData());
            QVERIFY2(!request.contains("/frame.html"), request.constData());
        }
    }

    void remoteContentOffLoadsNothing()
    {
        f->reader->settings().setRemoteImages(false);
        showItem(514);
        QTest::qWait(1500);
        QCOMPARE(elsewhere->requests, QList<QByteArray>{});
        QVERIFY(view->loadImagesAction()->isVisible());
        // One click loads this article's images.
        view->loadImagesAction()->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!elsewhere->requests.isEmpty(), 10000);
        QVERIFY(!view->loadImagesAction()->isVisible());
    }

    void rightToLeftTextReadsRightToLeft()
    {
        const auto direction = [this](const QString& selector) {
            return runScript(view->webView()->page(),
                             u"getComputedStyle(document.querySelector('"_s + selector +
                                 u"')).direction"_s)
                .toString();
        };
        showItem(515);
        QCOMPARE(direction(u"h1"_s), u"rtl"_s);
        QCOMPARE(direction(u".body"_s), u"rtl"_s);
        showItem(500);
        QCOMPARE(direction(u"h1"_s), u"ltr"_s);
        QCOMPARE(direction(u".body"_s), u"ltr"_s);
    }

    void anArticleOfAnySizeShowsAndQuotes()
    {
        QTemporaryDir vault;
        f->reader->quotes().storeVault(vault.path());
        showItem(516);
        QCOMPARE(view->webView()->shownItem(), std::optional(qint64(516)));
        QVERIFY(showsArticle());
        selectPassage(view->webView()->page());
        await(f->reader->quotes().saveQuote());
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to Big photo"_s));
        QFile note(vault.filePath(u"lumbra/Big photo.md"_s));
        QVERIFY(note.open(QIODevice::ReadOnly));
        QVERIFY(note.readAll().contains(
            "\n> Passage before the photo.\n> [\xE2\x86\x97](tavo://lumbra/item/516"));
    }

    void aQuoteNeedsTheSelectedArticleShown()
    {
        QTemporaryDir vault;
        f->reader->quotes().storeVault(vault.path());
        showItem(500);
        selectPassage(view->webView()->page());
        // The next article's load fails (stopped here); the old page's selection is not its.
        QSignalSpy failed(view->webView(), &QuoteWebView::loadFailed);
        QSignalSpy started(view->webView(), &QWebEngineView::loadStarted);
        f->reader->timeline().select(516);
        QVERIFY(started.wait(10000));
        view->webView()->page()->triggerAction(QWebEnginePage::Stop);
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(view->currentWidget() != view->webView()->parentWidget());
        await(f->reader->quotes().saveQuote());
        QCOMPARE(said(*f->reader),
                 std::optional(u"The selected article isn't shown yet, so nothing was saved."_s));
        QVERIFY(!QDir(vault.filePath(u"lumbra"_s)).exists());
        // Selected again, it loads.
        f->reader->timeline().select(500);
        f->reader->timeline().select(516);
        QTRY_COMPARE_WITH_TIMEOUT(view->webView()->shownItem(), std::optional(qint64(516)), 20000);
    }

    void pageFollowsTheAppearance()
    {
        showItem(5);
        const bool dark = !qEnvironmentVariableIsEmpty("LUMBRA_DARK");
        QCOMPARE(runScript(view->webView()->page(),
                           u"window.matchMedia('(prefers-color-scheme: dark)').matches"_s)
                     .toBool(),
                 dark);
    }

    void thePageFollowsAThemeChange()
    {
        showItem(5);
        const QPalette original = QApplication::palette();
        const auto scheme = [this] {
            return runScript(view->webView()->page(),
                             u"getComputedStyle(document.documentElement).colorScheme"_s)
                .toString();
        };
        for (const bool dark : {true, false}) {
            QPalette palette = original;
            palette.setColor(QPalette::Window, dark ? QColor(0x24, 0x24, 0x26) : Qt::white);
            QApplication::setPalette(palette);
            QTRY_COMPARE_WITH_TIMEOUT(scheme(), dark ? u"dark"_s : u"light"_s, 10000);
        }
        QApplication::setPalette(original);
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
        const QString marked = u"<img alt=\"<a href='https://x.example/'>cat</a>\">"_s;
        showAsText(view, marked, 8, QUrl());
        QCOMPARE(view->toPlainText().trimmed(), u"<a href='https://x.example/'>cat</a>"_s);
        showAsText(
            view,
            u"<h1>Title</h1><p>One two. <a href=\"%1\">link</a></p>"
            u"<img src=\"file:///etc/hostname\" alt=\"a cat\"><p>Three four.</p>"_s.arg(href),
            7, QUrl(u"https://site.example/a/b"_s));
        QCOMPARE(view->shownItem(), std::optional<qint64>(7));
        QVERIFY(view->toPlainText().contains(u"a cat"_s)); // what the image stands for
        start->setFocus();
        QTest::keyClick(start, Qt::Key_Tab);
        QVERIFY(view->hasFocus());
        QTest::keyClick(view, Qt::Key_Tab); // to the link: the caret at its start
        QVERIFY(!view->textCursor().hasSelection());
        QCOMPARE(view->toPlainText().indexOf(u"link"_s), view->textCursor().position());
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(asked, opened.isEmpty() ? QStringList() : QStringList{opened});
        // The only link reached, Tab goes on to the next control and back to the link.
        QTest::keyClick(view, Qt::Key_Tab);
        QVERIFY(start->hasFocus());
        view->moveCursor(QTextCursor::End);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Backtab);
        QCOMPARE(view->toPlainText().indexOf(u"link"_s), view->textCursor().position());

        view->moveCursor(QTextCursor::Start);
        QTest::keyClick(view, Qt::Key_P); // the first paragraph
        for (int i = 0; i < 8; ++i)
            QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(*await(view->selection()->selectedText()), u"One two."_s);
        QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(*await(view->selection()->selectedText()),
                 u"One two. link\n\na cat \n\nThree four."_s);
        // The next article's link where this one's was is reached, not passed over.
        QSignalSpy reached(view, &ReadingView::reached);
        for (const QString& name : {u"first"_s, u"second"_s}) {
            showAsText(view, u"<p><a href=\"https://a.example/\">%1</a> words</p>"_s.arg(name),
                       name.size(), QUrl());
            view->setFocus();
            QTest::keyClick(view, Qt::Key_Tab);
            QCOMPARE(reached.size(), 1);
            QCOMPARE(reached.takeFirst().value(0).toString(), name + u", link"_s);
        }
    }
};

// Qt WebEngine wants shared GL contexts before the application exists.
static const bool sharedContexts = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

QTEST_MAIN(ArticleTest)
#include "tst_article.moc"

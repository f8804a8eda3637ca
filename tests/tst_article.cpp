#include "App/LumbraApp.h"
#include "Await.h"
#include "ReaderFixture.h"
#include "Views/ArticleView.h"
#include "Views/ArticleWebView.h"
#include "Views/ItemActions.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPalette>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWebEngineScript>

using namespace Qt::StringLiterals;

namespace {

// The centre of an element of the page, in the view's coordinates.
QPoint centreOf(QWebEnginePage* page, const QString& id);

// Runs a script in the application's world (page scripts are off) and waits for it.
QVariant runScript(QWebEnginePage* page, const QString& script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000)) qFatal("script did not answer");
    return result;
}

QPoint centreOf(QWebEnginePage* page, const QString& id)
{
    const QVariantList box = runScript(page, u"var b = document.getElementById('"_s + id +
                                                 u"').getBoundingClientRect();"
                                                 u"[b.left + b.width / 2, b.top + b.height / 2]"_s)
                                 .toList();
    return QPoint(int(box.value(0).toDouble()), int(box.value(1).toDouble()));
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

} // namespace

// The article pane with real Qt WebEngine on the offscreen platform.
class ArticleTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;
    std::unique_ptr<ItemActions> actions;
    std::unique_ptr<ArticleView> view;

    void showItem(qint64 id)
    {
        f->reader->select(id);
        QuoteWebView* web = view->webView();
        QSignalSpy loaded(web, &QWebEngineView::loadFinished);
        QVERIFY(loaded.wait(20000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        // LUMBRA_DARK=1 runs the whole suite in a dark desktop.
        if (!qEnvironmentVariableIsEmpty("LUMBRA_DARK")) {
            QPalette dark;
            dark.setColor(QPalette::Window, QColor(0x24, 0x24, 0x26));
            dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
            dark.setColor(QPalette::Base, QColor(0x1c, 0x1c, 0x1e));
            dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
            dark.setColor(QPalette::Button, QColor(0x30, 0x30, 0x32));
            dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
            QApplication::setPalette(dark);
        }
        ArticlePage::followAppearance(QApplication::palette());
        LumbraApp::useIconTheme();
    }

    void init()
    {
        sandbox::Options options;
        f = std::make_unique<ReaderFixture>(options);
        sandbox::ItemRecord hostile;
        hostile.id = 500;
        hostile.feedId = 1;
        hostile.guid = "hostile";
        hostile.url = "https://example.org/hostile";
        hostile.title = "Hostile page";
        hostile.body = std::string(hostileBody.constData());
        hostile.pubDate = 1'700'000'000;
        f->sandbox.server->store().addItem(hostile, 0);
        actions = std::make_unique<ItemActions>(*f->reader);
        view = std::make_unique<ArticleView>(*f->reader, *actions);
        view->resize(800, 600);
        view->show();
        QVERIFY(f->startLoggedIn());
    }
    void cleanup()
    {
        view.reset();
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
        f->reader->select(std::nullopt);
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
        QTest::qWait(700);
        if (opened.isEmpty())
            QVERIFY(f->browser.opened.isEmpty());
        else
            QCOMPARE(f->browser.opened, QList<QUrl>{QUrl(opened)});
        QCOMPARE(runScript(view->webView()->page(), u"document.getElementById('text') !== null"_s)
                     .toBool(),
                 true);
        QCOMPARE(view->webView()->loaded(), html);
    }

    void reloadsOnlyForANewDocument()
    {
        showItem(500);
        QSignalSpy starts(view->webView(), &QWebEngineView::loadStarted);
        f->reader->toggleStarred(*f->reader->selectedItem());
        f->reader->toggleRead(*f->reader->selectedItem());
        QTest::qWait(200);
        QCOMPARE(starts.count(), 0);
        QCOMPARE(actions->star->text(), u"Unstar"_s);
        f->reader->select(1);
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
        QVERIFY(actions.size() > 2); // the standard entries follow
        QCOMPARE(actions[0]->text(), u"Save Quote to Obsidian"_s);
        QVERIFY(actions[1]->isSeparator());
        menu->close();
    }

    void selectedTextBecomesAQuote()
    {
        QTemporaryDir vault;
        f->reader->storeVault(vault.path());
        showItem(500);
        runScript(view->webView()->page(),
                  u"var r = document.createRange();"
                  u"r.selectNodeContents(document.getElementById('text'));"
                  u"getSelection().removeAllRanges(); getSelection().addRange(r); true"_s);
        std::unique_ptr<QMenu> menu(view->webView()->quoteContextMenu());
        menu->actions().first()->trigger(); // as the context menu's item does
        QTRY_VERIFY(f->reader->message());
        QCOMPARE(*f->reader->message(), u"Quote added to Hostile page"_s);
        QFile note(vault.filePath(u"lumbra/Hostile page.md"_s));
        QVERIFY(note.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(note.readAll());
        QVERIFY(text.contains(u"\n> Readable passage here.\n> [\u2197](tavo://lumbra/item/500"_s));
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

    void screenshots()
    {
        const QString folder = qEnvironmentVariable("LUMBRA_SCREENSHOTS");
        if (folder.isEmpty()) QSKIP("set LUMBRA_SCREENSHOTS to a folder to write screenshots");
        showItem(5);
        QTest::qWait(500);
        const bool dark = !qEnvironmentVariableIsEmpty("LUMBRA_DARK");
        QVERIFY(
            view->grab().save(folder + (dark ? u"/article-dark.png"_s : u"/article-light.png"_s)));
    }
};

// Qt WebEngine wants shared GL contexts before the application exists.
static const bool sharedContexts = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

QTEST_MAIN(ArticleTest)
#include "tst_article.moc"

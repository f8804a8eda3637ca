#include "App/LumbraApp.h"
#include "App/Translations.h"
#include "Await.h"
#include "LumbraCore/Highlights.h"
#include "PageScript.h"
#include "ReaderFixture.h"
#include "Views/ArticleView.h"
#include "Views/ItemActions.h"
#include "Views/QuoteMarks.h"
#include "Views/QuoteWebView.h"
#include "Views/ReadingView.h"

#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// What each found quote marks in `text`, white space made single spaces; "" for none.
QStringList marked(const QString& text, const QList<std::optional<Highlights::Span>>& spans)
{
    QStringList out;
    for (const auto& span : spans)
        out << (span ? text.mid(span->start, span->length).simplified() : QString());
    return out;
}

QStringList simplified(QStringList texts)
{
    for (QString& text : texts)
        text = QString(text).replace(QChar::ParagraphSeparator, u' ').simplified();
    texts.sort();
    return texts;
}

} // namespace

class HighlightsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;
    std::unique_ptr<ItemActions> actions;
    std::unique_ptr<ArticleView> view;

    void addItem(qint64 id, const char* title, const char* body)
    {
        f->sandbox.server->store().addItem({.id = id,
                                            .feedId = 1,
                                            .guid = "item" + std::to_string(id),
                                            .url = "https://example.org/" + std::to_string(id),
                                            .title = title,
                                            .pubDate = 1'700'000'000 + id,
                                            .body = body},
                                           0);
    }

    // Shows item `id` in the page and waits until its marks are drawn.
    void showItem(qint64 id)
    {
        QSignalSpy counted(view->quoteMarks(), &QuoteMarks::countChanged);
        f->reader->timeline().select(id);
        QTRY_VERIFY_WITH_TIMEOUT(view->webView()->shownItem() == id && counted.size() >= 2, 20000);
    }

    // The texts the page marks, and those the reading view marks, in the text's order.
    QStringList pageMarks()
    {
        return simplified(runScript(view->webView()->page(),
                                    u"(window.lumbraMarks ? window.lumbraMarks.marks : []).map("
                                    u"(pieces) => pieces.map(([n, a, b]) => n.data.slice(a, b))"
                                    u".join(' '))"_s)
                              .toStringList());
    }
    QStringList textMarks()
    {
        QStringList texts;
        for (const auto& selection : view->readingView()->extraSelections())
            texts << selection.cursor.selectedText();
        return simplified(texts);
    }

    // Selects from the start of element `from`, `skip` characters in, to the end of `to`, and
    // saves that as a quote.
    void quote(const char* from, int skip, const char* to)
    {
        select(from, skip, to);
        await(f->reader->quotes().saveQuote());
    }
    void select(const char* from, int skip, const char* to)
    {
        runScript(view->webView()->page(),
                  u"var r = document.createRange();"
                  u"r.setStart(document.getElementById('%1').firstChild, %2);"
                  u"r.setEndAfter(document.getElementById('%3').lastChild);"
                  u"getSelection().removeAllRanges(); getSelection().addRange(r); true"_s.arg(
                      QLatin1StringView(from), QString::number(skip), QLatin1StringView(to)));
    }

private Q_SLOTS:
    void quotesAreFoundAsTheArticleShowsThem_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("quotes");
        QTest::addColumn<QStringList>("marked");
        const QString article = u"Title\u2029First ends here.\u2029Second\u00A0starts  now. "
                                u"R&D said \u201Cyes\u201D."_s;
        QTest::newRow("across paragraphs")
            << article << QStringList{u"ends here.\n\nSecond starts"_s}
            << QStringList{u"ends here. Second starts"_s};
        QTest::newRow("case and entities as shown")
            << article << QStringList{u"r&d SAID \u201Cyes\u201D"_s}
            << QStringList{u"R&D said \u201Cyes\u201D"_s};
        QTest::newRow("gone, blank and look-alike")
            << article << QStringList{u"Third paragraph."_s, u" \n "_s, u"First ends there."_s}
            << QStringList{QString(), QString(), QString()};
        QTest::newRow("the first of two")
            << u"x a b. A B."_s << QStringList{u"A B."_s} << QStringList{u"a b."_s};
    }
    void quotesAreFoundAsTheArticleShowsThem()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, quotes);
        QFETCH(QStringList, marked);
        const auto spans = Highlights::find(text, quotes);
        QCOMPARE(::marked(text, spans), marked);
    }

    // Through the window, on real files: quotes taken are marked when the article shows
    // again, in the page and the reading view, and the note edited elsewhere is followed.
    void quotedPassagesAreMarkedInBothViews()
    {
        const Translations english(QStringList{u"en"_s});
        f = std::make_unique<ReaderFixture>(sandbox::Options{});
        addItem(600, "Marked",
                "<p id=\"a\">First paragraph ends here.</p><p id=\"b\">Second starts.</p>"
                "<p id=\"c\">Tom said \"R&amp;D\" &amp; 'more'.</p><p id=\"d\">Unquoted.</p>");
        addItem(601, "RTL",
                "<p id=\"r\" dir=\"rtl\">\xd9\x87\xd8\xb0\xd8\xa7 \xd9\x86\xd8\xb5 "
                "\xd8\xb9\xd8\xb1\xd8\xa8\xd9\x8a.</p>");
        addItem(602, "Other", "<p>Nothing quoted.</p>");
        actions = std::make_unique<ItemActions>(*f->reader);
        view = std::make_unique<ArticleView>(*f->reader, *actions);
        view->resize(800, 600);
        view->show();
        QVERIFY(f->startLoggedIn());
        QTemporaryDir vault;
        f->reader->quotes().storeVault(vault.path());
        QToolButton* count = view->quoteMarks()->countButton();

        showItem(600);
        QVERIFY(!count->isVisibleTo(view.get()));
        // The first from the page's menu, as the mouse's user takes it.
        select("a", 16, "b");
        std::unique_ptr<QMenu>(view->webView()->quoteContextMenu())
            ->actions()
            .constFirst()
            ->trigger();
        QTRY_COMPARE(said(*f->reader), std::optional(u"Quote added to Marked"_s));
        QTRY_COMPARE(pageMarks(), QStringList{u"ends here. Second starts."_s}); // at once
        // The text flowing anew (a narrow window, an image arriving), the marks follow it.
        const auto boxes = [this] {
            return runScript(view->webView()->page(), u"window.lumbraMarks.boxes"_s).toInt();
        };
        const int wide = boxes();
        runScript(view->webView()->page(), u"document.body.style.width = '4em'; true"_s);
        QTRY_VERIFY(boxes() > wide);
        runScript(view->webView()->page(), u"document.body.style.width = ''; true"_s);
        QTRY_COMPARE(boxes(), wide);
        QFile file(vault.filePath(u"lumbra/Marked.md"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(
            "\n> ends here.\n>\n> Second starts.\n> [\u2197](tavo://lumbra/item/600"));
        file.close();
        quote("c", 0, "c");
        showItem(601);
        quote("r", 0, "r");
        const QStringList quoted{u"Tom said \"R&D\" & 'more'."_s, u"ends here. Second starts."_s};
        for (const bool asText : {false, true}) {
            f->reader->settings().setReadingView(asText);
            showItem(602);
            showItem(600);
            QTRY_COMPARE(asText ? textMarks() : pageMarks(), quoted);
            QCOMPARE(count->text(), u"2 quotes"_s);
            QVERIFY(count->isVisibleTo(view.get()));
            showItem(601);
            QTRY_COMPARE((asText ? textMarks() : pageMarks()).size(), 1);
        }
        // The reading view moves to the marks with Q and says where it is.
        showItem(600);
        QTRY_COMPARE(textMarks(), quoted);
        QSignalSpy reached(view->readingView(), &ReadingView::reached);
        view->readingView()->moveCursor(QTextCursor::Start);
        QTest::keyClick(view->readingView(), Qt::Key_Q);
        QCOMPARE(reached.constLast().constFirst().toString(),
                 u"Quote 1 of 2: ends here. Second starts."_s);
        QTextCursor caret = view->readingView()->textCursor();
        caret.setPosition(int(view->readingView()->shownText().indexOf(u"said"_s)));
        view->readingView()->setTextCursor(caret); // as the arrows move it
        QCOMPARE(reached.constLast().constFirst().toString(), u"Quoted"_s);
        // Back to the page, which was kept: marked and counted without a new load.
        f->reader->settings().setReadingView(false);
        QTRY_COMPARE(count->text(), u"2 quotes"_s);
        QCOMPARE(pageMarks(), quoted);

        // Another program deletes one quote and adds one the article does not hold.
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString note = QString::fromUtf8(file.readAll());
        file.close();
        note.remove(QRegularExpression(u"> Tom said[^\\n]*\\n> \\[[^\\n]*\\n"_s));
        note += u"\n> Invented words.\n> [\u2197](tavo://lumbra/item/600) ^lumbra-600-9\n"_s;
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(note.toUtf8());
        file.close();
        showItem(602);
        showItem(600);
        QTRY_COMPARE(pageMarks(), QStringList{u"ends here. Second starts."_s});
        QCOMPARE(count->text(), u"2 quotes"_s);
        QVERIFY(count->toolTip().contains(u"1 of the note's quotes no longer found"_s));
        const QStringList entries = [&] {
            QStringList texts;
            for (QAction* action : count->menu()->actions())
                texts << action->text();
            return texts;
        }();
        QVERIFY2(entries.contains(u"\u201CInvented words.\u201D"_s),
                 qPrintable(entries.join(u'|')));

        // The page's own style cannot reach the marks: they live in a closed shadow root, which
        // an article never quoted has too.
        for (const qint64 id : {602, 600}) {
            showItem(id);
            QCOMPARE(runScript(view->webView()->page(),
                               u"document.documentElement.lastElementChild.shadowRoot === null &&"
                               u" window.lumbraMarks.host === document.documentElement"
                               u".lastElementChild"_s),
                     QVariant(true));
        }
        view.reset();
        actions.reset();
        f.reset();
    }
};

// Qt WebEngine wants shared GL contexts before the application exists.
static const bool sharedContexts = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

QTEST_MAIN(HighlightsTest)

#include "tst_highlights.moc"

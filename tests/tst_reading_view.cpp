#include "App/LumbraApp.h"
#include "Await.h"
#include "Views/ReadingView.h"

#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

// The article as text for screen readers: its links and its selection.
class ReadingViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true); // settings go to a throwaway place
        LumbraApp::useIconTheme();
        QApplication::setWindowIcon(QIcon(u":/lumbra.svg"_s));
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
};

// Qt WebEngine wants shared GL contexts before the application exists.
static const bool sharedContexts = [] {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return true;
}();

QTEST_MAIN(ReadingViewTest)
#include "tst_reading_view.moc"

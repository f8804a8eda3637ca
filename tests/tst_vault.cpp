#include "Await.h"
#include "ReaderFixture.h"
#include "VaultFixture.h"

#include <QDir>

#include <QFile>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Quotes saved into the vault through the Reader: one note an article, named after it,
// found again wherever the user moved it.
class VaultTest : public QObject, VaultFixture {
    Q_OBJECT

private Q_SLOTS:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void quotesFromThePageGoIntoOneNote()
    {
        f->reader->timeline().select(5);
        page->text = u"  The tiny animals endure\n"_s;
        await(f->reader->quotes().saveQuote());
        const QString name = u"Tardigrades survive the vacuum of space"_s;
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to "_s + name));
        const QString first = QString::fromUtf8(readAll(note(name)));
        QVERIFY(first.startsWith(
            u"---\nauteur:\n  - \"[[Dr. Lin Wei]]\"\nsite: https://science.example/\n"_s));
        QVERIFY(first.endsWith(
            u"> The tiny animals endure\n> [↗](tavo://lumbra/item/5?u="_s +
            QString::fromLatin1(u"https://feed2.example/articles/5"_s.toUtf8().toBase64(
                QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals)) +
            u") ^lumbra-5-1\n"_s));

        page->text = u"radiation"_s;
        await(f->reader->quotes().saveQuote());
        const QString second = QString::fromUtf8(readAll(note(name)));
        QVERIFY(second.startsWith(first.trimmed()));
        QVERIFY(second.endsWith(u") ^lumbra-5-2\n"_s));
        QCOMPARE(QDir(vault->filePath(u"lumbra"_s)).entryList(QDir::Files).size(), 1);
    }

    void emptySelectionAsksForText_data()
    {
        QTest::addColumn<std::optional<QString>>("text");
        QTest::newRow("blank") << std::optional(u" \n\t "_s);
        QTest::newRow("not a string") << std::optional<QString>();
    }

    void emptySelectionAsksForText()
    {
        QFETCH(std::optional<QString>, text);
        f->reader->timeline().select(5);
        page->text = text;
        await(f->reader->quotes().saveQuote());
        QCOMPARE(said(*f->reader), std::optional(u"Select some text in the article first."_s));
        QVERIFY(!QDir(vault->filePath(u"lumbra"_s)).exists());
    }

    void nothingHappensWithoutPageOrSelection()
    {
        page->text = u"text"_s;
        await(f->reader->quotes().saveQuote()); // nothing selected
        f->reader->timeline().select(5);
        page.reset(); // the page went away
        await(f->reader->quotes().saveQuote());
        QVERIFY(!said(*f->reader));
    }

    void aPassageOfAnotherArticlesPageIsNeverSaved()
    {
        f->reader->timeline().select(5);
        page->shown = 6; // the pane still shows the article before, or failed to load this one
        page->text = u"from the page of 6"_s;
        await(f->reader->quotes().saveQuote());
        QCOMPARE(said(*f->reader),
                 std::optional(u"The selected article isn't shown yet, so nothing was saved."_s));
        QVERIFY(!QDir(vault->filePath(u"lumbra"_s)).exists());
    }

    void theQuoteBelongsToTheItemSelectedWhenAsked()
    {
        f->reader->timeline().select(5);
        page->text = u"kept"_s;
        auto saving = f->reader->quotes().saveQuote();
        f->reader->timeline().select(6); // while the page is still answering
        page->shown = 5;                 // and before the pane has loaded the next article
        await(std::move(saving));
        QVERIFY(QFile::exists(note(u"Tardigrades survive the vacuum of space"_s)));
    }

    void sameTitleFromAnotherSiteGetsItsOwnNote()
    {
        await(f->reader->quotes().writeQuote(
            u"one"_s, article(901, u"Weekly notes"_s, u"https://a.example/1"_s)));
        await(f->reader->quotes().writeQuote(
            u"two"_s, article(902, u"Weekly notes"_s, u"https://www.b.example/2"_s)));
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to Weekly notes (b.example)"_s));
        await(f->reader->quotes().writeQuote(
            u"three"_s, article(901, u"Weekly notes"_s, u"https://a.example/1"_s)));
        QVERIFY(readAll(note(u"Weekly notes"_s)).endsWith("^lumbra-901-2\n"));
        QVERIFY(readAll(note(u"Weekly notes (b.example)"_s)).endsWith("^lumbra-902-1\n"));
    }

    // Titles and authors as the server sends them, with entities: the note names what the
    // list showed, and a note an earlier version named with the entities is still found.
    void namesAreTheDecodedText()
    {
        // Written by an earlier version, before this session's first quote.
        const QString earlier = note(u"Ten tips &amp; tricks"_s);
        QVERIFY(QDir().mkpath(QFileInfo(earlier).absolutePath()));
        QFile old(earlier);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(
            "---\nurl: https://a.example/tips\n---\n[Ten tips &amp; tricks](https://a.example/"
            "tips)\n\n> one\n> [\xE2\x86\x97](tavo://lumbra/item/906) ^lumbra-906-1\n");
        old.close();

        Item slow =
            article(905, u"Why your build is slow &amp; what to do"_s, u"https://a.example/slow"_s);
        slow.author = u"Ann &lt;Ops&gt;"_s;
        await(f->reader->quotes().writeQuote(u"one"_s, slow));
        QCOMPARE(said(*f->reader),
                 std::optional(u"Quote added to Why your build is slow & what to do"_s));
        const QString written =
            QString::fromUtf8(readAll(note(u"Why your build is slow & what to do"_s)));
        QVERIFY2(written.contains(u"\"[[Ann Ops]]\""_s), qPrintable(written));
        QVERIFY(written.contains(
            u"\n[Why your build is slow & what to do](https://a.example/slow)\n"_s));

        const Item tips = article(906, u"Ten tips &amp; tricks"_s, u"https://a.example/tips"_s);
        await(f->reader->quotes().writeQuote(u"two"_s, tips));
        QVERIFY(readAll(earlier).endsWith("^lumbra-906-2\n"));
        QVERIFY(!QFile::exists(note(u"Ten tips & tricks"_s)));
    }

    void sameNameNeverLandsInAnotherArticlesNote_data()
    {
        QTest::addColumn<Item>("first");
        QTest::addColumn<Item>("second");
        QTest::addColumn<QString>("secondNote");
        QTest::newRow("item 4 after item 42")
            << article(42, u"Same"_s, std::nullopt) << article(4, u"Same"_s, std::nullopt)
            << u"Same (4)"_s;
        QTest::newRow("address that starts another's")
            << article(7, u"Post"_s, u"https://a.example/post-2"_s)
            << article(8, u"Post"_s, u"https://a.example/post"_s) << u"Post (a.example)"_s;
    }

    void sameNameNeverLandsInAnotherArticlesNote()
    {
        QFETCH(Item, first);
        QFETCH(Item, second);
        QFETCH(QString, secondNote);
        await(f->reader->quotes().writeQuote(u"one"_s, first));
        const QByteArray firstNote = readAll(note(first.title.value()));
        await(f->reader->quotes().writeQuote(u"two"_s, second));
        QCOMPARE(readAll(note(first.title.value())), firstNote); // untouched
        const QByteArray ownBlock = "^lumbra-" + QByteArray::number(second.id) + "-1\n";
        QVERIFY(readAll(note(secondNote)).endsWith(ownBlock));
    }

    void hostileFeedDataGivesOneNote_data()
    {
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<QString>("author");
        const auto row = [](const char* name, std::optional<QString> title, QString author) {
            QTest::newRow(name) << title << author;
        };
        const QString ann = u"Ann"_s;
        row("NUL", u"Fresh"_s + QChar(0) + u" news"_s, ann);
        row("control characters", u"Tab\tand\u0007bell\u001B"_s, ann);
        row("line breaks", u"A\n---\n```dataviewjs\nx"_s, u"B\r\n# C"_s);
        row("line separators", u"A\u2028B\u2029C\u0085"_s, u"D\u2028E"_s);
        row("85 CJK characters", QString(85, QChar(0x6F22)), QString(85, QChar(0x6F22)));
        row("64 emoji", QString::fromUcs4(std::u32string(64, U'\U0001F600').c_str(), 64), ann);
        row("300 combining marks", u"a"_s + QString(300, QChar(0x0301)), ann);
        row("flags at the byte limit",
            QString::fromUcs4(std::u32string(40, U'\U0001F1E9').c_str(), 40), ann);
        row("leading dots", u".NET news/updates"_s, u"..hidden"_s);
        row("NFD", u"Cafe\u0301 society"_s, u"Zoe\u0308"_s);
        // Titles that name other places: the note stays in Lumbra's folder.
        row("parent folders", u"../../etc/passwd"_s, ann);
        row("absolute", u"/tmp/x"_s, ann);
        row("dots", u".."_s, ann);
        row("only symbols", u"?*"_s, ann);
        row("untitled", std::nullopt, ann);
    }

    void hostileFeedDataGivesOneNote()
    {
        QFETCH(std::optional<QString>, title);
        QFETCH(QString, author);
        Item item = article(910, title, std::nullopt, 999); // of a feed no longer listed
        item.author = author;
        for (const QString& text : {u"one"_s, u"two"_s}) {
            await(f->reader->quotes().writeQuote(text, item));
            QVERIFY2(said(*f->reader)->startsWith(u"Quote added to "_s),
                     qPrintable(*said(*f->reader)));
        }
        // Nothing but the one note: no hidden file, no file without ".md", no lock left.
        const auto everything = QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot;
        QCOMPARE(QDir(vault->path()).entryList(everything), QStringList{u"lumbra"_s});
        const QStringList notes = QDir(vault->filePath(u"lumbra"_s)).entryList(everything);
        QCOMPARE(notes.size(), 1);
        QVERIFY(notes.first().endsWith(u".md"_s) && !notes.first().startsWith(u'.'));
        QVERIFY(notes.first().toUtf8().size() <= 255);
        if (!title) QCOMPARE(notes.first(), u"Untitled.md"_s);
        const QString text =
            QString::fromUtf8(readAll(vault->filePath(u"lumbra/"_s + notes.first())));
        QVERIFY(text.contains(u"tavo://lumbra/item/910"_s));
        QVERIFY(text.endsWith(u"^lumbra-910-2\n"_s));
        QVERIFY(!text.contains(u"\nsite:"_s)); // a feed missing from the list gives no site
        // The author link names a note Obsidian would list.
        QVERIFY2(text.contains(u"\n  - \"[["_s) && !text.contains(u"[[."_s), qPrintable(text));
    }

    void aNoteTheUserMovedStillReceivesQuotes_data()
    {
        QTest::addColumn<QString>("movedTo"); // relative to the vault
        QTest::addColumn<QString>("shownName");
        const QString nfd = u"Cafe\u0301 society"_s;
        QTest::newRow("another folder")
            << u"Reading/2026/Caf\u00E9 society.md"_s << u"Reading/2026/Caf\u00E9 society"_s;
        QTest::newRow("renamed") << u"lumbra/My favourite.md"_s << u"My favourite"_s;
        QTest::newRow("name in NFD") << u"lumbra/"_s + nfd + u".md"_s << nfd;
    }

    void aNoteTheUserMovedStillReceivesQuotes()
    {
        QFETCH(QString, movedTo);
        QFETCH(QString, shownName);
        const Item item = article(920, u"Caf\u00E9 society"_s, u"https://a.example/cafe"_s);
        await(f->reader->quotes().writeQuote(u"one"_s, item));
        const QString placed = note(u"Caf\u00E9 society"_s);
        QVERIFY(QFile::exists(placed));
        const QString moved = vault->filePath(movedTo);
        QVERIFY(QDir().mkpath(QFileInfo(moved).absolutePath()));
        QVERIFY(QFile::rename(placed, moved));
        // The quote, copied into a note of the user's own, makes that no note of the article.
        const QByteArray quoted = readAll(moved);
        const QString daily = vault->filePath(u"Daily/2026-12-09.md"_s);
        QVERIFY(QDir().mkpath(QFileInfo(daily).absolutePath()));
        QFile pasted(daily);
        QVERIFY(pasted.open(QIODevice::WriteOnly));
        pasted.write("---\ndate: 2026-12-09\n---\n# Today\n\n" +
                     quoted.mid(quoted.indexOf("\n> ") + 1));
        pasted.close();
        const QByteArray dailyBefore = readAll(daily);

        await(f->reader->quotes().writeQuote(u"two"_s, item));
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to "_s + shownName));
        QVERIFY(readAll(moved).endsWith("> two\n> [\xE2\x86\x97](tavo://lumbra/item/920?u="
                                        "aHR0cHM6Ly9hLmV4YW1wbGUvY2FmZQ) ^lumbra-920-2\n"));
        QVERIFY(!QFile::exists(placed));
        QCOMPARE(readAll(daily), dailyBefore);
        // The article view offers the note where it is now.
        f->reader->timeline().select(std::nullopt);
        QVERIFY(!f->reader->quotes().selectedNote());
    }

    void theSelectedArticlesNoteCanBeOpened()
    {
        f->reader->timeline().select(5);
        QVERIFY(QTest::qWaitFor([&] { return f->reader->timeline().selectedId() == 5; }));
        QTest::qWait(50);
        QVERIFY(!f->reader->quotes().selectedNote()); // no note yet
        page->text = u"a passage"_s;
        await(f->reader->quotes().saveQuote());
        const QString path = note(u"Tardigrades survive the vacuum of space"_s);
        QCOMPARE(f->reader->quotes().selectedNote(), std::optional(path));
        f->reader->quotes().openNote();
        QCOMPARE(f->notes.opened, QStringList{path});
        f->reader->quotes().showNoteInFolder();
        QCOMPARE(f->notes.shown, QStringList{path});
        // Without a program for Markdown the user learns where the note is.
        f->notes.handlesNotes = false;
        f->reader->quotes().openNote();
        QCOMPARE(said(*f->reader),
                 std::optional(u"No program on this computer opens Markdown notes. The note is "
                               "\u201C%1\u201D; Show Note in Folder shows where."_s.arg(path)));
        f->notes.handlesNotes = true;

        // Another article has no note: nothing to open, even for the moment of the look-up.
        const qint64 other = f->reader->timeline().items().constLast().id;
        QVERIFY(other != 5);
        f->reader->timeline().select(other);
        QVERIFY(!f->reader->quotes().selectedNote());
        f->reader->quotes().openNote();
        QCOMPARE(f->notes.opened.size(), 1);
        // Selected again, the first article's note is found on disk.
        f->reader->timeline().select(5);
        QVERIFY(QTest::qWaitFor([&] { return f->reader->quotes().selectedNote() == path; }, 5000));
    }

    void cancellingTheChooserSavesNothing()
    {
        f->reader->quotes().storeVault(std::nullopt);
        await(f->reader->quotes().writeQuote(u"q"_s, article(906, u"Nowhere"_s, std::nullopt)));
        QCOMPARE(f->folderChooser.asked, 1);
        QVERIFY(!said(*f->reader));
        QVERIFY(!f->reader->quotes().storedVault());
        QVERIFY(!QDir(vault->filePath(u"lumbra"_s)).exists());
        // The chooser starts at home, not wherever Lumbra was started from.
        QCOMPARE(f->folderChooser.startedIn, QDir::homePath());

        // A folder no file can be made in (even by root) is not taken, and the user is told.
        f->folderChooser.answer = u"/proc"_s;
        await(f->reader->quotes().writeQuote(u"q"_s, article(906, u"Nowhere"_s, std::nullopt)));
        QVERIFY(!f->reader->quotes().storedVault());
        QVERIFY2(said(*f->reader)->contains(u"may not write in the folder \u201C/proc\u201D"_s),
                 qPrintable(*said(*f->reader)));
        f->reader->session().setMessage(std::nullopt);
        QVERIFY(!f->reader->quotes().chooseVault()); // from Settings, the same
        QVERIFY(said(*f->reader));

        f->folderChooser.answer = vault->path();
        await(f->reader->quotes().writeQuote(u"q"_s, article(906, u"Somewhere"_s, std::nullopt)));
        QCOMPARE(f->reader->quotes().storedVault(), std::optional(vault->path()));
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to Somewhere"_s));
        await(f->reader->quotes().writeQuote(u"q"_s, article(906, u"Somewhere"_s, std::nullopt)));
        QCOMPARE(f->folderChooser.asked, 4); // not asked again once stored
    }
};

QTEST_GUILESS_MAIN(VaultTest)
#include "tst_vault.moc"

#include "Await.h"
#include "LumbraCore/ArticleNote.h"
#include "NoteReader.h"
#include "Reader/NoteIndex.h"
#include "Reader/Vault.h"
#include "ReaderFixture.h"

#include <QDir>
#include <QProcess>

#include <QFile>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <qcoro/qcorotimer.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The article page as the web view reports its selection, after a short delay.
class FakePage final : public TextSelectionSource {
public:
    QCoro::Task<std::optional<QString>> selectedText() override
    {
        co_await QCoro::sleepFor(std::chrono::milliseconds(20));
        co_return text;
    }
    std::optional<qint64> shownItem() const override { return shown; }
    std::optional<QString> text;
    std::optional<qint64> shown;
};

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

Item article(qint64 id, std::optional<QString> title, std::optional<QString> url, qint64 feedId = 1)
{
    return Item{id, feedId, title, url, u"Ann"_s, 1796472000, "<p>x</p>"_ba, true, false};
}

} // namespace

class VaultTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;
    std::unique_ptr<QTemporaryDir> vault;
    std::shared_ptr<FakePage> page;

    QString note(const QString& name) const
    {
        return vault->filePath(u"lumbra/"_s + name + u".md"_s);
    }

private Q_SLOTS:
    void init()
    {
        f = std::make_unique<ReaderFixture>();
        QVERIFY(f->startLoggedIn());
        vault = std::make_unique<QTemporaryDir>();
        f->reader->quotes().storeVault(vault->path());
        page = std::make_shared<FakePage>();
        f->reader->quotes().setWebView(page);
        // The page shows what is selected, at once; tests that need otherwise say so.
        QObject::connect(&f->reader->timeline(), &Timeline::selectedIdChanged, f->reader.get(),
                         [this] {
                             if (page) page->shown = f->reader->timeline().selectedId();
                         });
    }
    void cleanup()
    {
        f.reset();
        vault.reset();
        page.reset();
    }

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

    void titlesNeverLeaveTheLumbraFolder_data()
    {
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<QString>("name");
        QTest::newRow("parent folders") << std::optional(u"../../etc/passwd"_s) << u"etc passwd"_s;
        QTest::newRow("absolute") << std::optional(u"/tmp/x"_s) << u"tmp x"_s;
        QTest::newRow("dots") << std::optional(u".."_s) << u"Article 903"_s;
        QTest::newRow("untitled") << std::optional<QString>() << u"Untitled"_s;
        QTest::newRow("only symbols") << std::optional(u"?*"_s) << u"Article 903"_s;
    }

    void titlesNeverLeaveTheLumbraFolder()
    {
        QFETCH(std::optional<QString>, title);
        QFETCH(QString, name);
        await(f->reader->quotes().writeQuote(u"q"_s, article(903, title, std::nullopt, 999)));
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to "_s + name));
        QVERIFY(QFile::exists(note(name)));
        QCOMPARE(QDir(vault->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{u"lumbra"_s});
        // A feed missing from the list gives no feed title and no site.
        QVERIFY(!readAll(note(name)).contains("site:"));
    }

    void hostileFeedDataGivesOneNote_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("author");
        const QString ann = u"Ann"_s;
        QTest::newRow("NUL") << u"Fresh"_s + QChar(0) + u" news"_s << ann;
        QTest::newRow("control characters") << u"Tab\tand\u0007bell\u001B"_s << ann;
        QTest::newRow("line breaks") << u"A\n---\n```dataviewjs\nx"_s << u"B\r\n# C"_s;
        QTest::newRow("line separators") << u"A\u2028B\u2029C\u0085"_s << u"D\u2028E"_s;
        QTest::newRow("85 CJK characters")
            << QString(85, QChar(0x6F22)) << QString(85, QChar(0x6F22));
        QTest::newRow("64 emoji") << QString::fromUcs4(std::u32string(64, U'\U0001F600').c_str(),
                                                       64)
                                  << ann;
        QTest::newRow("300 combining marks") << u"a"_s + QString(300, QChar(0x0301)) << ann;
        QTest::newRow("flags at the byte limit")
            << QString::fromUcs4(std::u32string(40, U'\U0001F1E9').c_str(), 40) << ann;
        QTest::newRow("leading dots") << u".NET news/updates"_s << u"..hidden"_s;
        QTest::newRow("NFD") << u"Cafe\u0301 society"_s << u"Zoe\u0308"_s;
    }

    void hostileFeedDataGivesOneNote()
    {
        QFETCH(QString, title);
        QFETCH(QString, author);
        Item item = article(910, title, std::nullopt);
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
        const QString text =
            QString::fromUtf8(readAll(vault->filePath(u"lumbra/"_s + notes.first())));
        QVERIFY(text.contains(u"tavo://lumbra/item/910"_s));
        QVERIFY(text.endsWith(u"^lumbra-910-2\n"_s));
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

        await(f->reader->quotes().writeQuote(u"two"_s, item));
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to "_s + shownName));
        QVERIFY(readAll(moved).endsWith("> two\n> [\xE2\x86\x97](tavo://lumbra/item/920?u="
                                        "aHR0cHM6Ly9hLmV4YW1wbGUvY2FmZQ) ^lumbra-920-2\n"));
        QVERIFY(!QFile::exists(placed));
        // The article view offers the note where it is now.
        f->reader->timeline().select(std::nullopt);
        QVERIFY(!f->reader->quotes().selectedNote());
    }

    // The user's own notes beside Lumbra's, however closely they name an article, are never
    // written to; every article gets a note of its own.
    void theUsersNotesAreNeverWritten_data()
    {
        QTest::addColumn<QStringList>("userNotes"); // path, text, path, text, …
        QTest::addColumn<QList<Item>>("items");
        QTest::addColumn<QStringList>("notes"); // each item's note, in order
        const auto item = [](qint64 id, const QString& title, std::optional<QString> url) {
            return article(id, title, std::move(url));
        };
        QTest::newRow("a clipping of the article")
            << QStringList{u"Clippings/How to fix things.md"_s,
                           u"---\nurl: https://blog.example/fix-things\n---\nMy clipping\n"_s}
            << QList<Item>{item(101, u"How to fix things"_s, u"https://blog.example/fix-things"_s)}
            << QStringList{u"How to fix things"_s};
        QTest::newRow("a daily note with a back link")
            << QStringList{u"Daily/2026-12-07.md"_s,
                           u"- [ ] call mum\n[\u2197](tavo://lumbra/item/42?u=aHR0cHM6Ly9h)\n"_s}
            << QList<Item>{item(42, u"Tardigrades"_s, u"https://a.example/t"_s)}
            << QStringList{u"Tardigrades"_s};
        QTest::newRow("episodes sharing one address")
            << QStringList()
            << QList<Item>{item(201, u"Episode 1"_s, u"https://pod.example/"_s),
                           item(202, u"Episode 2"_s, u"https://pod.example/"_s),
                           item(203, u"Episode 3"_s, u"https://pod.example/"_s)}
            << QStringList{u"Episode 1"_s, u"Episode 2"_s, u"Episode 3"_s};
        QTest::newRow("empty addresses and a template")
            << QStringList{u"Templates/Literature.md"_s, u"---\nurl: \nauthor: \n---\n"_s}
            << QList<Item>{item(301, u"Literature A"_s, u""_s),
                           item(302, u"Literature B"_s, u" "_s)}
            << QStringList{u"Literature A"_s, u"Literature B"_s};
        QTest::newRow("no address, a note with the item link")
            << QStringList{u"Projects.md"_s, u"See (tavo://lumbra/item/77) soon.\n"_s}
            << QList<Item>{item(77, u"Seventy-seven"_s, std::nullopt)}
            << QStringList{u"Seventy-seven"_s};
        QTest::newRow("a read-only note naming the address")
            << QStringList{u"Clippings/Read only.md"_s, u"url: https://a.example/ro\n"_s}
            << QList<Item>{item(401, u"Read only"_s, u"https://a.example/ro"_s)}
            << QStringList{u"Read only"_s};
        QTest::newRow("the user's note of that name in the lumbra folder")
            << QStringList{u"lumbra/Notes on Rust.md"_s, u"My notes on https://rust.example/n\n"_s}
            << QList<Item>{item(601, u"Notes on Rust"_s, u"https://rust.example/n"_s)}
            << QStringList{u"Notes on Rust (rust.example)"_s};
        QTest::newRow("three articles of a title on one site")
            << QStringList()
            << QList<Item>{item(501, u"Weekly digest"_s, u"https://news.example/digest/1"_s),
                           item(502, u"Weekly digest"_s, u"https://news.example/digest/2"_s),
                           item(503, u"Weekly digest"_s, u"https://news.example/digest/3"_s)}
            << QStringList{u"Weekly digest"_s, u"Weekly digest (news.example)"_s,
                           u"Weekly digest (503)"_s};
    }

    void theUsersNotesAreNeverWritten()
    {
        QFETCH(QStringList, userNotes);
        QFETCH(QList<Item>, items);
        QFETCH(QStringList, notes);
        QMap<QString, QByteArray> before;
        for (qsizetype at = 0; at + 1 < userNotes.size(); at += 2) {
            const QString path = vault->filePath(userNotes[at]);
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(userNotes[at + 1].toUtf8());
            file.close();
            if (path.contains(u"Read only"_s)) QVERIFY(file.setPermissions(QFile::ReadOwner));
            before[path] = readAll(path);
        }
        // Twice each, so the second quote is looked up where the first went.
        for (int round = 1; round <= 2; ++round) {
            for (qsizetype at = 0; at < items.size(); ++at) {
                await(f->reader->quotes().writeQuote(u"quote %1"_s.arg(round), items[at]));
                QCOMPARE(said(*f->reader), std::optional(u"Quote added to "_s + notes[at]));
                const QString text = QString::fromUtf8(readAll(note(notes[at])));
                QVERIFY2(text.contains(u"^lumbra-%1-%2\n"_s.arg(items[at].id).arg(round)),
                         qPrintable(text));
            }
        }
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(readAll(it.key()), it.value());
        for (qsizetype at = 0; at < items.size(); ++at) {
            const QString text = QString::fromUtf8(readAll(note(notes[at])));
            QCOMPARE(text.count(u" ^lumbra-"_s), 2); // its own two quotes, no other's
            const ReadNote read = readNote(text);
            QVERIFY2(read.structure.isEmpty() && read.quotes.size() == 2, qPrintable(text));
            Quote quote;
            quote.url = items[at].url;
            QCOMPARE(read.fields["url"].IsDefined(), bool(ArticleNote::address(quote)));
            QVERIFY(!text.contains(u"url:  "_s) && !text.contains(u"url: \n"_s));
        }
    }

    void aCopiedNoteLeavesTheQuoteInTheUsualPlace()
    {
        const Item item = article(921, u"Copied"_s, u"https://a.example/copied"_s);
        await(f->reader->quotes().writeQuote(u"one"_s, item));
        QVERIFY(QDir(vault->path()).mkpath(u"Archive"_s));
        QVERIFY(QFile::copy(note(u"Copied"_s), vault->filePath(u"Archive/Copied.md"_s)));
        const QByteArray copy = readAll(vault->filePath(u"Archive/Copied.md"_s));
        await(f->reader->quotes().writeQuote(u"two"_s, item));
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to Copied"_s));
        QVERIFY(readAll(note(u"Copied"_s)).endsWith("^lumbra-921-2\n"));
        QCOMPARE(readAll(vault->filePath(u"Archive/Copied.md"_s)), copy);
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

    void aByteOrderMarkIsKept()
    {
        QVERIFY(QDir(vault->path()).mkpath(u"lumbra"_s));
        {
            QFile file(note(u"Marked"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("\xEF\xBB\xBF# Mine\n\n> [\xE2\x86\x97](tavo://lumbra/item/922) "
                       "^lumbra-922-1\n");
        }
        await(f->reader->quotes().writeQuote(u"two"_s, article(922, u"Marked"_s, std::nullopt)));
        const QByteArray text = readAll(note(u"Marked"_s));
        QVERIFY(text.startsWith("\xEF\xBB\xBF# Mine\n"));
        QCOMPARE(text.count("\xEF\xBB\xBF"), 1);
        QVERIFY(text.endsWith("^lumbra-922-2\n"));
    }

    void aDeletedVaultIsCreatedAgain()
    {
        QVERIFY(QDir(vault->path()).removeRecursively());
        await(f->reader->quotes().writeQuote(u"q"_s, article(904, u"Back again"_s, std::nullopt)));
        QCOMPARE(said(*f->reader), std::optional(u"Quote added to Back again"_s));
        QVERIFY(QFile::exists(note(u"Back again"_s)));
    }

    void unusableNotesAreLeftAsTheyAre_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("problem");
        QTest::newRow("not UTF-8") << "caf\xe9 \xff\xfe notes\n"_ba << false
                                   << u"is not UTF-8 text, so it was left as it is."_s;
        QTest::newRow("read-only, this article's")
            << "> [\xe2\x86\x97](tavo://lumbra/item/905) ^lumbra-905-1\n"_ba << true
            << u"is read-only, so it was left as it is."_s;
    }

    void unusableNotesAreLeftAsTheyAre()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, readOnly);
        QFETCH(QString, problem);
        QVERIFY(QDir(vault->path()).mkpath(u"lumbra"_s));
        const QString path = note(u"Precious"_s);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        if (readOnly) QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        await(f->reader->quotes().writeQuote(u"q"_s, article(905, u"Precious"_s, std::nullopt)));
        QCOMPARE(said(*f->reader),
                 std::optional(u"Couldn't write to the vault: the note \u201CPrecious\u201D "_s +
                               problem));
        QCOMPARE(readAll(path), content);
        QCOMPARE(QDir(vault->filePath(u"lumbra"_s)).entryList(QDir::Files),
                 QStringList{u"Precious.md"_s});
    }

    void nonRegularFilesAreRefusedAtOnce_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("FIFO") << true;
        QTest::newRow("folder") << false;
    }

    void nonRegularFilesAreRefusedAtOnce()
    {
        QFETCH(bool, fifo);
        QVERIFY(QDir(vault->path()).mkpath(u"lumbra"_s));
        const QString path = note(u"Pipe"_s);
        if (fifo)
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(QDir().mkpath(path));
        await(f->reader->quotes().writeQuote(u"q"_s, article(923, u"Pipe"_s, std::nullopt)));
        QCOMPARE(said(*f->reader),
                 std::optional(u"Couldn't write to the vault: the note \u201CPipe\u201D is not a "
                               "regular file, so it was left as it is."_s));
    }

    void twoProcessesNeverLoseAQuote()
    {
        QProcess first, second;
        first.start(QStringLiteral(VAULT_WRITER), {vault->path(), u"25"_s, u"first"_s});
        second.start(QStringLiteral(VAULT_WRITER), {vault->path(), u"25"_s, u"second"_s});
        QVERIFY(first.waitForFinished(60000) && second.waitForFinished(60000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 0);
        const QString text = QString::fromUtf8(readAll(note(u"Shared note"_s)));
        for (int i = 0; i < 25; ++i)
            for (const QString& tag : {u"first"_s, u"second"_s})
                QVERIFY2(text.contains(u"> "_s + tag + u' ' + QString::number(i) + u'\n'),
                         qPrintable(tag + QString::number(i)));
        for (int n = 1; n <= 50; ++n) // every block id once
            QCOMPARE(text.count(u" ^lumbra-77-"_s + QString::number(n) + u'\n'), 1);
        QVERIFY(!QFile::exists(vault->filePath(u"lumbra/.lumbra.lock"_s)));
    }

    void aWriteThatFailsHalfWayKeepsTheOldNote()
    {
        await(
            f->reader->quotes().writeQuote(u"kept"_s, article(907, u"Full disk"_s, std::nullopt)));
        const QByteArray before = readAll(note(u"Full disk"_s));
        QVERIFY(!before.isEmpty());
        // A file-size limit stands in for a full disk: the write stops part-way.
        signal(SIGXFSZ, SIG_IGN);
        rlimit original{};
        getrlimit(RLIMIT_FSIZE, &original);
        rlimit tiny = original;
        tiny.rlim_cur = rlim_t(before.size() + 10);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &tiny) == 0);
        await(f->reader->quotes().writeQuote(QString(400, u'x'),
                                             article(907, u"Full disk"_s, std::nullopt)));
        setrlimit(RLIMIT_FSIZE, &original);
        QVERIFY2(
            said(*f->reader)
                ->startsWith(
                    u"Couldn't write to the vault: couldn't save the note \u201CFull disk\u201D ("_s),
            qPrintable(*said(*f->reader)));
        QCOMPARE(readAll(note(u"Full disk"_s)), before);
        QCOMPARE(QDir(vault->filePath(u"lumbra"_s)).entryList(QDir::Files),
                 QStringList{u"Full disk.md"_s});
    }

    // The vault is read once, again only when a note moved, and never once stopped.
    void theVaultIsReadOnlyWhenItMustBe()
    {
        // Two episodes share the feed's address; only the first has a note.
        const Item first = article(931, u"Episode 1"_s, u"https://pod.example/"_s);
        const Item second = article(932, u"Episode 2"_s, u"https://pod.example/"_s);
        await(f->reader->quotes().writeQuote(u"one"_s, first));
        const auto quoteOf = [](const Item& item) {
            Quote quote;
            quote.itemId = item.id;
            quote.title = *item.title;
            quote.url = item.url;
            return quote;
        };
        NoteIndex index;
        for (int selection = 0; selection < 3; ++selection)
            QVERIFY(!Vault::findNote(quoteOf(second), vault->path(), index));
        QCOMPARE(index.reads(), 1);
        QCOMPARE(index.noteCount(), 1);

        const QString moved = vault->filePath(u"Podcasts/Episode 1.md"_s);
        QVERIFY(QDir().mkpath(QFileInfo(moved).absolutePath()));
        QVERIFY(QFile::rename(note(u"Episode 1"_s), moved));
        QCOMPARE(Vault::findNote(quoteOf(first), vault->path(), index), std::optional(moved));
        QCOMPARE(index.reads(), 2);

        const QString root = QDir(vault->path()).canonicalPath();
        index.stop();
        index.build(root);
        QVERIFY(!index.covers(root));
        QCOMPARE(index.noteCount(), 0);
    }

    // An editor or sync client appending to the note while quotes arrive loses nothing.
    void anotherProgramsLinesAreKept()
    {
        const Item item = article(930, u"Shared with an editor"_s, u"https://a.example/e"_s);
        await(f->reader->quotes().writeQuote(u"first"_s, item));
        const QString path = note(u"Shared with an editor"_s);
        std::atomic<bool> done = false;
        std::atomic<int> lines = 0;
        std::thread editor([&] {
            while (!done) {
                const QByteArray line = "editor line " + QByteArray::number(lines.load()) + '\n';
                const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND);
                if (fd >= 0 && ::write(fd, line.constData(), size_t(line.size())) == line.size())
                    ++lines;
                if (fd >= 0) ::close(fd);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
        Quote quote;
        quote.itemId = item.id;
        quote.title = *item.title;
        quote.url = item.url;
        try {
            for (int n = 2; n <= 150; ++n) {
                quote.text = u"quote %1"_s.arg(n);
                Vault::appendToNote(quote, vault->path());
            }
        } catch (const LumbraError& e) {
            done = true;
            editor.join();
            QFAIL(e.what());
        }
        done = true;
        editor.join();
        const QString text = QString::fromUtf8(readAll(path));
        QVERIFY(lines > 0);
        for (int line = 0; line < lines; ++line)
            QVERIFY2(text.contains(u"editor line %1\n"_s.arg(line)),
                     qPrintable(QString::number(line)));
        for (int n = 2; n <= 150; ++n)
            QVERIFY(text.contains(u"> quote %1\n"_s.arg(n)));
    }

    void aLockThatCannotBeWrittenIsNotBlamedOnAnotherLumbra()
    {
        QVERIFY(QDir(vault->path()).mkpath(u"lumbra"_s));
        signal(SIGXFSZ, SIG_IGN);
        rlimit original{};
        getrlimit(RLIMIT_FSIZE, &original);
        rlimit none = original;
        none.rlim_cur = 0; // nothing can be written, as on a full disk
        QVERIFY(setrlimit(RLIMIT_FSIZE, &none) == 0);
        await(f->reader->quotes().writeQuote(u"q"_s, article(924, u"Locked out"_s, std::nullopt)));
        setrlimit(RLIMIT_FSIZE, &original);
        QVERIFY2(said(*f->reader)
                     ->startsWith(
                         u"Couldn't write to the vault: couldn't create a file in the folder"_s),
                 qPrintable(*said(*f->reader)));
        QVERIFY(QDir(vault->filePath(u"lumbra"_s)).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void linksNeverLeadOutOfTheVault()
    {
        QTemporaryDir outside;
        QFile secret(outside.filePath(u"secret.md"_s));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("not yours\n");
        secret.close();

        // A note that is a link to a file elsewhere.
        QVERIFY(QDir(vault->path()).mkpath(u"lumbra"_s));
        QVERIFY(QFile::link(secret.fileName(), note(u"Linked"_s)));
        await(f->reader->quotes().writeQuote(u"q"_s, article(908, u"Linked"_s, std::nullopt)));
        QVERIFY(said(*f->reader)->contains(u"is a symbolic link"_s));
        QCOMPARE(readAll(secret.fileName()), "not yours\n"_ba);

        // The lumbra folder itself a link to elsewhere.
        QVERIFY(QDir(vault->filePath(u"lumbra"_s)).removeRecursively());
        QVERIFY(QFile::link(outside.path(), vault->filePath(u"lumbra"_s)));
        await(f->reader->quotes().writeQuote(u"q"_s, article(909, u"Escape"_s, std::nullopt)));
        QVERIFY(said(*f->reader)->startsWith(u"Couldn't write to the vault: "_s));
        QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{u"secret.md"_s});
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

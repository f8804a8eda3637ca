#include "Await.h"
#include "LumbraCore/ArticleNote.h"
#include "NoteReader.h"
#include "Reader/NoteIndex.h"
#include "Reader/Vault.h"
#include "ReaderFixture.h"
#include "VaultFixture.h"

#include <QDir>
#include <QProcess>

#include <QFile>
#include <QTest>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The vault as files beside the user's own: notes Lumbra did not write are never written,
// a note survives a failing disk, another program or another Lumbra, and nothing leads
// out of the vault.
class VaultFilesTest : public QObject, VaultFixture {
    Q_OBJECT

private Q_SLOTS:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

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
        // A quote copied from Lumbra's note, the article's own note deleted (or never made).
        QTest::newRow("a daily note holding a pasted quote")
            << QStringList{u"Daily/2026-12-09.md"_s,
                           u"---\ndate: 2026-12-09\n---\n# Today\n\n> Moss grows\n> "
                           u"[\u2197](tavo://"
                           u"lumbra/item/42?u=aHR0cHM6Ly9hLmV4YW1wbGUvdA) ^lumbra-42-1\n"_s}
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

    void aByteOrderMarkIsKept()
    {
        QVERIFY(QDir(vault->path()).mkpath(u"lumbra"_s));
        {
            QFile file(note(u"Marked"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("\xEF\xBB\xBF---\ndatum: 2026-12-01\n---\nMarked\n\n> [\xE2\x86\x97]("
                       "tavo://lumbra/item/922) ^lumbra-922-1\n");
        }
        await(f->reader->quotes().writeQuote(u"two"_s, article(922, u"Marked"_s, std::nullopt)));
        const QByteArray text = readAll(note(u"Marked"_s));
        QVERIFY(text.startsWith("\xEF\xBB\xBF---\n"));
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
            << "---\ndatum: 2026-12-01\n---\nPrecious\n\n> [\xe2\x86\x97](tavo://lumbra/item/905) "
               "^lumbra-905-1\n"_ba
            << true << u"is read-only, so it was left as it is."_s;
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
};

QTEST_GUILESS_MAIN(VaultFilesTest)
#include "tst_vault_files.moc"

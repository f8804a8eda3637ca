// What finding a moved note costs on a large vault (with a user's note of 400,000 article
// links): reading every note into the index once, then a quote into a note the user moved,
// and an ordinary quote.
//   bench_vault [NOTES]

#include "LumbraCore/ArticleNote.h"
#include "Reader/NoteIndex.h"
#include "Reader/Vault.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <thread>

namespace {

Quote quoteOf(qint64 id)
{
    Quote quote;
    quote.itemId = id;
    quote.feedId = 1;
    quote.title = QStringLiteral("Article number %1 about something").arg(id);
    quote.url = QStringLiteral("https://news.example/%1/article").arg(id);
    quote.author = QStringLiteral("Author %1").arg(id % 97);
    quote.feedTitle = QStringLiteral("Feed");
    quote.text = QString(600, u'x');
    quote.savedAt = 1'796'472'000;
    return quote;
}

double ms(const QElapsedTimer& clock)
{
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10'000;
    QTemporaryDir vault;
    // Notes spread over folders as a user files them, each with three quotes.
    qint64 bytes = 0;
    for (int id = 1; id <= count; ++id) {
        const Quote quote = quoteOf(id);
        QString text;
        for (int n = 0; n < 3; ++n)
            text = ArticleNote::append(text, quote, QTimeZone::utc());
        const QString folder = vault.filePath(QStringLiteral("Topics/%1").arg(id % 50));
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/Note %1.md").arg(id));
        if (!file.open(QIODevice::WriteOnly)) return 1;
        bytes += file.write(text.toUtf8());
    }
    // And a user's own note linking to 400,000 articles, as a reading log would.
    {
        QFile log(vault.filePath(QStringLiteral("Reading log.md")));
        if (!log.open(QIODevice::WriteOnly)) return 1;
        QByteArray links;
        for (int id = 1; id <= 400'000; ++id)
            links += "- [read](tavo://lumbra/item/" + QByteArray::number(id) + ")\n";
        bytes += log.write(links);
    }
    std::printf("vault: %d notes and a log of 400,000 links, %.1f MB, in 50 folders\n", count,
                bytes / 1e6);

    const QString root = QDir(vault.path()).canonicalPath();
    NoteIndex index;
    QElapsedTimer clock;
    clock.start();
    index.build(root);
    std::printf("index built (cold start of a session): %.1f ms, %lld notes\n", ms(clock),
                qlonglong(index.noteCount()));

    clock.restart();
    const QString moved = Vault::appendToNote(quoteOf(count / 2), vault.path(), &index);
    std::printf("quote into a moved note, index ready: %.2f ms (%s)\n", ms(clock),
                qPrintable(moved));

    // A note the index knows moves again: the index is read again, once.
    QFile::rename(
        vault.filePath(QStringLiteral("Topics/%1/Note %2.md").arg((count / 3) % 50).arg(count / 3)),
        vault.filePath(QStringLiteral("Moved again.md")));
    clock.restart();
    Vault::appendToNote(quoteOf(count / 3), vault.path(), &index);
    std::printf("quote into a note moved during the session (index read again): %.1f ms\n",
                ms(clock));

    clock.restart();
    Vault::appendToNote(quoteOf(count + 1), vault.path(), &index);
    std::printf("first quote of a new article: %.2f ms\n", ms(clock));
    clock.restart();
    Vault::appendToNote(quoteOf(count + 1), vault.path(), &index);
    std::printf("next quote of that article: %.2f ms\n", ms(clock));

    // Quitting while the index is read: how long until the reading thread is free.
    NoteIndex stopped;
    std::thread reading([&] { stopped.build(root); });
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    clock.restart();
    stopped.stop();
    reading.join();
    std::printf("index read stopped after %lld notes, %.2f ms after quitting\n",
                qlonglong(stopped.noteCount()), ms(clock));
    return 0;
}

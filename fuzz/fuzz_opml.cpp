// Subscription lists: any bytes are read or refused, and a list Lumbra writes reads back,
// whatever the names hold (lone surrogates, control characters, markup).

#include "FuzzInput.h"
#include "LumbraCore/Errors.h"
#include "LumbraCore/Opml.h"

#include <QHash>

namespace {

// Any bytes as UTF-16, lone surrogates included: the names a server may send.
QString utf16(const QByteArray& bytes)
{
    return QString(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    try {
        (void)Opml::read(input.all());
    } catch (const DecodingError&) {
    }

    QList<Folder> folders;
    QList<Feed> feeds;
    for (qint64 n = 1; n <= 9; ++n) {
        const QString text = utf16(input.nextBytes());
        if (n % 3 == 1) {
            folders << Folder{n, text};
        } else {
            Feed feed;
            feed.id = n;
            feed.title = text;
            feed.url = QStringLiteral("https://f.example/") + QString::number(n) + text;
            if (n % 3 == 2) feed.folderId = folders.last().id;
            feeds << feed;
        }
    }
    // Feeds come back grouped by folder, so they are matched by address (each starts apart).
    const Opml::List back = Opml::read(Opml::write(folders, feeds));
    FUZZ_REQUIRE(back.entries.size() == feeds.size());
    QHash<QString, Opml::Entry> byAddress;
    for (const Opml::Entry& entry : back.entries)
        byAddress.insert(entry.xmlUrl, entry);
    for (const Feed& feed : std::as_const(feeds)) {
        const auto entry = byAddress.constFind(Opml::xmlText(*feed.url).trimmed());
        FUZZ_REQUIRE(entry != byAddress.cend());
        const QString title = Opml::xmlText(feed.title).simplified();
        FUZZ_REQUIRE(entry->title == title || title.isEmpty());
        const QString folder =
            feed.folderId ? Opml::xmlText(folders[(*feed.folderId - 1) / 3].name).simplified()
                          : QString();
        FUZZ_REQUIRE(entry->folder == folder);
    }
    return 0;
}

// ArticleNote.path and ArticleNote.append on any quote and any existing note, and the quote
// read back for its marks.

#include "FuzzInput.h"
#include "LumbraCore/ArticleNote.h"
#include "LumbraCore/Highlights.h"

#include <unicode/uchar.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    Quote quote;
    quote.itemId = size > 0 ? qint64(data[0]) - 100 : 42;
    quote.title = input.next();
    const QString url = input.next();
    if (!url.isEmpty()) quote.url = url;
    const QString author = input.next();
    if (!author.isEmpty()) quote.author = author;
    quote.feedTitle = input.next();
    quote.text = input.next();
    quote.savedAt = qint64(size) * 86400;
    const QString existing = input.next();

    for (const bool taken : {false, true}) {
        const QString path = ArticleNote::path(quote, [&](const QString&) { return taken; });
        FUZZ_REQUIRE(path.startsWith(QLatin1StringView("lumbra/")));
        FUZZ_REQUIRE(path.endsWith(QLatin1StringView(".md")));
        const QString name = path.mid(7, path.size() - 10);
        FUZZ_REQUIRE(!name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\'));
        FUZZ_REQUIRE(path.count(u'/') == 1 && !name.startsWith(u'.')); // no hidden notes
    }

    // Appending never removes or changes a byte before the note's trailing white space.
    const QString note = ArticleNote::append(existing, quote, QTimeZone::utc());
    qsizetype kept = existing.size();
    while (kept > 0) {
        const bool pair = kept > 1 && existing.at(kept - 1).isLowSurrogate() &&
                          existing.at(kept - 2).isHighSurrogate();
        const char32_t c =
            pair ? QChar::surrogateToUcs4(existing.at(kept - 2), existing.at(kept - 1))
                 : existing.at(kept - 1).unicode();
        if (!u_isUWhiteSpace(UChar32(c))) break;
        kept -= pair ? 2 : 1;
    }
    FUZZ_REQUIRE(note.startsWith(existing.left(kept)));
    FUZZ_REQUIRE(note.endsWith(u'\n'));
    if (kept == 0) // a new note always names its article
        FUZZ_REQUIRE(ArticleNote::isLumbraNoteFor(note, quote));

    // The quote the marks read back is the one appended, white space aside.
    const QList<std::optional<Highlights::Span>> inQuote =
        Highlights::find(quote.text, {quote.text});
    if (inQuote.constFirst()) {
        const QStringList read = Highlights::quotes(note);
        FUZZ_REQUIRE(!read.isEmpty());
        FUZZ_REQUIRE(Highlights::find(quote.text, {read.constLast()}).constFirst());
        FUZZ_REQUIRE(Highlights::find(read.constLast(), {quote.text}).constFirst());
    }
    return 0;
}

// The search over any article: making its text never fails or grows without bound, and
// every word of its title finds it.

#include "FuzzInput.h"
#include "LumbraCore/Search.h"
#include "LumbraCore/Text.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    Item item;
    item.id = 1;
    item.feedId = 1;
    item.title = input.next();
    const QString feedTitle = input.next();
    item.body = ArticleBody(input.nextBytes());

    const QByteArray text = Search::textOf(item, feedTitle);
    // Folding grows a character into at most a few; the body counts only its start.
    const qsizetype fixed = item.title->size() + feedTitle.size() + 3;
    FUZZ_REQUIRE(text.size() <= 12 * (fixed + Search::bodyCharacters));
    FUZZ_REQUIRE(Search::matches(text, Search::words(decodeEntities(*item.title))));
    FUZZ_REQUIRE(Search::matches(text, Search::words(feedTitle)));

    // Each word is kept once: a query finds an article exactly when its whole text holds it.
    const QByteArray plain =
        input.next().remove(u'<').remove(u'&').toUtf8().left(2 * Search::bodyCharacters);
    const QList<QByteArray> query = Search::words(input.next());
    Item words;
    words.body = ArticleBody(plain);
    const QByteArray whole =
        Search::fold(u"\n\n\n"_s + QString::fromUtf8(plain).left(Search::bodyCharacters));
    FUZZ_REQUIRE(Search::matches(Search::textOf(words, QString()), query) ==
                 Search::matches(whole, query));

    // Highlights stay inside what is shown and never overlap.
    const QString shown = decodeEntities(*item.title);
    qsizetype last = 0;
    for (const auto& [start, length] : Search::highlights(shown, Search::words(feedTitle))) {
        FUZZ_REQUIRE(start >= last && length > 0 && start + length <= shown.size());
        last = start + length;
    }
    return 0;
}

// decodeEntities and excerpt on any text.

#include "FuzzInput.h"
#include "LumbraCore/Text.h"

#include <memory>
#include <unicode/brkiter.h>

namespace {

// Counted the way the excerpt counts: ICU's extended grapheme clusters.
qsizetype graphemes(const QString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    static std::unique_ptr<icu::BreakIterator> breaks(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::UnicodeString unicode(reinterpret_cast<const UChar*>(text.utf16()),
                                     int32_t(text.size()));
    breaks->setText(unicode);
    qsizetype count = 0;
    breaks->first();
    while (breaks->next() != icu::BreakIterator::DONE)
        ++count;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const QString text = QString::fromUtf8(input.all());
    // Decoding only ever replaces a reference by something shorter.
    FUZZ_REQUIRE(decodeEntities(text).size() <= text.size());

    const qsizetype max = size > 0 ? data[0] % 200 : 160;
    const QString preview = excerpt(std::optional<QByteArray>(input.all()), max);
    FUZZ_REQUIRE(graphemes(preview) <= max + 1);
    FUZZ_REQUIRE(!preview.contains(u'\n'));
    FUZZ_REQUIRE(!preview.startsWith(u' ') && !preview.endsWith(u' '));
    return 0;
}

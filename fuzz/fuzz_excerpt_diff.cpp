// The linear excerpt and entity decoder give exactly what the pattern-based ones give.

#include "FuzzInput.h"
#include "LumbraCore/Text.h"
#include "ReferenceExcerpt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The reference is quadratic on unclosed tags; small inputs keep it quick.
    if (size > 8192) return 0;
    FuzzInput input(data, size);
    const QByteArray html = input.all();
    const qsizetype max = size > 0 ? data[0] % 200 : 160;
    FUZZ_REQUIRE(excerpt(std::optional<QByteArray>(html), max) == referenceExcerpt(html, max));
    const QString text = QString::fromUtf8(html);
    FUZZ_REQUIRE(decodeEntities(text) == referenceDecodeEntities(text));
    return 0;
}

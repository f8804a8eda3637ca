// domainOf and safeNoteName on any text.

#include "FuzzInput.h"
#include "LumbraCore/NoteNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const QString text = QString::fromUtf8(input.all());

    if (const auto domain = domainOf(text)) {
        FUZZ_REQUIRE(domain->contains(u'.'));
        FUZZ_REQUIRE(*domain == domain->toLower());
    }

    const QString name = safeNoteName(text);
    for (const QChar c : QStringLiteral("\\/:*?\"<>|#^[]\n\r"))
        FUZZ_REQUIRE(!name.contains(c));
    FUZZ_REQUIRE(!name.startsWith(u' ') && !name.endsWith(u' '));
    FUZZ_REQUIRE(name.size() <= 120 * 64); // 120 clusters, however long each is
    return 0;
}

// Item-link parsing on any URL, the round trip through tavoLink, and mail links made safe.

#include "FuzzInput.h"
#include "LumbraCore/ItemLink.h"
#include "LumbraCore/MailLink.h"

#include <QUrlQuery>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput input(data, size);
    const QUrl url(QString::fromUtf8(input.all()));
    // A mail link leaves with no header but subject, body and cc, and is its own safe form.
    if (const auto mail = safeMailLink(url)) {
        FUZZ_REQUIRE(mail->scheme() == QLatin1StringView("mailto"));
        for (const auto& [name, value] : QUrlQuery(*mail).queryItems()) {
            FUZZ_REQUIRE(name == QLatin1StringView("subject") ||
                         name == QLatin1StringView("body") || name == QLatin1StringView("cc"));
        }
        FUZZ_REQUIRE(!mail->path().contains(u'?') && !mail->path().contains(u'&'));
        FUZZ_REQUIRE(safeMailLink(*mail) == mail);
    }
    const auto link = LumbraLink::parse(url);
    if (!link) return 0;
    if (link->url()) {
        const QString scheme = link->url()->scheme().toLower();
        FUZZ_REQUIRE(scheme == QLatin1StringView("http") || scheme == QLatin1StringView("https"));
    }
    const std::optional<QString> article =
        link->url() ? std::optional(link->url()->toString()) : std::nullopt;
    const auto again = LumbraLink::parse(QUrl(tavoLink(link->itemId(), article)));
    FUZZ_REQUIRE(again && again->itemId() == link->itemId());
    FUZZ_REQUIRE(again->url().has_value() == link->url().has_value());
    return 0;
}

// The JSON records and envelopes, a whole items reply and the login replies included:
// decoding never crashes (deep nesting included), what decodes survives encoding and
// decoding again, and an items reply decodes the same whether it arrives whole or in pieces.

#include "FuzzInput.h"
#include "LumbraCore/Json.h"
#include "LumbraCore/LoginReplies.h"
#include "LumbraCore/Quote.h"
#include "LumbraCore/internal/ItemStream.h"

namespace {

template <typename T> std::optional<T> decoded(const QByteArray& json)
{
    try {
        return Json::decode<T>(json);
    } catch (const DecodingError&) {
        return std::nullopt;
    }
}

// `json` fed in three pieces cut where its first bytes say, decoded in small batches.
std::optional<ItemsResponse> streamed(const QByteArray& json)
{
    const qsizetype first = json.isEmpty() ? 0 : uchar(json[0]) * json.size() / 256;
    const qsizetype second = first + (json.size() - first) / 2;
    try {
        ItemStream stream(json.size() > 64 ? uchar(json[json.size() / 2]) : 1);
        stream.feed(json.constData(), first);
        stream.feed(json.constData() + first, second - first);
        stream.feed(json.constData() + second, json.size() - second);
        return stream.finish();
    } catch (const DecodingError&) {
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto items = decoded<ItemsResponse>(json);
    const auto pieces = streamed(json);
    FUZZ_REQUIRE(items.has_value() == pieces.has_value());
    if (items) FUZZ_REQUIRE(items->items == pieces->items);
    decoded<FeedsResponse>(json);
    decoded<FoldersResponse>(json);
    if (const auto account = decoded<Account>(json))
        FUZZ_REQUIRE(Json::decode<Account>(Json::encode(*account)) == *account);
    decoded<LoginFlow::Start>(json);
    decoded<Quote>(json);
    return 0;
}

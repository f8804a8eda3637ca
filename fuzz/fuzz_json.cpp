// The JSON records and envelopes, a whole items reply and the login replies included:
// decoding never crashes (deep nesting included), and what decodes survives encoding and
// decoding again.

#include "FuzzInput.h"
#include "LumbraCore/Json.h"
#include "LumbraCore/LoginReplies.h"
#include "LumbraCore/Quote.h"

namespace {

template <typename T> std::optional<T> decoded(const QByteArray& json)
{
    try {
        return Json::decode<T>(json);
    } catch (const DecodingError&) {
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto items = decoded<ItemsResponse>(json))
        for (const Item& item : items->items)
            FUZZ_REQUIRE(Json::decode<Item>(Json::encode(item)) == item);
    if (const auto feeds = decoded<FeedsResponse>(json))
        FUZZ_REQUIRE(Json::decode<FeedsResponse>(Json::encode(*feeds)) == *feeds);
    decoded<FoldersResponse>(json);
    if (const auto account = decoded<Account>(json))
        FUZZ_REQUIRE(Json::decode<Account>(Json::encode(*account)) == *account);
    if (const auto start = decoded<LoginFlow::Start>(json))
        FUZZ_REQUIRE(Json::decode<LoginFlow::Start>(Json::encode(*start)) == *start);
    if (const auto quote = decoded<Quote>(json))
        FUZZ_REQUIRE(Json::decode<Quote>(Json::encode(*quote)) == *quote);
    return 0;
}

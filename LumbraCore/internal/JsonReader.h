#pragma once

// Internal: strict reading of simdjson on-demand values into Qt types. Every value is
// checked, including those the records ignore, so a reply that is not valid JSON fails.

#include "LumbraCore/Errors.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <memory>
#include <optional>
#include <simdjson.h>
#include <string_view>

namespace JsonReader {

// The deepest nesting a document may have.
inline constexpr int maxDepth = 256;

using Value = simdjson::ondemand::value;

[[noreturn]] void fail(const QString& detail);
[[noreturn]] void fail(const char* what, simdjson::error_code code);
// Re-throws `inner` with its path placed under `outer` (a key or an "[index]").
[[noreturn]] void rethrowWithin(const QString& outer, const DecodingError& inner);

// Unescapes the JSON string whose opening quote is just before `raw`, appending its bytes
// to `out`.
void unescapeInto(const char* raw, std::string& out);

qint64 readInt(Value value);
bool readBool(Value value);
QString readString(Value value);
// Valid until the next call on the same thread.
QByteArrayView readUtf8(Value value);
void skip(Value value);

bool isNull(Value value);

template <typename T, typename Read> std::optional<T> optional(Value value, Read read)
{
    if (isNull(value)) return std::nullopt;
    return read(value);
}

// Calls `onField(key, value)` for every member of the object in `value`; the key is valid
// only during the call. `onField` returns false for keys it does not use, which are then
// validated and skipped.
template <typename OnField> void forEachField(Value value, OnField onField)
{
    simdjson::ondemand::object object;
    if (auto error = value.get_object().get(object))
        fail(QT_TRANSLATE_NOOP("DecodingError", "expected an object"), error);
    std::string key;
    for (auto result : object) {
        simdjson::ondemand::field field;
        if (auto error = std::move(result).get(field))
            fail(QT_TRANSLATE_NOOP("DecodingError", "malformed object"), error);
        key.clear();
        unescapeInto(reinterpret_cast<const char*>(field.key().raw()), key);
        Value member = field.value();
        try {
            if (!onField(std::string_view(key), member)) skip(member);
        } catch (const DecodingError& e) {
            rethrowWithin(QString::fromUtf8(key), e);
        }
    }
}

template <typename OnElement> void forEachElement(Value value, OnElement onElement)
{
    simdjson::ondemand::array array;
    if (auto error = value.get_array().get(array))
        fail(QT_TRANSLATE_NOOP("DecodingError", "expected an array"), error);
    qsizetype index = 0;
    for (auto element : array) {
        Value v;
        if (auto error = std::move(element).get(v))
            fail(QT_TRANSLATE_NOOP("DecodingError", "malformed array"), error);
        try {
            onElement(v);
        } catch (const DecodingError& e) {
            rethrowWithin(QStringLiteral("[%1]").arg(index), e);
        }
        ++index;
    }
}

void requireKeys(std::initializer_list<std::pair<const char*, bool>> seen);

// Parses `json` as one document and hands its root to `readRoot`.
template <typename T, typename ReadRoot> T parse(const QByteArray& json, ReadRoot readRoot);
template <typename T, typename ReadRoot>
T parse(simdjson::padded_string_view input, ReadRoot readRoot);

} // namespace JsonReader

namespace JsonReader::detail {
// A parser sized for `bytes`: small documents share one per thread; a large one gets its
// own, freed with it, so a thread does not keep its index buffers after a huge reply.
std::unique_ptr<simdjson::ondemand::parser> parserFor(size_t bytes);
simdjson::ondemand::parser& sharedParser();
simdjson::padded_string_view padded(const QByteArray& json, simdjson::padded_string& copy);
void requireEnd(simdjson::ondemand::document& doc);
} // namespace JsonReader::detail

template <typename T, typename ReadRoot>
T JsonReader::parse(const QByteArray& json, ReadRoot readRoot)
{
    simdjson::padded_string copy;
    return parse<T>(detail::padded(json, copy), readRoot);
}

template <typename T, typename ReadRoot>
T JsonReader::parse(simdjson::padded_string_view input, ReadRoot readRoot)
{
    const auto ownParser = detail::parserFor(input.size());
    simdjson::ondemand::parser& parser = ownParser ? *ownParser : detail::sharedParser();
    simdjson::ondemand::document doc;
    if (auto error = parser.iterate(input).get(doc))
        fail(QT_TRANSLATE_NOOP("DecodingError", "not JSON"), error);
    Value root;
    if (auto error = doc.get_value().get(root))
        fail(QT_TRANSLATE_NOOP("DecodingError", "not JSON"), error);
    T result = readRoot(root);
    detail::requireEnd(doc);
    return result;
}

#include "LumbraCore/internal/JsonReader.h"

#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <QCoreApplication>
#include <emmintrin.h>
#endif

namespace JsonReader {

void fail(const QString& detail)
{
    throw DecodingError(QString(), detail);
}

void fail(const char* what, simdjson::error_code code)
{
    // The decoder's own words after ours, as they come.
    fail(QCoreApplication::translate("DecodingError", what) + QStringLiteral(" (") +
         QString::fromUtf8(simdjson::error_message(code)) + u')');
}

void rethrowWithin(const QString& outer, const DecodingError& inner)
{
    // Keys are the server's: a long one is cut, so a deep path stays short to build.
    constexpr qsizetype longestKey = 64;
    const QString& path = inner.path();
    QString joined = outer.size() > longestKey ? outer.left(longestKey) + u'\u2026' : outer;
    if (!path.isEmpty()) joined += path.startsWith(u'[') ? path : u'.' + path;
    throw DecodingError(joined, inner.problem());
}

namespace {

// Each byte's value as a hex digit, or -1. Bodies escape every "<" and ">" as \u003C and
// \u003E, so this runs for a large share of a reply's bytes.
constexpr auto hexDigits = [] {
    std::array<signed char, 256> digits{};
    for (int c = 0; c < 256; ++c)
        digits[size_t(c)] = c >= '0' && c <= '9'   ? char(c - '0')
                            : c >= 'a' && c <= 'f' ? char(c - 'a' + 10)
                            : c >= 'A' && c <= 'F' ? char(c - 'A' + 10)
                                                   : char(-1);
    return digits;
}();

unsigned readHex4(const char* p)
{
    const auto digit = [p](int i) { return int(hexDigits[static_cast<unsigned char>(p[i])]); };
    const int a = digit(0), b = digit(1), c = digit(2), d = digit(3);
    if ((a | b | c | d) < 0)
        fail(QCoreApplication::translate("DecodingError", "invalid \\u escape in a string"));
    return unsigned(a << 12 | b << 8 | c << 4 | d);
}

void appendUtf8(unsigned cp, char* out, int& n)
{
    if (cp < 0x80) {
        out[n++] = char(cp);
    } else if (cp < 0x800) {
        out[n++] = char(0xC0 | (cp >> 6));
        out[n++] = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out[n++] = char(0xE0 | (cp >> 12));
        out[n++] = char(0x80 | ((cp >> 6) & 0x3F));
        out[n++] = char(0x80 | (cp & 0x3F));
    } else {
        out[n++] = char(0xF0 | (cp >> 18));
        out[n++] = char(0x80 | ((cp >> 12) & 0x3F));
        out[n++] = char(0x80 | ((cp >> 6) & 0x3F));
        out[n++] = char(0x80 | (cp & 0x3F));
    }
}

// Length of a (short) raw string up to its closing quote. The parser's first stage has
// already refused unescaped control characters and unbalanced quotes.
size_t rawLength(const char* raw)
{
    const char* p = raw;
    while (*p != '"')
        p += *p == '\\' ? 2 : 1;
    return size_t(p - raw);
}

// Appends the unescaped bytes of raw[0, length) to `out`.
template <typename Out> void unescape(const char* raw, size_t length, Out& out)
{
    const char* p = raw;
    const char* end = raw + length;
    const auto start = out.size();
    out.resize(start + length); // unescaping never grows a string
    char* dst = out.data() + start;
#if defined(__SSE2__)
    const __m128i backslash = _mm_set1_epi8('\\');
#endif
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen bytes at a time up to the next escape. Server bodies escape every "<",
        // ">" and "/", so runs are short: a memchr call per run costs more. The store
        // stays inside `out`, since the output never runs ahead of the input.
        while (end - p >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), bytes);
            const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, backslash));
            const int run = hits == 0 ? 16 : __builtin_ctz(unsigned(hits));
            p += run;
            dst += run;
            if (hits != 0) break;
        }
        if (p == end) break;
#endif
        if (*p != '\\') {
            *dst++ = *p++;
            continue;
        }
        const char kind = p[1];
        p += 2;
        switch (kind) {
        case '"':
            *dst++ = '"';
            break;
        case '\\':
            *dst++ = '\\';
            break;
        case '/':
            *dst++ = '/';
            break;
        case 'b':
            *dst++ = '\b';
            break;
        case 'f':
            *dst++ = '\f';
            break;
        case 'n':
            *dst++ = '\n';
            break;
        case 'r':
            *dst++ = '\r';
            break;
        case 't':
            *dst++ = '\t';
            break;
        case 'u': {
            if (end - p < 4)
                fail(
                    QCoreApplication::translate("DecodingError", "invalid \\u escape in a string"));
            unsigned cp = readHex4(p);
            p += 4;
            if (cp < 0x80) { // the escaped markup
                *dst++ = char(cp);
                break;
            }
            if (cp >= 0xD800 && cp <= 0xDBFF) {
                if (end - p < 6 || p[0] != '\\' || p[1] != 'u')
                    fail(QCoreApplication::translate("DecodingError",
                                                     "unpaired surrogate in a string"));
                const unsigned low = readHex4(p + 2);
                if (low < 0xDC00 || low > 0xDFFF)
                    fail(QCoreApplication::translate("DecodingError",
                                                     "unpaired surrogate in a string"));
                p += 6;
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                fail(
                    QCoreApplication::translate("DecodingError", "unpaired surrogate in a string"));
            }
            int n = 0;
            char buffer[4];
            appendUtf8(cp, buffer, n);
            std::memcpy(dst, buffer, size_t(n));
            dst += n;
            break;
        }
        default:
            fail(QCoreApplication::translate("DecodingError", "invalid escape in a string"));
        }
    }
    out.resize(start + (dst - (out.data() + start)));
}

// The raw text of a string value between its quotes. Its end comes from the parser's
// index (the token runs up to the next structural character), so long bodies are not
// scanned for their closing quote.
std::string_view rawString(Value value)
{
    const std::string_view token = value.raw_json_token();
    simdjson::ondemand::raw_json_string raw;
    if (auto error = value.get_raw_json_string().get(raw))
        fail(QT_TRANSLATE_NOOP("DecodingError", "expected a string"), error);
    const size_t close = token.find_last_of('"');
    if (close == 0 || close == std::string_view::npos)
        fail(QCoreApplication::translate("DecodingError", "unterminated string"));
    return token.substr(1, close - 1);
}

} // namespace

void unescapeInto(const char* raw, std::string& out)
{
    unescape(raw, rawLength(raw), out);
}

bool isNull(Value value)
{
    simdjson::ondemand::json_type type;
    if (auto error = value.type().get(type))
        fail(QT_TRANSLATE_NOOP("DecodingError", "malformed value"), error);
    if (type != simdjson::ondemand::json_type::null) return false;
    bool null = false;
    if (value.is_null().get(null) || !null)
        fail(QCoreApplication::translate("DecodingError", "malformed null"));
    return true;
}

qint64 readInt(Value value)
{
    int64_t result = 0;
    if (auto error = value.get_int64().get(result))
        fail(QT_TRANSLATE_NOOP("DecodingError", "expected a 64-bit integer"), error);
    return result;
}

bool readBool(Value value)
{
    bool result = false;
    if (auto error = value.get_bool().get(result))
        fail(QT_TRANSLATE_NOOP("DecodingError", "expected true or false"), error);
    return result;
}

QString readString(Value value)
{
    const std::string_view raw = rawString(value);
    if (raw.find('\\') == std::string_view::npos)
        return QString::fromUtf8(raw.data(), qsizetype(raw.size()));
    thread_local std::string scratch;
    scratch.clear();
    unescape(raw.data(), raw.size(), scratch);
    return QString::fromUtf8(scratch.data(), qsizetype(scratch.size()));
}

QByteArrayView readUtf8(Value value)
{
    // Into a buffer kept for the thread: what is made of the bytes is what stays, and a
    // long list's bodies leave no freed copies between the kept ones.
    const std::string_view raw = rawString(value);
    thread_local std::string scratch;
    // What an earlier huge body grew it to is given back with the next body.
    if (scratch.capacity() > (4 << 20) && raw.size() < (4 << 20)) std::string().swap(scratch);
    scratch.clear();
    unescape(raw.data(), raw.size(), scratch);
    return QByteArrayView(scratch.data(), qsizetype(scratch.size()));
}

void skip(Value value)
{
    // Ignored values are skipped by recursion, so their depth is bounded before it can
    // exhaust the stack; the records themselves are never deeper than a few levels.
    thread_local int depth = 0;
    struct Level {
        Level()
        {
            if (++depth > maxDepth) {
                --depth;
                fail(QCoreApplication::translate("DecodingError", "nested deeper than %1 levels")
                         .arg(maxDepth));
            }
        }
        ~Level() { --depth; }
    } level;
    simdjson::ondemand::json_type type;
    if (auto error = value.type().get(type))
        fail(QT_TRANSLATE_NOOP("DecodingError", "malformed value"), error);
    switch (type) {
    case simdjson::ondemand::json_type::object:
        forEachField(value, [](std::string_view, Value) { return false; });
        break;
    case simdjson::ondemand::json_type::array:
        forEachElement(value, [](Value element) { skip(element); });
        break;
    case simdjson::ondemand::json_type::string: {
        thread_local std::string scratch;
        scratch.clear();
        const std::string_view raw = rawString(value);
        unescape(raw.data(), raw.size(), scratch);
        break;
    }
    case simdjson::ondemand::json_type::number: {
        simdjson::ondemand::number number;
        if (auto error = value.get_number().get(number))
            fail(QT_TRANSLATE_NOOP("DecodingError", "malformed number"), error);
        break;
    }
    case simdjson::ondemand::json_type::boolean:
        readBool(value);
        break;
    case simdjson::ondemand::json_type::null:
        isNull(value);
        break;
    }
}

void requireKeys(std::initializer_list<std::pair<const char*, bool>> seen)
{
    for (const auto& [key, present] : seen)
        if (!present)
            throw DecodingError(
                QString::fromUtf8(key),
                QCoreApplication::translate("DecodingError", "required key is missing"));
}

} // namespace JsonReader

namespace JsonReader::detail {

std::unique_ptr<simdjson::ondemand::parser> parserFor(size_t bytes)
{
    if (bytes < 4 * 1024 * 1024) return nullptr;
    return std::make_unique<simdjson::ondemand::parser>(bytes);
}

simdjson::ondemand::parser& sharedParser()
{
    thread_local simdjson::ondemand::parser instance;
    return instance;
}

simdjson::padded_string_view padded(const QByteArray& json, simdjson::padded_string& copy)
{
    const auto size = size_t(json.size());
    if (json.capacity() - json.size() >= qsizetype(simdjson::SIMDJSON_PADDING))
        return simdjson::padded_string_view(json.constData(), size, size_t(json.capacity()));
    copy = simdjson::padded_string(json.constData(), size);
    return copy;
}

void requireEnd(simdjson::ondemand::document& doc)
{
    const char* location = nullptr;
    if (doc.current_location().get(location) != simdjson::OUT_OF_BOUNDS)
        fail(QCoreApplication::translate("DecodingError",
                                         "unexpected content after the end of the document"));
}

} // namespace JsonReader::detail

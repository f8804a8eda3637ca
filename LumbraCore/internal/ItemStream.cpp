#include "LumbraCore/internal/ItemStream.h"

#include "LumbraCore/Json.h"
#include "LumbraCore/internal/RecordReaders.h"

#include <QThreadPool>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#if defined(__SSE2__)
#include <QCoreApplication>
#include <emmintrin.h>
#endif

using namespace JsonReader;

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// One 64-byte block as bit masks, bit i for byte i.
struct Block {
    uint64_t quote = 0;
    uint64_t backslash = 0;
    uint64_t structural = 0; // { } [ ] ,

    explicit Block(const char* p)
    {
#if defined(__SSE2__)
        const __m128i lower = _mm_set1_epi8(0x20);
        for (int i = 0; i < 4; ++i) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
            // '[' and ']' are '{' and '}' without the 0x20 bit.
            const __m128i folded = _mm_or_si128(bytes, lower);
            const auto bits = [&](__m128i hits) {
                return uint64_t(uint16_t(_mm_movemask_epi8(hits))) << (16 * i);
            };
            quote |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')));
            backslash |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')));
            structural |=
                bits(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(folded, _mm_set1_epi8('{')),
                                               _mm_cmpeq_epi8(folded, _mm_set1_epi8('}'))),
                                  _mm_cmpeq_epi8(bytes, _mm_set1_epi8(','))));
        }
#else
        for (int i = 0; i < 64; ++i) {
            const uint64_t bit = uint64_t(1) << i;
            const char c = p[i];
            if (c == '"') quote |= bit;
            if (c == '\\') backslash |= bit;
            if (c == '{' || c == '}' || c == '[' || c == ']' || c == ',') structural |= bit;
        }
#endif
    }
};

// The characters a backslash escapes. `carry` says whether the block's first character is
// escaped, and becomes the same for the next block. (Runs of backslashes escape in pairs.)
uint64_t escapedBy(uint64_t backslash, uint64_t& carry)
{
    constexpr uint64_t even = 0x5555555555555555ULL;
    backslash &= ~carry;
    const uint64_t followsBackslash = backslash << 1 | carry;
    const uint64_t oddStarts = backslash & ~even & ~followsBackslash;
    uint64_t evenStarts = 0;
    carry = __builtin_add_overflow(oddStarts, backslash, &evenStarts) ? 1 : 0;
    return (even ^ (evenStarts << 1)) & followsBackslash;
}

// Bit i is set when an odd number of bits at or below i are.
uint64_t prefixXor(uint64_t bits)
{
    for (int shift = 1; shift < 64; shift *= 2)
        bits ^= bits << shift;
    return bits;
}

// Brackets open inside one item; deeper than this no item can be read anyway.
constexpr size_t deepestElement = 1024;

} // namespace

ItemStream::ItemStream(qsizetype batchBytes, QThreadPool* helpers)
    : m_batchBytes(batchBytes), m_helpers(helpers)
{
}

void ItemStream::fail(const QString& problem) const
{
    throw DecodingError(QStringLiteral("items"), problem);
}

void ItemStream::feed(const char* data, qsizetype size)
{
    try {
        take(data, size);
    } catch (const DecodingError&) {
        collect(0); // a batch before this point may have failed first
        throw;
    }
}

void ItemStream::take(const char* data, qsizetype size)
{
    switch (m_phase) {
    case Phase::whole:
    case Phase::tail:
        m_buffer.append(data, size);
        return;
    case Phase::envelope:
        m_buffer.append(data, size);
        matchEnvelope();
        if (m_phase != Phase::list) return;
        break;
    case Phase::list:
        m_buffer.append(data, size);
        break;
    }
    scan();
    if (m_phase == Phase::list && m_cut > m_batchBytes) decodeBatch(m_cut);
}

// Finds `{"items":[` at the start; any other opening is read whole at the end.
void ItemStream::matchEnvelope()
{
    static constexpr char pattern[] = "{\"items\":[";
    const char* p = m_buffer.constData();
    const char* const end = p + m_buffer.size();
    for (const char* expected = pattern; *expected != '\0'; ++expected) {
        // Whitespace may stand between the tokens, not inside the key.
        const bool insideKey = expected > pattern + 1 && expected < pattern + 8;
        if (!insideKey)
            while (p < end && isSpace(*p))
                ++p;
        if (p == end) {
            // More to come. Only whitespace keeps a reply undecided this long: it is read
            // whole rather than looked at again from the start with every piece.
            if (m_buffer.size() > 4096) m_phase = Phase::whole;
            return;
        }
        if (*p != *expected) {
            m_phase = Phase::whole;
            return;
        }
        ++p;
    }
    m_buffer.remove(0, p - m_buffer.constData());
    m_buffer.prepend('[');
    m_scanned = 1;
    m_phase = Phase::list;
}

// Finds, outside strings, the list's commas (where a batch may end), its end, and the
// brackets in between; 64 bytes at a time, so long bodies cost a few instructions a block.
void ItemStream::scan()
{
    const char* const begin = m_buffer.constData();
    for (; m_buffer.size() - m_scanned >= 64; m_scanned += 64) {
        const Block block(begin + m_scanned);
        const uint64_t quotes = block.quote & ~escapedBy(block.backslash, m_escapeCarry);
        // From an opening quote up to its closing one.
        const uint64_t inString = prefixXor(quotes) ^ m_stringCarry;
        m_stringCarry = uint64_t(int64_t(inString) >> 63);
        for (uint64_t bits = block.structural & ~inString; bits != 0; bits &= bits - 1) {
            const qsizetype at = m_scanned + __builtin_ctzll(bits);
            const char c = begin[at];
            if (c == ',') {
                if (m_open.empty()) m_cut = at;
            } else if (c == '{' || c == '[') {
                if (m_open.size() == deepestElement)
                    fail(
                        QCoreApplication::translate("DecodingError", "nested deeper than %1 levels")
                            .arg(deepestElement));
                m_open.push_back(c);
            } else if (m_open.empty()) {
                if (c == '}')
                    fail(QCoreApplication::translate("DecodingError", "unbalanced brackets"));
                return closeList(at);
            } else {
                if (m_open.back() != (c == '}' ? '{' : '['))
                    fail(QCoreApplication::translate("DecodingError", "unbalanced brackets"));
                m_open.pop_back();
            }
        }
    }
}

// The list ends at m_buffer[close]: decodes what is left of it and keeps what follows.
void ItemStream::closeList(qsizetype close)
{
    decodeBatch(close);
    m_buffer.remove(0, 1);
    m_phase = Phase::tail;
}

// Decodes the elements in m_buffer[1, end) (m_buffer[0] is '[') and keeps what follows.
void ItemStream::decodeBatch(qsizetype end)
{
    // Between two commas, or a comma and an end, there must be an element; only a list
    // without commas may be empty.
    const char* const content = m_buffer.constData() + 1;
    if (std::all_of(content, content + end - 1, isSpace) && (m_batches > 0 || m_buffer[end] == ','))
        fail(QCoreApplication::translate("DecodingError", "an empty element"));
    ++m_batches;
    const auto padding = qsizetype(simdjson::SIMDJSON_PADDING);
    if (m_helpers) {
        // The batch takes the buffer, which then starts again with the bytes after it: no
        // copy, so a single huge item is not held twice.
        QByteArray batch = std::exchange(m_buffer, QByteArray());
        m_buffer.reserve(std::max(batch.size() - end, 2 * m_batchBytes));
        m_buffer.append('[');
        m_buffer.append(batch.constData() + end + 1, batch.size() - end - 1);
        batch.resize(end + 1);
        batch[end] = ']';
        batch.reserve(end + 1 + padding);
        auto task = std::make_shared<std::packaged_task<Decoded()>>([batch = std::move(batch)] {
            return decodeItems(batch.constData(), size_t(batch.size()), size_t(batch.capacity()));
        });
        m_decoding.push_back(task->get_future());
        m_helpers->start([task] { (*task)(); });
        m_scanned -= end;
        m_cut = 0;
        // One batch more than there are helpers, so that one is always ready to start.
        collect(size_t(std::max(1, m_helpers->maxThreadCount())) + 1);
        return;
    }
    // Decoded where it lies, with a ']' in place of the comma for a moment.
    const qsizetype held = m_buffer.size();
    const char saved = m_buffer[end];
    m_buffer[end] = ']';
    if (held < end + 1 + padding) m_buffer.resize(end + 1 + padding, ' ');
    Decoded decoded = decodeItems(m_buffer.constData(), size_t(end + 1), size_t(m_buffer.size()));
    m_buffer.resize(held);
    m_buffer[end] = saved;
    append(std::move(decoded));
    // Keep '[' and the bytes after the batch's last element and its comma.
    m_buffer.remove(1, end);
    m_scanned -= end;
    m_cut = 0;
}

ItemStream::Decoded ItemStream::decodeItems(const char* json, size_t size, size_t capacity)
{
    Decoded decoded;
    decoded.items = settled([&] {
        QList<Item> items;
        parse<int>(simdjson::padded_string_view(json, size, capacity), [&](Value root) {
            // Not forEachElement: error paths count in the whole list, not in the batch.
            simdjson::ondemand::array array;
            if (auto error = root.get_array().get(array))
                JsonReader::fail(QT_TRANSLATE_NOOP("DecodingError", "expected an array"), error);
            for (auto element : array) {
                Value value;
                if (auto error = std::move(element).get(value))
                    JsonReader::fail(QT_TRANSLATE_NOOP("DecodingError", "malformed array"), error);
                decoded.failedAt = items.size();
                items.append(RecordReaders::readItem(value));
                decoded.failedAt = -1;
            }
            return 0;
        });
        return items;
    });
    return decoded;
}

void ItemStream::append(Decoded decoded)
{
    if (decoded.items.failure) {
        // Later batches cannot fail first any more: their outcome no longer counts.
        m_decoding.clear();
        try {
            std::rethrow_exception(decoded.items.failure);
        } catch (const DecodingError& e) {
            if (decoded.failedAt < 0) rethrowWithin(QStringLiteral("items"), e);
            try {
                rethrowWithin(QStringLiteral("[%1]").arg(m_items.size() + decoded.failedAt), e);
            } catch (const DecodingError& within) {
                rethrowWithin(QStringLiteral("items"), within);
            }
        }
    }
    m_items.append(decoded.items.take());
}

void ItemStream::collect(size_t left)
{
    while (m_decoding.size() > left) {
        std::future<Decoded> oldest = std::move(m_decoding.front());
        m_decoding.pop_front();
        append(oldest.get());
    }
}

ItemsResponse ItemStream::finish()
{
    if (m_phase == Phase::envelope || m_phase == Phase::whole)
        return Json::decode<ItemsResponse>(m_buffer);
    try {
        if (m_phase == Phase::list) {
            // The last bytes, in a block of their own: spaces change nothing.
            m_buffer.append(64, ' ');
            scan();
            if (m_phase == Phase::list)
                fail(
                    QCoreApplication::translate("DecodingError", "the reply ends inside the list"));
        }
    } catch (const DecodingError&) {
        collect(0);
        throw;
    }
    collect(0);
    // What follows the list is read as the rest of the envelope. A later "items" key
    // replaces the list, as it does when the reply is decoded whole.
    const QByteArray rest = QByteArrayLiteral("{\"items\":[]") + m_buffer;
    std::optional<QList<Item>> later;
    parse<int>(rest, [&](Value root) {
        bool first = true;
        forEachField(root, [&](std::string_view key, Value value) {
            if (key != "items") return false;
            QList<Item> list;
            forEachElement(value,
                           [&](Value element) { list.append(RecordReaders::readItem(element)); });
            if (!first) later = std::move(list);
            first = false;
            return true;
        });
        return 0;
    });
    if (later) m_items = std::move(*later);
    m_buffer = QByteArray();
    return ItemsResponse{std::move(m_items)};
}

#include "PhpJson.h"

#include <cstdio>

namespace sandbox {

namespace {

void appendEscape(std::string& out, unsigned unit, bool upper)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, upper ? "\\u%04X" : "\\u%04x", unit);
    out += buffer;
}

// Decodes one UTF-8 sequence at `p`; invalid bytes come out as U+FFFD.
unsigned nextCodePoint(std::string_view s, size_t& i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned c = byte(i);
    int length = c < 0x80           ? 1
                 : (c >> 5) == 0x6  ? 2
                 : (c >> 4) == 0xE  ? 3
                 : (c >> 3) == 0x1E ? 4
                                    : 0;
    if (length == 0 || i + size_t(length) > s.size()) {
        ++i;
        return 0xFFFD;
    }
    unsigned cp = length == 1 ? c : c & (0xFF >> (length + 1));
    for (int k = 1; k < length; ++k) {
        const unsigned next = byte(i + size_t(k));
        if ((next & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    i += size_t(length);
    return cp;
}

} // namespace

void PhpJson::separate()
{
    if (m_needComma) m_out += ',';
    m_needComma = true;
}

PhpJson& PhpJson::beginObject()
{
    separate();
    m_out += '{';
    m_needComma = false;
    return *this;
}

PhpJson& PhpJson::endObject()
{
    m_out += '}';
    m_needComma = true;
    return *this;
}

PhpJson& PhpJson::beginArray()
{
    separate();
    m_out += '[';
    m_needComma = false;
    return *this;
}

PhpJson& PhpJson::endArray()
{
    m_out += ']';
    m_needComma = true;
    return *this;
}

PhpJson& PhpJson::key(std::string_view name)
{
    string(name);
    m_out += ':';
    m_needComma = false;
    return *this;
}

PhpJson& PhpJson::string(std::string_view s)
{
    separate();
    m_out += '"';
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            const unsigned cp = nextCodePoint(s, i);
            if (cp >= 0x10000) {
                appendEscape(m_out, 0xD800 + ((cp - 0x10000) >> 10), false);
                appendEscape(m_out, 0xDC00 + ((cp - 0x10000) & 0x3FF), false);
            } else {
                appendEscape(m_out, cp, false);
            }
            continue;
        }
        ++i;
        switch (c) {
        case '"':
            m_out += "\\\"";
            break;
        case '\\':
            m_out += "\\\\";
            break;
        case '/':
            m_out += "\\/";
            break;
        case '\n':
            m_out += "\\n";
            break;
        case '\r':
            m_out += "\\r";
            break;
        case '\t':
            m_out += "\\t";
            break;
        case '\b':
            m_out += "\\b";
            break;
        case '\f':
            m_out += "\\f";
            break;
        case '<':
            m_out += "\\u003C";
            break;
        case '>':
            m_out += "\\u003E";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                appendEscape(m_out, static_cast<unsigned char>(c), false);
            else
                m_out += c;
        }
    }
    m_out += '"';
    return *this;
}

PhpJson& PhpJson::string(const std::optional<std::string>& s)
{
    return s ? string(*s) : null();
}

PhpJson& PhpJson::number(int64_t value)
{
    separate();
    m_out += std::to_string(value);
    return *this;
}

PhpJson& PhpJson::number(const std::optional<int64_t>& value)
{
    return value ? number(*value) : null();
}

PhpJson& PhpJson::boolean(bool value)
{
    separate();
    m_out += value ? "true" : "false";
    return *this;
}

PhpJson& PhpJson::null()
{
    separate();
    m_out += "null";
    return *this;
}

PhpJson& PhpJson::raw(std::string_view json)
{
    separate();
    m_out += json;
    return *this;
}

} // namespace sandbox

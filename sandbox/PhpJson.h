#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sandbox {

// Writes JSON the way Nextcloud's PHP does: "/" as "\/", "<" and ">" as "\u003C" and
// "\u003E", every non-ASCII character as a lower-case "\uxxxx" escape (surrogate pairs
// above the BMP).
class PhpJson {
public:
    PhpJson& beginObject();
    PhpJson& endObject();
    PhpJson& beginArray();
    PhpJson& endArray();
    PhpJson& key(std::string_view name);
    PhpJson& string(std::string_view utf8);
    PhpJson& string(const std::optional<std::string>& utf8);
    PhpJson& string(const std::string& utf8) { return string(std::string_view(utf8)); }
    PhpJson& string(const char* utf8) { return string(std::string_view(utf8)); }
    PhpJson& number(int64_t value);
    PhpJson& number(const std::optional<int64_t>& value);
    PhpJson& boolean(bool value);
    PhpJson& null();
    // Inserts already encoded JSON as the next value.
    PhpJson& raw(std::string_view json);

    const std::string& text() const { return m_out; }
    std::string take() { return std::move(m_out); }
    void reserve(size_t bytes) { m_out.reserve(bytes); }

private:
    void separate();
    std::string m_out;
    bool m_needComma = false;
};

} // namespace sandbox

#include "Wire.h"

#include "PhpJson.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <random>
#include <string_view>

namespace sandbox {

std::string randomText(size_t length)
{
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::lock_guard lock(mutex);
    std::string text(length, ' ');
    for (char& c : text)
        c = alphabet[random() % (sizeof alphabet - 1)];
    return text;
}

// Form bodies as PHP reads them: "+" is a space, %XX a byte.
std::map<std::string, std::string> parseForm(const std::string& body)
{
    std::map<std::string, std::string> fields;
    size_t start = 0;
    while (start <= body.size()) {
        const size_t end = std::min(body.find('&', start), body.size());
        const std::string pair = body.substr(start, end - start);
        const size_t equals = pair.find('=');
        const auto decode = [](const std::string& s) {
            std::string out;
            for (size_t i = 0; i < s.size(); ++i) {
                if (s[i] == '+') {
                    out += ' ';
                } else if (s[i] == '%' && i + 2 < s.size() + 0 && std::isxdigit(s[i + 1]) &&
                           std::isxdigit(s[i + 2])) {
                    out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                } else {
                    out += s[i];
                }
            }
            return out;
        };
        if (!pair.empty())
            fields.emplace(decode(pair.substr(0, equals)),
                           equals == std::string::npos ? "" : decode(pair.substr(equals + 1)));
        start = end + 1;
    }
    return fields;
}

Sandbox::Reply json(int status, std::string body)
{
    return {status, "application/json; charset=utf-8", std::move(body)};
}

Sandbox::Reply html(int status, const std::string& title, const std::string& content)
{
    return {status, "text/html; charset=UTF-8",
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
                "</title></head>\n<body>" + content + "</body>\n</html>\n"};
}

Sandbox::Reply message(int status, const std::string& text)
{
    PhpJson body;
    body.beginObject().key("message").string(text).endObject();
    return json(status, body.take());
}

Sandbox::Reply serverError()
{
    return html(500, "Internal Server Error",
                "<h2>Internal Server Error</h2><p>The server was unable to complete your "
                "request.</p>");
}

Sandbox::Reply methodNotAllowed()
{
    return {405, "text/html; charset=UTF-8", ""};
}

std::optional<int64_t> parseInt(const std::string& text)
{
    if (text.empty()) return std::nullopt;
    try {
        size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used != text.size()) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<std::optional<int64_t>> soleNumber(const std::string& body, std::string_view key)
{
    // {"<key>": 12} or {"<key>": null}, with any spaces, and nothing else.
    size_t at = 0;
    const auto skipSpaces = [&] {
        while (at < body.size() && std::isspace(static_cast<unsigned char>(body[at])))
            ++at;
    };
    const auto take = [&](std::string_view expected) {
        skipSpaces();
        if (body.compare(at, expected.size(), expected) != 0) return false;
        at += expected.size();
        return true;
    };
    if (!take("{") || !take("\"") || !take(key) || !take("\"") || !take(":")) return std::nullopt;
    skipSpaces();
    std::optional<int64_t> value;
    if (!take("null")) {
        const size_t start = at;
        if (at < body.size() && body[at] == '-') ++at;
        while (at < body.size() && std::isdigit(static_cast<unsigned char>(body[at])))
            ++at;
        value = parseInt(body.substr(start, at - start));
        if (!value) return std::nullopt;
    }
    if (!take("}")) return std::nullopt;
    skipSpaces();
    if (at != body.size()) return std::nullopt;
    return value;
}

std::optional<int64_t> newestItemId(const std::string& body)
{
    return soleNumber(body, "newestItemId").value_or(std::nullopt);
}

// {"itemIds": [1, 2]}: read by hand, as a pattern over a long list would exhaust the stack.
std::optional<std::vector<int64_t>> itemIds(const std::string& body)
{
    const size_t key = body.find("\"itemIds\"");
    const size_t open = body.find('[', key == std::string::npos ? 0 : key);
    const size_t close = body.find(']', open == std::string::npos ? 0 : open);
    if (key == std::string::npos || open == std::string::npos || close == std::string::npos)
        return std::nullopt;
    std::vector<int64_t> ids;
    size_t at = open + 1;
    while (at < close) {
        while (at < close && (body[at] == ' ' || body[at] == ','))
            ++at;
        if (at >= close) break;
        size_t end = at;
        if (body[end] == '-') ++end;
        while (end < close && std::isdigit(static_cast<unsigned char>(body[end])))
            ++end;
        const auto id = parseInt(body.substr(at, end - at));
        if (!id) return std::nullopt;
        ids.push_back(*id);
        at = end;
    }
    return ids;
}

bool boolParam(const std::map<std::string, std::string>& query, const char* name, bool fallback)
{
    const auto it = query.find(name);
    if (it == query.end()) return fallback;
    return it->second == "true" || it->second == "1";
}

int64_t intParam(const std::map<std::string, std::string>& query, const char* name,
                 int64_t fallback)
{
    const auto it = query.find(name);
    if (it == query.end()) return fallback;
    return parseInt(it->second).value_or(fallback);
}

} // namespace sandbox

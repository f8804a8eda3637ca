#pragma once

// What goes over the wire: the sandbox's kinds of answer, and the parts of requests it
// reads, as the real server reads them.

#include "Sandbox.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sandbox {

// Letters and digits, for tokens and app passwords.
std::string randomText(size_t length);

Sandbox::Reply json(int status, std::string body);
Sandbox::Reply html(int status, const std::string& title, const std::string& content);
// {"message": text}, as the News API reports errors.
Sandbox::Reply message(int status, const std::string& text);
Sandbox::Reply serverError();
Sandbox::Reply methodNotAllowed();

// Form bodies as PHP reads them: "+" is a space, %XX a byte.
std::map<std::string, std::string> parseForm(const std::string& body);
// A whole decimal number, or none.
std::optional<int64_t> parseInt(const std::string& text);
// {"<key>": 12} or {"<key>": null}; none when the body is anything else.
std::optional<std::optional<int64_t>> soleNumber(const std::string& body, std::string_view key);
// {"newestItemId": 12}
std::optional<int64_t> newestItemId(const std::string& body);
// {"itemIds": [1, 2]}
std::optional<std::vector<int64_t>> itemIds(const std::string& body);
bool boolParam(const std::map<std::string, std::string>& query, const char* name, bool fallback);
int64_t intParam(const std::map<std::string, std::string>& query, const char* name,
                 int64_t fallback);

} // namespace sandbox

#pragma once

#include <optional>
#include <string_view>

// The HTML5 named character references.
namespace HtmlEntities {

// The longest name, in characters, without "&" and ";".
constexpr size_t longestName = 31;

// The text `name` (without "&" and ";", case-sensitive) stands for; none when it is no
// HTML5 reference.
std::optional<std::u16string_view> find(std::u16string_view name);

} // namespace HtmlEntities

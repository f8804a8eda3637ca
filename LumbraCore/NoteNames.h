#pragma once

#include <QString>
#include <optional>

// The host of a URL, lower-cased, without a leading "www."; absent unless it has a dot.
std::optional<QString> domainOf(const std::optional<QString>& url);

// A text usable as an Obsidian note name: no path or link characters, one line, at most
// 120 user-perceived characters. May be empty.
QString safeNoteName(const QString& text);

#pragma once

// Internal: the ICU pieces the text functions share (regular expressions, grapheme
// clusters, the two kinds of white space the formats trim).

#include <QString>
#include <memory>
#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace Unicode {

icu::UnicodeString toIcu(QStringView text);
QString fromIcu(const icu::UnicodeString& text);

// Compiles a constant pattern; a pattern that does not compile is a programming error.
std::unique_ptr<icu::RegexPattern> compile(const icu::UnicodeString& pattern);

// Every match of `pattern` replaced by the literal `replacement`.
icu::UnicodeString replaceAll(const icu::RegexPattern& pattern, const icu::UnicodeString& text,
                              const icu::UnicodeString& replacement);

// Number of non-overlapping matches of `pattern` in `text`.
int countMatches(const icu::RegexPattern& pattern, const icu::UnicodeString& text);

// The first `count` extended grapheme clusters of `text`; `cut` tells whether anything was
// left out.
icu::UnicodeString leftGraphemes(const icu::UnicodeString& text, qsizetype count, bool* cut);

// The longest start of `text` whose UTF-8 form has at most `bytes` bytes, ending between
// grapheme clusters (or between code points when the first cluster alone is too long).
QString leftWithinUtf8(const QString& text, qsizetype bytes);

// Trims the "whitespaces" set: general category Zs and the tab, but no line breaks.
icu::UnicodeString trimSpaces(const icu::UnicodeString& text);
QString trimSpaces(const QString& text);

// Removes trailing characters with the White_Space property, line breaks included.
QString trimTrailingWhiteSpace(const QString& text);

} // namespace Unicode

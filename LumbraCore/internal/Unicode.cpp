#include "LumbraCore/internal/Unicode.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>

#include <cstdlib>

namespace Unicode {

icu::UnicodeString toIcu(QStringView text)
{
    return icu::UnicodeString(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
}

QString fromIcu(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

std::unique_ptr<icu::RegexPattern> compile(const icu::UnicodeString& pattern)
{
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(pattern, 0, parseError, status));
    if (U_FAILURE(status)) std::abort();
    return compiled;
}

icu::UnicodeString replaceAll(const icu::RegexPattern& pattern, const icu::UnicodeString& text,
                              const icu::UnicodeString& replacement)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    if (U_FAILURE(status)) return text;
    icu::UnicodeString result;
    while (matcher->find(status) && U_SUCCESS(status)) {
        matcher->appendReplacement(result, icu::UnicodeString(), status);
        result.append(replacement);
    }
    matcher->appendTail(result);
    return U_SUCCESS(status) ? result : text;
}

int countMatches(const icu::RegexPattern& pattern, const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    int count = 0;
    while (U_SUCCESS(status) && matcher->find(status))
        ++count;
    return count;
}

namespace {

icu::BreakIterator& characterBreaks()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) std::abort();
        return it;
    }();
    return *iterator;
}

bool isSpace(UChar32 c)
{
    return c == u'\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

} // namespace

icu::UnicodeString leftGraphemes(const icu::UnicodeString& text, qsizetype count, bool* cut)
{
    icu::BreakIterator& breaks = characterBreaks();
    breaks.setText(text);
    int32_t end = breaks.first();
    for (qsizetype i = 0; i < count; ++i) {
        const int32_t next = breaks.next();
        if (next == icu::BreakIterator::DONE) {
            *cut = false;
            return text;
        }
        end = next;
    }
    *cut = end < text.length();
    return icu::UnicodeString(text, 0, end);
}

QString leftWithinUtf8(const QString& text, qsizetype bytes)
{
    const icu::UnicodeString unicode = toIcu(text);
    // A lone surrogate becomes U+FFFD: three bytes, like the rest of its plane.
    const auto utf8 = [](UChar32 c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; };
    icu::BreakIterator& breaks = characterBreaks();
    breaks.setText(unicode);
    qsizetype used = 0;
    int32_t fits = 0;
    for (int32_t end = breaks.next(); end != icu::BreakIterator::DONE; end = breaks.next()) {
        qsizetype cluster = 0;
        for (int32_t i = fits; i < end; i = unicode.moveIndex32(i, 1))
            cluster += utf8(unicode.char32At(i));
        if (used + cluster > bytes) break;
        used += cluster;
        fits = end;
    }
    if (fits == unicode.length()) return text;
    if (fits == 0) { // the first cluster alone is too long: cut it between code points
        for (int32_t i = 0; i < unicode.length(); i = fits) {
            used += utf8(unicode.char32At(i));
            if (used > bytes) break;
            fits = unicode.moveIndex32(i, 1);
        }
    }
    return fromIcu(icu::UnicodeString(unicode, 0, fits));
}

icu::UnicodeString trimSpaces(const icu::UnicodeString& text)
{
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end && isSpace(text.char32At(start)))
        start = text.moveIndex32(start, 1);
    while (end > start) {
        const int32_t previous = text.moveIndex32(end, -1);
        if (!isSpace(text.char32At(previous))) break;
        end = previous;
    }
    return icu::UnicodeString(text, start, end - start);
}

QString trimSpaces(const QString& text)
{
    return fromIcu(trimSpaces(toIcu(text)));
}

QString trimTrailingWhiteSpace(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0) {
        char32_t c = text.at(end - 1).unicode();
        qsizetype width = 1;
        if (QChar::isLowSurrogate(c) && end > 1 && text.at(end - 2).isHighSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(end - 2), text.at(end - 1));
            width = 2;
        }
        if (!u_isUWhiteSpace(UChar32(c))) break;
        end -= width;
    }
    return text.left(end);
}

} // namespace Unicode

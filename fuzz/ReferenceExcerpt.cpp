// The excerpt as it was first written, with ICU patterns that take quadratic time on
// unclosed tags. The fuzz target checks the linear one against it on small inputs.

#include "ReferenceExcerpt.h"

#include "LumbraCore/internal/HtmlEntities.h"
#include "LumbraCore/internal/Unicode.h"

#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

using Unicode::compile;
using Unicode::replaceAll;

namespace {

const icu::RegexPattern& numericReference()
{
    static const auto pattern = compile(u"&#(x[0-9a-fA-F]+|[0-9]+);");
    return *pattern;
}

// Parses decimal or "x"-prefixed hexadecimal digits as an unsigned 32-bit value.
std::optional<quint32> parseReference(const icu::UnicodeString& digits)
{
    const bool hex = digits.startsWith(u'x');
    const quint64 base = hex ? 16 : 10;
    quint64 value = 0;
    for (int32_t i = hex ? 1 : 0; i < digits.length(); ++i) {
        const char16_t c = digits.charAt(i);
        const quint64 digit = c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10;
        value = value * base + digit;
        if (value > std::numeric_limits<quint32>::max()) return std::nullopt;
    }
    return quint32(value);
}

// Every HTML5 named reference but "&amp;", matched on the whole text first and then
// replaced last to first.
void replaceHtml5Named(icu::UnicodeString& text)
{
    static const auto reference = compile(u"&([A-Za-z0-9]{1,31});");
    std::vector<std::pair<int32_t, int32_t>> matches;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(reference->matcher(text, status));
    while (U_SUCCESS(status) && matcher->find(status))
        matches.emplace_back(matcher->start(status), matcher->end(status));
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
        const std::u16string_view name(text.getBuffer() + it->first + 1,
                                       size_t(it->second - it->first - 2));
        if (name == u"amp") continue;
        const auto found = HtmlEntities::find(name);
        if (!found) continue;
        const icu::UnicodeString replacement =
            name == u"nbsp" ? icu::UnicodeString(u" ")
                            : icu::UnicodeString(found->data(), int32_t(found->size()));
        text.replace(it->first, it->second - it->first, replacement);
    }
}

// `html5` decodes every HTML5 named reference, as excerpts do; otherwise only the five.
icu::UnicodeString referenceDecode(icu::UnicodeString text, bool html5)
{
    static const std::pair<const char16_t*, const char16_t*> named[] = {
        {u"&nbsp;", u" "}, {u"&lt;", u"<"}, {u"&gt;", u">"}, {u"&quot;", u"\""}, {u"&apos;", u"'"}};
    if (html5)
        replaceHtml5Named(text);
    else
        for (const auto& [reference, replacement] : named)
            text.findAndReplace(icu::UnicodeString(reference), icu::UnicodeString(replacement));

    struct Match {
        int32_t start;
        int32_t end;
        icu::UnicodeString digits;
    };
    std::vector<Match> matches;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(numericReference().matcher(text, status));
    while (U_SUCCESS(status) && matcher->find(status))
        matches.push_back(
            {matcher->start(status), matcher->end(status), matcher->group(1, status)});
    // Last to first, so earlier positions stay valid.
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
        const auto value = parseReference(it->digits);
        if (!value || *value >= 0x110000 || (*value >= 0xD800 && *value <= 0xDFFF)) continue;
        text.replace(it->start, it->end - it->start, UChar32(*value));
    }

    text.findAndReplace(icu::UnicodeString(u"&amp;"), icu::UnicodeString(u"&"));
    return text;
}

// A pattern matching `names` in any ASCII case and nothing longer: "b" gives "([bB])".
icu::UnicodeString anyCase(std::initializer_list<const char*> names)
{
    icu::UnicodeString pattern(u"(");
    for (const char* name : names) {
        if (pattern.length() > 1) pattern.append(u'|');
        for (const char* c = name; *c; ++c) {
            const char lower = *c;
            const char upper = char(lower >= 'a' && lower <= 'z' ? lower - 32 : lower);
            pattern.append(u'[').append(char16_t(lower)).append(char16_t(upper)).append(u']');
        }
    }
    return pattern.append(u")(?![A-Za-z0-9])");
}

// Where a block starts or ends, until blocks are parted.
constexpr char16_t blockMark = u'\u001E';

// Each tag found by `tag`, left to right, replaced as a browser shows it: nothing for an
// inline element, quotation marks for <q>, a mark for a block's edge, a space for any other.
icu::UnicodeString replacedTags(const icu::RegexPattern& tag, const icu::UnicodeString& text)
{
    static const auto openQuote = compile(icu::UnicodeString(u"^<") + anyCase({"q"}));
    static const auto closeQuote = compile(icu::UnicodeString(u"^</") + anyCase({"q"}));
    static const auto inlineTag =
        compile(icu::UnicodeString(u"^</?") +
                anyCase({"a",   "abbr", "b",     "bdi",  "bdo",    "cite", "code", "data",
                         "del", "dfn",  "em",    "font", "i",      "ins",  "kbd",  "mark",
                         "s",   "samp", "small", "span", "strong", "sub",  "sup",  "u"}));
    static const auto blockTag =
        compile(icu::UnicodeString(u"^</?") +
                anyCase({"address", "article", "blockquote", "dd",  "div", "dl", "dt", "figcaption",
                         "footer",  "h1",      "h2",         "h3",  "h4",  "h5", "h6", "header",
                         "li",      "ol",      "p",          "pre", "tr",  "ul"}));
    const auto starts = [](const icu::RegexPattern& pattern, const icu::UnicodeString& piece) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(piece, status));
        return U_SUCCESS(status) && matcher->lookingAt(status) && U_SUCCESS(status);
    };
    icu::UnicodeString out;
    int32_t copied = 0;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(tag.matcher(text, status));
    while (U_SUCCESS(status) && matcher->find(status)) {
        const int32_t start = matcher->start(status);
        const int32_t end = matcher->end(status);
        const icu::UnicodeString piece(text, start, end - start);
        out.append(text, copied, start - copied);
        if (starts(*openQuote, piece))
            out.append(u'\u201C');
        else if (starts(*closeQuote, piece))
            out.append(u'\u201D');
        else if (starts(*blockTag, piece))
            out.append(blockMark);
        else if (!starts(*inlineTag, piece))
            out.append(u' ');
        copied = end;
    }
    return out.append(text, copied, text.length() - copied);
}

QString referenceExcerpt(const icu::UnicodeString& html, qsizetype max)
{
    static const auto scriptOrStyle = compile(u"(?is)<(script|style)[^>]*>.*?</\\1>");
    static const auto tag = compile(u"<[^>]+>");
    static const auto whiteSpace = compile(u"\\s+");
    const icu::UnicodeString space(u" ");

    icu::UnicodeString text = replaceAll(*scriptOrStyle, html, space);
    text = replacedTags(*tag, text);
    text = referenceDecode(std::move(text), true);
    text = replaceAll(*whiteSpace, text, space);
    // Blocks parted: nothing at either end, a space after a sentence's end, else a dot.
    static const auto leadingBlock = compile(u"^[ \u001E]*\u001E[ \u001E]*");
    static const auto trailingBlock = compile(u"[ \u001E]*\u001E[ \u001E]*$");
    static const auto afterSentence =
        compile(u"(?<=[.!?:;,\u2026\u201D\u00BB)])[ \u001E]*\u001E[ \u001E]*");
    static const auto betweenBlocks = compile(u"[ \u001E]*\u001E[ \u001E]*");
    text = replaceAll(*leadingBlock, text, icu::UnicodeString());
    text = replaceAll(*trailingBlock, text, icu::UnicodeString());
    text = replaceAll(*afterSentence, text, space);
    text = replaceAll(*betweenBlocks, text, icu::UnicodeString(u" \u00B7 "));
    text = Unicode::trimSpaces(text);

    bool cut = false;
    icu::UnicodeString prefix = Unicode::leftGraphemes(text, max, &cut);
    if (!cut) return Unicode::fromIcu(text);
    const int32_t lastSpace = prefix.lastIndexOf(u' ');
    if (lastSpace >= 0) prefix.truncate(lastSpace);
    prefix.append(u'\u2026');
    return Unicode::fromIcu(prefix);
}

} // namespace

QString referenceExcerpt(const QByteArray& html, qsizetype max)
{
    return referenceExcerpt(
        icu::UnicodeString::fromUTF8(icu::StringPiece(html.constData(), int32_t(html.size()))),
        max);
}

QString referenceDecodeEntities(const QString& text)
{
    return Unicode::fromIcu(referenceDecode(Unicode::toIcu(text), false));
}

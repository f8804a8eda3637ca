#include "LumbraCore/Text.h"

#include "LumbraCore/internal/HtmlEntities.h"
#include "LumbraCore/internal/Unicode.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <vector>

using Unicode::compile;
using Unicode::replaceAll;

QList<Item> newestFirst(QList<Item> items, qint64 now)
{
    // Sorting (key, index) pairs and moving each item once is far cheaper than sorting items.
    struct Entry {
        qint64 date;
        qint64 id;
        qsizetype index;
    };
    std::vector<Entry> current;
    std::vector<Entry> future;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const qint64 date = item.pubDate.value_or(0);
        if (date <= now)
            current.push_back(
                {item.pubDate.value_or(std::numeric_limits<qint64>::min()), item.id, i});
        else
            future.push_back({date, item.id, i});
    }
    std::stable_sort(current.begin(), current.end(), [](const Entry& a, const Entry& b) {
        return a.date != b.date ? a.date > b.date : a.id > b.id;
    });
    // Ties go by id in both parts, so a list merged from changes comes out as a full load.
    std::stable_sort(future.begin(), future.end(), [](const Entry& a, const Entry& b) {
        return a.date != b.date ? a.date < b.date : a.id > b.id;
    });
    std::vector<qsizetype> order;
    order.reserve(items.size());
    for (const Entry& e : current)
        order.push_back(e.index);
    for (const Entry& e : future)
        order.push_back(e.index);
    // Moved into place along the permutation's cycles: a long list is not held twice.
    std::vector<bool> placed(order.size());
    for (qsizetype start = 0; start < qsizetype(order.size()); ++start) {
        if (placed[start]) continue;
        Item held = std::move(items[start]);
        for (qsizetype at = start;;) {
            placed[at] = true;
            const qsizetype from = order[at];
            if (from == start) {
                items[at] = std::move(held);
                break;
            }
            items[at] = std::move(items[from]);
            at = from;
        }
    }
    return items;
}

namespace {

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

// Every function below runs in time linear in its input: bodies are written by strangers,
// and a pattern that rescans the rest of the text at each "<" freezes the window on a few
// thousand unclosed tags.

// "&" followed by `name` at `at`.
bool hasAt(const icu::UnicodeString& text, int32_t at, const char16_t* name, int32_t length)
{
    return at + length <= text.length() && text.compare(at, length, name, 0, length) == 0;
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool isAsciiLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isHexDigit(char16_t c)
{
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The five named references, in one pass.
icu::UnicodeString decodeNamed(const icu::UnicodeString& text)
{
    static const std::pair<std::u16string_view, char16_t> named[] = {
        {u"&nbsp;", u' '}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&apos;", u'\''}};
    icu::UnicodeString out;
    int32_t copied = 0;
    for (int32_t i = text.indexOf(u'&'); i >= 0; i = text.indexOf(u'&', i)) {
        bool replaced = false;
        for (const auto& [reference, replacement] : named) {
            const auto length = int32_t(reference.size());
            if (!hasAt(text, i, reference.data(), length)) continue;
            out.append(text, copied, i - copied).append(replacement);
            copied = i += length;
            replaced = true;
            break;
        }
        if (!replaced) ++i;
    }
    return copied == 0 ? text : out.append(text, copied, text.length() - copied);
}

// Numeric references ("&#65;", "&#x41;"), in one pass. A reference that names no character
// stays as it is, and scanning goes on after it.
icu::UnicodeString decodeNumeric(const icu::UnicodeString& text)
{
    icu::UnicodeString out;
    int32_t copied = 0;
    const int32_t length = text.length();
    for (int32_t i = text.indexOf(u'&'); i >= 0; i = text.indexOf(u'&', i)) {
        int32_t p = i + 1;
        if (p >= length || text.charAt(p) != u'#') {
            ++i;
            continue;
        }
        ++p;
        int32_t digits = p;
        bool hex = p < length && text.charAt(p) == u'x' && p + 1 < length &&
                   isHexDigit(text.charAt(p + 1));
        if (hex) {
            digits = ++p;
            while (p < length && isHexDigit(text.charAt(p)))
                ++p;
        } else {
            while (p < length && isDigit(text.charAt(p)))
                ++p;
        }
        if (p == digits || p >= length || text.charAt(p) != u';') {
            ++i;
            continue;
        }
        const auto value = parseReference(
            icu::UnicodeString(text, hex ? digits - 1 : digits, p - digits + (hex ? 1 : 0)));
        const int32_t end = p + 1;
        if (value && *value < 0x110000 && (*value < 0xD800 || *value > 0xDFFF)) {
            out.append(text, copied, i - copied).append(UChar32(*value));
            copied = end;
        }
        i = end;
    }
    return copied == 0 ? text : out.append(text, copied, length - copied);
}

// "&amp;" to "&", left to right, never decoding what a replacement produced.
icu::UnicodeString decodeAmpersands(const icu::UnicodeString& text)
{
    icu::UnicodeString out;
    int32_t copied = 0;
    for (int32_t i = text.indexOf(u"&amp;", 5, 0); i >= 0; i = text.indexOf(u"&amp;", 5, i)) {
        out.append(text, copied, i + 1 - copied);
        copied = i += 5;
    }
    return copied == 0 ? text : out.append(text, copied, text.length() - copied);
}

icu::UnicodeString decodeEntities(const icu::UnicodeString& text)
{
    return decodeAmpersands(decodeNumeric(decodeNamed(text)));
}

// Every HTML5 named reference but "&amp;" (decoded last, as above), in one pass; "&nbsp;"
// becomes an ordinary space as above.
icu::UnicodeString decodeHtml5Named(const icu::UnicodeString& text)
{
    icu::UnicodeString out;
    int32_t copied = 0;
    const int32_t length = text.length();
    for (int32_t i = text.indexOf(u'&'); i >= 0; i = text.indexOf(u'&', i)) {
        int32_t end = i + 1;
        const int32_t longest = std::min(length, end + int32_t(HtmlEntities::longestName));
        while (end < longest && (isDigit(text.charAt(end)) || isAsciiLetter(text.charAt(end))))
            ++end;
        if (end == i + 1 || end >= length || text.charAt(end) != u';') {
            ++i;
            continue;
        }
        const std::u16string_view name(text.getBuffer() + i + 1, size_t(end - i - 1));
        const auto found = name == u"amp" ? std::nullopt : HtmlEntities::find(name);
        if (!found) {
            ++i;
            continue;
        }
        out.append(text, copied, i - copied);
        if (name == u"nbsp")
            out.append(u' ');
        else
            out.append(found->data(), int32_t(found->size()));
        copied = i = end + 1;
    }
    return copied == 0 ? text : out.append(text, copied, length - copied);
}

// Replaces each script or style element (from "<script" or "<style", any case, to the
// first matching end tag after the start tag's ">") by a space. Start and end tags are
// found once each; an element without an end tag is left as it is.
icu::UnicodeString withoutScriptsAndStyles(const icu::UnicodeString& html)
{
    static const auto opening = compile(u"(?i)<(script|style)");
    static const auto closing = compile(u"(?i)</(script|style)>");
    struct Tag {
        int32_t start;
        int32_t end;
        icu::UnicodeString name; // case-folded
    };
    const auto tags = [&html](const icu::RegexPattern& pattern) {
        std::vector<Tag> found;
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(html, status));
        while (U_SUCCESS(status) && matcher->find(status))
            found.push_back({matcher->start(status), matcher->end(status),
                             matcher->group(1, status).foldCase()});
        return found;
    };
    const std::vector<Tag> starts = tags(*opening);
    if (starts.empty()) return html;
    const std::vector<Tag> ends = tags(*closing);

    icu::UnicodeString out;
    int32_t copied = 0;
    int32_t gt = -1;                // the first ">" at or after the last position asked
    std::vector<size_t> nextEnd(2); // per name, the first end tag not yet passed
    for (const Tag& start : starts) {
        if (start.start < copied) continue; // inside the element just removed
        if (gt < start.end) gt = html.indexOf(u'>', start.end);
        if (gt < 0) break; // no ">" after this one, so none after any later one either
        const size_t kind = start.name == icu::UnicodeString(u"script") ? 0 : 1;
        size_t& e = nextEnd[kind];
        while (e < ends.size() && (ends[e].start <= gt || ends[e].name != start.name))
            ++e;
        if (e == ends.size()) continue;
        out.append(html, copied, start.start - copied).append(u' ');
        copied = ends[e].end;
    }
    return copied == 0 ? html : out.append(html, copied, html.length() - copied);
}

// Stands where a block (a paragraph, a list item, a heading) starts or ends, until the
// excerpt decides how to part the blocks' texts.
constexpr char16_t blockMark = u'\u001E';

// What a tag leaves in the text as a browser shows it: inline elements run on with their
// neighbours ("first</a>."), a quotation is marked, a block is set apart, everything else
// parts words.
icu::UnicodeString tagText(const icu::UnicodeString& text, int32_t open, int32_t close)
{
    int32_t start = open + 1;
    const bool closing = start < close && text.charAt(start) == u'/';
    if (closing) ++start;
    // Tag names are ASCII; a name is compared lower-cased, as HTML does.
    const auto asciiAlnum = [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
    };
    int32_t end = start;
    // One past the longest name matched, so that a longer one is never taken for it.
    while (end < close && end - start < 11 && asciiAlnum(text.charAt(end)))
        ++end;
    icu::UnicodeString name;
    for (int32_t i = start; i < end; ++i) {
        const char16_t c = text.charAt(i);
        name.append(char16_t(c >= u'A' && c <= u'Z' ? c + 32 : c));
    }
    if (name == u"q")
        return closing ? icu::UnicodeString(u"\u201D") : icu::UnicodeString(u"\u201C");
    static const std::array<std::u16string_view, 24> inlineNames{
        u"a",   u"abbr", u"b",     u"bdi",  u"bdo",    u"cite", u"code", u"data",
        u"del", u"dfn",  u"em",    u"font", u"i",      u"ins",  u"kbd",  u"mark",
        u"s",   u"samp", u"small", u"span", u"strong", u"sub",  u"sup",  u"u"};
    const std::u16string_view view(name.getBuffer(), size_t(name.length()));
    if (std::find(inlineNames.begin(), inlineNames.end(), view) != inlineNames.end()) return {};
    static const std::array<std::u16string_view, 22> blockNames{
        u"address", u"article", u"blockquote", u"dd",  u"div", u"dl", u"dt", u"figcaption",
        u"footer",  u"h1",      u"h2",         u"h3",  u"h4",  u"h5", u"h6", u"header",
        u"li",      u"ol",      u"p",          u"pre", u"tr",  u"ul"};
    if (std::find(blockNames.begin(), blockNames.end(), view) != blockNames.end())
        return icu::UnicodeString(blockMark);
    return icu::UnicodeString(u" ");
}

icu::UnicodeString withoutTags(const icu::UnicodeString& text)
{
    icu::UnicodeString out;
    int32_t copied = 0;
    const int32_t length = text.length();
    for (int32_t i = text.indexOf(u'<'); i >= 0; i = text.indexOf(u'<', i)) {
        if (i + 1 < length && text.charAt(i + 1) == u'>') {
            ++i;
            continue;
        }
        const int32_t close = text.indexOf(u'>', i + 1);
        if (close < 0) break;
        out.append(text, copied, i - copied).append(tagText(text, i, close));
        copied = i = close + 1;
    }
    return copied == 0 ? text : out.append(text, copied, length - copied);
}

// Blocks' texts parted as a line's end parts them on the page: after a sentence's end a
// space does, after a list item or a heading without one a middle dot.
icu::UnicodeString separateBlocks(const icu::UnicodeString& text)
{
    if (text.indexOf(blockMark) < 0) return text;
    icu::UnicodeString out;
    const int32_t length = text.length();
    for (int32_t i = 0; i < length;) {
        const char16_t c = text.charAt(i);
        if (c != u' ' && c != blockMark) {
            out.append(c);
            ++i;
            continue;
        }
        bool block = false;
        int32_t end = i;
        for (; end < length && (text.charAt(end) == u' ' || text.charAt(end) == blockMark); ++end)
            block = block || text.charAt(end) == blockMark;
        if (!block) {
            out.append(text, i, end - i);
        } else if (!out.isEmpty() && end < length) {
            static const icu::UnicodeString ends(u".!?:;,\u2026\u201D\u00BB)");
            out.append(ends.indexOf(out.charAt(out.length() - 1)) >= 0
                           ? icu::UnicodeString(u" ")
                           : icu::UnicodeString(u" \u00B7 "));
        }
        i = end;
    }
    return out;
}

QString excerpt(const icu::UnicodeString& html, qsizetype max)
{
    static const auto whiteSpace = compile(u"\\s+");
    const icu::UnicodeString space(u" ");

    icu::UnicodeString text = withoutTags(withoutScriptsAndStyles(html));
    // Excerpts decode every named reference a browser would ("&mdash;", "&hellip;").
    text = decodeAmpersands(decodeNumeric(decodeHtml5Named(text)));
    text = replaceAll(*whiteSpace, text, space);
    text = Unicode::trimSpaces(separateBlocks(text));

    bool cut = false;
    icu::UnicodeString prefix = Unicode::leftGraphemes(text, max, &cut);
    if (!cut) return Unicode::fromIcu(text);
    const int32_t lastSpace = prefix.lastIndexOf(u' ');
    if (lastSpace >= 0) prefix.truncate(lastSpace);
    prefix.append(u'\u2026');
    return Unicode::fromIcu(prefix);
}

} // namespace

QString excerpt(const std::optional<QByteArray>& html, qsizetype max)
{
    if (!html) return QString();
    return excerpt(
        icu::UnicodeString::fromUTF8(icu::StringPiece(html->constData(), int32_t(html->size()))),
        max);
}

QString excerpt(const std::optional<QString>& html, qsizetype max)
{
    if (!html) return QString();
    return excerpt(Unicode::toIcu(*html), max);
}

QString decodeEntities(const QString& text)
{
    return Unicode::fromIcu(decodeEntities(Unicode::toIcu(text)));
}

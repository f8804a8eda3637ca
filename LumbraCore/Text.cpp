#include "LumbraCore/Text.h"

#include "LumbraCore/internal/Unicode.h"

#include <algorithm>
#include <limits>
#include <vector>

using Unicode::compile;
using Unicode::replaceAll;

QList<Item> newestFirst(const QList<Item>& items, qint64 now)
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
    std::stable_sort(future.begin(), future.end(),
                     [](const Entry& a, const Entry& b) { return a.date < b.date; });
    QList<Item> result;
    result.reserve(items.size());
    for (const Entry& e : current)
        result.append(items[e.index]);
    for (const Entry& e : future)
        result.append(items[e.index]);
    return result;
}

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

icu::UnicodeString decodeEntities(icu::UnicodeString text)
{
    static const std::pair<const char16_t*, const char16_t*> named[] = {
        {u"&nbsp;", u" "}, {u"&lt;", u"<"}, {u"&gt;", u">"}, {u"&quot;", u"\""}, {u"&apos;", u"'"}};
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

QString excerpt(const icu::UnicodeString& html, qsizetype max)
{
    static const auto scriptOrStyle = compile(u"(?is)<(script|style)[^>]*>.*?</\\1>");
    static const auto tag = compile(u"<[^>]+>");
    static const auto whiteSpace = compile(u"\\s+");
    const icu::UnicodeString space(u" ");

    icu::UnicodeString text = replaceAll(*scriptOrStyle, html, space);
    text = replaceAll(*tag, text, space);
    text = decodeEntities(std::move(text));
    text = replaceAll(*whiteSpace, text, space);
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

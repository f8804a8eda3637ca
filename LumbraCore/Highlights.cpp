#include "LumbraCore/Highlights.h"

#include <QStringTokenizer>

namespace Highlights {

namespace {

// What a line of a block quote holds after its ">" and one space; none for another line.
std::optional<QStringView> quotedLine(QStringView line)
{
    if (line.endsWith(u'\r')) line.chop(1);
    qsizetype at = 0;
    while (at < 3 && at < line.size() && line[at] == u' ')
        ++at;
    if (at >= line.size() || line[at] != u'>') return std::nullopt;
    ++at;
    if (at < line.size() && line[at] == u' ') ++at;
    return line.sliced(at);
}

bool isBackLink(QStringView line)
{
    return line.startsWith(u'[') && line.contains(u"](tavo://lumbra/item/");
}

// A backslash before ASCII punctuation stands for the punctuation.
void appendUnescaped(QString& out, QStringView text)
{
    for (qsizetype at = 0; at < text.size(); ++at) {
        static constexpr QStringView punctuation = u"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
        if (text[at] == u'\\' && at + 1 < text.size() && punctuation.contains(text[at + 1])) ++at;
        out += text[at];
    }
}

bool ignored(QChar c)
{
    return c.isSpace() || c.category() == QChar::Other_Format ||
           c == QChar::ObjectReplacementCharacter;
}

QChar folded(QChar c)
{
    return c.isSurrogate() ? c : QChar(QChar::toCaseFolded(c.unicode()));
}

// The text without what `ignored` sets aside, case-folded, and where each of its
// characters stands in the text.
struct Bare {
    QString text;
    QList<qsizetype> at;
};

Bare bare(QStringView text, bool positions)
{
    Bare out;
    out.text.reserve(text.size());
    if (positions) out.at.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (ignored(text[at])) continue;
        out.text += folded(text[at]);
        if (positions) out.at += at;
    }
    return out;
}

} // namespace

QStringList quotes(QStringView noteText)
{
    QStringList found;
    QString quote;
    bool open = false;
    for (const QStringView line : QStringTokenizer(noteText, u'\n')) {
        const std::optional<QStringView> content = quotedLine(line);
        if (!content) {
            quote.clear();
            open = false;
            continue;
        }
        if (isBackLink(*content)) {
            if (std::any_of(quote.cbegin(), quote.cend(), [](QChar c) { return !ignored(c); }))
                found << quote.trimmed();
            quote.clear();
            open = false;
            continue;
        }
        if (open) quote += u'\n';
        appendUnescaped(quote, *content);
        open = true;
    }
    return found;
}

QList<std::optional<Span>> find(QStringView text, const QStringList& quotes)
{
    QList<std::optional<Span>> spans;
    spans.reserve(quotes.size());
    if (quotes.isEmpty()) return spans;
    const Bare shown = bare(text, true);
    for (const QString& quote : quotes) {
        const QString needle = bare(quote, false).text;
        const qsizetype at = needle.isEmpty() ? -1 : shown.text.indexOf(needle);
        if (at < 0) {
            spans << std::nullopt;
            continue;
        }
        const qsizetype start = shown.at[at];
        spans << Span{start, shown.at[at + needle.size() - 1] + 1 - start};
    }
    return spans;
}

} // namespace Highlights

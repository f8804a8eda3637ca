#include "LumbraCore/ArticleNote.h"

#include "LumbraCore/ItemLink.h"
#include "LumbraCore/NoteNames.h"
#include "LumbraCore/internal/Unicode.h"

#include <QDateTime>
#include <QSet>
#include <QStringList>

namespace ArticleNote {

namespace {

bool isBlank(const QString& text)
{
    return Unicode::trimSpaces(text).isEmpty();
}

// Feed data written into the note stays on its line: a title or address with line
// breaks would otherwise write Markdown of a stranger's choosing (a "---" block, a code
// block a plugin runs). Line breaks, separators and other control characters become spaces.
QString oneLine(QString text)
{
    for (QChar& c : text) {
        const auto category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            c = u' ';
    }
    return text;
}

// A front matter value that a YAML reader reads back as the same text: plain where plain
// reads the same (so ordinary notes look as they always did), double-quoted otherwise.
QString yamlValue(const QString& value)
{
    static const QString indicators = QStringLiteral("-?:,[]{}#&*!|>'\"%@`");
    const bool plain = !value.isEmpty() && !indicators.contains(value.front()) &&
                       !value.front().isSpace() && !value.back().isSpace() &&
                       !value.endsWith(u':') && !value.contains(QLatin1StringView(": ")) &&
                       !value.contains(QLatin1StringView(" #")) && !value.contains(u'\t');
    if (plain) return value;
    QString quoted = value;
    quoted.replace(u'\\', QLatin1StringView("\\\\")).replace(u'"', QLatin1StringView("\\\""));
    return u'"' + quoted + u'"';
}

// Text shown as it is in Markdown: a backslash before what would be read as syntax.
// `lineStart` says whether the text begins a line, where more characters start a block.
QString literal(const QString& text, bool lineStart)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    qsizetype start = 0;
    while (lineStart && start < text.size() && text.at(start) == u' ')
        out += text.at(start++);
    if (lineStart && start < text.size()) {
        qsizetype digits = start;
        while (digits < text.size() && text.at(digits).isDigit() && digits - start < 9)
            ++digits;
        if (digits > start && digits < text.size() &&
            (text.at(digits) == u'.' || text.at(digits) == u')')) {
            out += text.mid(start, digits - start) + u'\\';
            start = digits;
        } else if (QStringView(u">-+*=_~#:").contains(text.at(start))) {
            out += u'\\';
            out += text.at(start++);
        }
    }
    for (qsizetype at = start; at < text.size(); ++at) {
        const QChar c = text.at(at);
        const QChar next = at + 1 < text.size() ? text.at(at + 1) : QChar();
        const bool escaped = QStringView(u"\\`<[^|").contains(c) || (c == u'%' && next == u'%') ||
                             (c == u'#' && !next.isNull() && !next.isSpace()) ||
                             (c == u'&' && (next.isLetterOrNumber() || next == u'#'));
        if (escaped) out += u'\\';
        out += c;
    }
    return out;
}

// The article's address as the title line's link target. It is the line's only link: one
// that would end the link early is written between angle brackets. So is one holding a
// backslash or an entity (`&lt;`), which a reader would decode.
QString linkTarget(const QString& url)
{
    QString target = oneLine(url);
    if (target.contains(u' ') || target.contains(u'(') || target.contains(u')') ||
        target.contains(u'<') || target.contains(u'>') || target.contains(u'\\') ||
        (target.contains(u'&') && target.contains(u';')))
        target = u'<' +
                 QString(target)
                     .replace(u'\\', QLatin1StringView("\\\\"))
                     .replace(u'&', QLatin1StringView("&amp;"))
                     .replace(u'<', QLatin1StringView("\\<"))
                     .replace(u'>', QLatin1StringView("\\>")) +
                 u'>';
    return target;
}

QString frontMatter(const Quote& quote, const QTimeZone& timeZone)
{
    const std::optional<QString> url = address(quote);
    QStringList lines{QStringLiteral("---")};
    const QString authorName = author(quote);
    if (!authorName.isEmpty()) {
        lines << QStringLiteral("auteur:");
        lines << QStringLiteral("  - ") +
                     yamlValue(QStringLiteral("[[") + oneLine(authorName) + QStringLiteral("]]"));
    }
    if (quote.siteLink)
        lines << QStringLiteral("site: ") + yamlValue(oneLine(*quote.siteLink));
    else if (const auto domain = domainOf(url))
        lines << QStringLiteral("site: ") + yamlValue(u"https://" + oneLine(*domain) + u'/');
    if (url) lines << QStringLiteral("url: ") + yamlValue(oneLine(*url));
    const QDateTime saved = QDateTime::fromSecsSinceEpoch(quote.savedAt, timeZone);
    lines << QStringLiteral("datum: ") + saved.toString(QStringLiteral("yyyy-MM-dd"));
    lines << QStringLiteral("---");
    if (url) {
        QString title = oneLine(quote.title);
        title.replace(u']', u')');
        lines << u'[' + literal(title, false) + QStringLiteral("](") + linkTarget(*url) + u')';
    } else {
        lines << literal(oneLine(quote.title), true);
    }
    return lines.join(u'\n');
}

} // namespace

namespace {

// A name starting with a dot would be a hidden file, which Obsidian never shows: an author
// link to ".NET news" would name a note that never appears.
QString visibleNoteName(const QString& text)
{
    QString name = safeNoteName(text);
    while (name.startsWith(u'.'))
        name = Unicode::trimSpaces(name.mid(1));
    return name;
}

} // namespace

QString author(const Quote& quote)
{
    if (quote.author && !isBlank(*quote.author)) return visibleNoteName(*quote.author);
    if (!isBlank(quote.feedTitle)) return visibleNoteName(quote.feedTitle);
    return visibleNoteName(
        domainOf(quote.siteLink ? quote.siteLink : address(quote)).value_or(QString()));
}

std::optional<QString> address(const Quote& quote)
{
    if (!quote.url || isBlank(*quote.url)) return std::nullopt;
    return quote.url;
}

QString path(const Quote& quote, const std::function<bool(const QString&)>& taken)
{
    QString name = visibleNoteName(quote.title);
    if (name.isEmpty()) name = QStringLiteral("Article ") + QString::number(quote.itemId);
    // A file name holds 255 bytes, whatever the characters, and the atomic save first writes
    // beside the note under its name plus ".XXXXXX": cut the name to fit, between characters.
    constexpr qsizetype fileNameBytes = 255 - 7;
    const auto fitted = [&name](const QString& ending) {
        const QString kept = Unicode::leftWithinUtf8(name, fileNameBytes - ending.toUtf8().size());
        return QString(Unicode::trimSpaces(kept) + ending);
    };
    const QString folder = articleFolder + u'/';
    QStringList words; // what tells same-named notes apart, in the order they are tried
    if (const auto domain = domainOf(address(quote)))
        words << Unicode::leftWithinUtf8(safeNoteName(*domain), 100);
    const QString id = QString::number(quote.itemId);
    words << id;
    for (int n = 2; n <= 20; ++n)
        words << id + u' ' + QString::number(n);
    QString candidate = folder + fitted(QStringLiteral(".md"));
    for (const QString& word : words) {
        if (!taken(candidate)) return candidate;
        candidate = folder + fitted(QStringLiteral(" (") + word + QStringLiteral(").md"));
    }
    return candidate;
}

namespace {

// Whether `needle` stands in `text` as a whole: followed by the end or by a character
// `ends` accepts, so "…/item/4" is not found in "…/item/42", nor "…/post" in "…/post-2".
template <typename Ends> bool containsWhole(const QString& text, const QString& needle, Ends ends)
{
    for (qsizetype at = text.indexOf(needle); at >= 0; at = text.indexOf(needle, at + 1)) {
        const qsizetype after = at + needle.size();
        if (after == text.size() || ends(text.at(after))) return true;
    }
    return false;
}

} // namespace

bool isFor(const QString& noteText, const Quote& quote)
{
    if (const std::optional<QString> url = address(quote))
        // As the note has it (on one line); there it ends a line, a Markdown link or a
        // quoted value. A quote's back link names the address exactly, however it was
        // written elsewhere.
        return containsWhole(
                   noteText, oneLine(*url),
                   [](QChar c) { return c.isSpace() || QStringView(u")>]\"'<|").contains(c); }) ||
               containsWhole(noteText, tavoLink(quote.itemId, url),
                             [](QChar c) { return c == u')'; });
    return containsWhole(noteText,
                         QStringLiteral("tavo://lumbra/item/") + QString::number(quote.itemId),
                         [](QChar c) { return !c.isDigit(); });
}

namespace {

// Whether the note's top is what Lumbra writes for the article: front matter (with the
// article's address, when it has one), then the title line (a link to that address, or
// the title). A note a user pastes Lumbra's quotes into has a top of its own.
bool topIsFor(QStringView text, const Quote& quote)
{
    if (text.startsWith(u'\uFEFF')) text = text.sliced(1);
    // Obsidian adds properties to the front matter; a few hundred lines are plenty.
    constexpr int mostLines = 400;
    QList<QStringView> lines;
    for (qsizetype at = 0; at <= text.size() && lines.size() <= mostLines;) {
        qsizetype end = text.indexOf(u'\n', at);
        if (end < 0) end = text.size();
        QStringView line = text.sliced(at, end - at);
        if (line.endsWith(u'\r')) line.chop(1);
        lines << line;
        at = end + 1;
    }
    if (lines.isEmpty() || lines.first() != u"---") return false;
    qsizetype close = 1;
    while (close < lines.size() && lines[close] != u"---")
        ++close;
    if (close >= lines.size()) return false;
    if (close + 1 >= lines.size()) return false;
    const std::optional<QString> url = address(quote);
    // An article without title or address has an empty title line.
    if (!url && oneLine(quote.title).trimmed().isEmpty())
        return lines[close + 1].trimmed().isEmpty();
    qsizetype title = close + 1;
    while (title < lines.size() && lines[title].trimmed().isEmpty())
        ++title;
    if (title >= lines.size()) return false;
    if (url) {
        // An address in the front matter, and the title a link to it, as Lumbra writes it
        // or wrote it once (the address as it is).
        const bool addressed =
            std::any_of(lines.cbegin() + 1, lines.cbegin() + close,
                        [](QStringView line) { return line.startsWith(u"url:"); });
        const QStringView line = lines[title];
        return addressed && line.startsWith(u'[') &&
               (line.endsWith(QString(u"](" + linkTarget(*url) + u')')) ||
                line.endsWith(QString(u"](" + *url + u')')));
    }
    // Without an address, the title as Lumbra writes it, or wrote it once.
    return lines[title] == literal(oneLine(quote.title), true) || lines[title] == quote.title;
}

} // namespace

bool isLumbraNoteFor(const QString& noteText, const Quote& quote)
{
    const QString blockId = QStringLiteral(" ^lumbra-") + QString::number(quote.itemId) + u'-';
    return containsWhole(noteText, blockId, [](QChar c) { return c.isDigit(); }) &&
           topIsFor(noteText, quote);
}

QString writtenUrl(const QString& url)
{
    return oneLine(url);
}

Owners owners(const QString& noteText)
{
    // Only a note with Lumbra's block ids is one of Lumbra's: a user's note that merely
    // links to an article or names its address is none.
    Owners found;
    QSet<qint64> ids;
    const QLatin1StringView blockStart(" ^lumbra-");
    for (qsizetype at = noteText.indexOf(blockStart); at >= 0;
         at = noteText.indexOf(blockStart, at + 1)) {
        const qsizetype from = at + blockStart.size();
        qsizetype end = from;
        if (end < noteText.size() && noteText.at(end) == u'-') ++end;
        while (end < noteText.size() && noteText.at(end).isDigit() && end - from < 21)
            ++end;
        if (end + 1 >= noteText.size() || noteText.at(end) != u'-' ||
            !noteText.at(end + 1).isDigit())
            continue;
        bool ok = false;
        const qint64 id = QStringView(noteText).sliced(from, end - from).toLongLong(&ok);
        if (ok && !ids.contains(id)) {
            ids.insert(id);
            found.itemIds << id;
        }
    }
    if (found.itemIds.isEmpty()) return found;
    const QLatin1StringView urlKey("url: ");
    for (const QStringView line : QStringView(noteText).split(u'\n')) {
        if (!line.startsWith(urlKey)) continue;
        QStringView url = line.mid(urlKey.size());
        if (url.endsWith(u'\r')) url.chop(1);
        if (!url.trimmed().isEmpty()) found.urls << url.toString();
    }
    return found;
}

QString append(const QString& existing, const Quote& quote, const QTimeZone& timeZone)
{
    const QString id = QString::number(quote.itemId);
    const auto blockIds = Unicode::compile(
        Unicode::toIcu(QString(QStringLiteral(" \\^lumbra-") + id + QStringLiteral("-\\d+"))));
    const int number = Unicode::countMatches(*blockIds, Unicode::toIcu(existing)) + 1;

    // Every line break a reader of the note would see as one is a line of the quote, and
    // each line shows literally: nothing in it becomes Markdown of the page's choosing.
    QString text = quote.text;
    text.replace(QLatin1StringView("\r\n"), QLatin1StringView("\n"));
    for (QChar& c : text)
        if (c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029) || c == QChar(0x85)) c = u'\n';
    QStringList block;
    for (const QString& line : text.split(u'\n'))
        block << Unicode::trimTrailingWhiteSpace(QStringLiteral("> ") + literal(line, true));
    block << QStringLiteral("> [\u2197](") + tavoLink(quote.itemId, address(quote)) +
                 QStringLiteral(") ^lumbra-") + id + u'-' + QString::number(number);

    QString base = Unicode::trimTrailingWhiteSpace(existing);
    if (base.isEmpty()) base = frontMatter(quote, timeZone);
    return base + QStringLiteral("\n\n") + block.join(u'\n') + u'\n';
}

} // namespace ArticleNote

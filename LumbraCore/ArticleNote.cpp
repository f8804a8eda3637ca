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

QString frontMatter(const Quote& quote, const QTimeZone& timeZone)
{
    const std::optional<QString> url = address(quote);
    QStringList lines{QStringLiteral("---")};
    const QString authorName = author(quote);
    if (!authorName.isEmpty()) {
        lines << QStringLiteral("auteur:");
        lines << QStringLiteral("  - \"[[") + oneLine(authorName) + QStringLiteral("]]\"");
    }
    if (quote.siteLink)
        lines << QStringLiteral("site: ") + oneLine(*quote.siteLink);
    else if (const auto domain = domainOf(url))
        lines << QStringLiteral("site: https://") + oneLine(*domain) + u'/';
    if (url) lines << QStringLiteral("url: ") + oneLine(*url);
    const QDateTime saved = QDateTime::fromSecsSinceEpoch(quote.savedAt, timeZone);
    lines << QStringLiteral("datum: ") + saved.toString(QStringLiteral("yyyy-MM-dd"));
    lines << QStringLiteral("---");
    if (url) {
        QString title = oneLine(quote.title);
        title.replace(u']', u')');
        lines << u'[' + title + QStringLiteral("](") + oneLine(*url) + u')';
    } else {
        lines << oneLine(quote.title);
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
        // quoted value.
        return containsWhole(noteText, oneLine(*url), [](QChar c) {
            return c.isSpace() || QStringView(u")>]\"'<|").contains(c);
        });
    return containsWhole(noteText,
                         QStringLiteral("tavo://lumbra/item/") + QString::number(quote.itemId),
                         [](QChar c) { return !c.isDigit(); });
}

bool isLumbraNoteFor(const QString& noteText, const Quote& quote)
{
    const QString blockId = QStringLiteral(" ^lumbra-") + QString::number(quote.itemId) + u'-';
    return containsWhole(noteText, blockId, [](QChar c) { return c.isDigit(); }) &&
           isFor(noteText, quote);
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

    QStringList block;
    for (const QString& line : quote.text.split(u'\n'))
        block << Unicode::trimTrailingWhiteSpace(QStringLiteral("> ") + line);
    block << QStringLiteral("> [\u2197](") + tavoLink(quote.itemId, address(quote)) +
                 QStringLiteral(") ^lumbra-") + id + u'-' + QString::number(number);

    QString base = Unicode::trimTrailingWhiteSpace(existing);
    if (base.isEmpty()) base = frontMatter(quote, timeZone);
    return base + QStringLiteral("\n\n") + block.join(u'\n') + u'\n';
}

} // namespace ArticleNote

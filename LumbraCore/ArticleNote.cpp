#include "LumbraCore/ArticleNote.h"

#include "LumbraCore/ItemLink.h"
#include "LumbraCore/NoteNames.h"
#include "LumbraCore/internal/Unicode.h"

#include <QDateTime>
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
    QStringList lines{QStringLiteral("---")};
    const QString authorName = author(quote);
    if (!authorName.isEmpty()) {
        lines << QStringLiteral("auteur:");
        lines << QStringLiteral("  - \"[[") + oneLine(authorName) + QStringLiteral("]]\"");
    }
    if (quote.siteLink)
        lines << QStringLiteral("site: ") + oneLine(*quote.siteLink);
    else if (const auto domain = domainOf(quote.url))
        lines << QStringLiteral("site: https://") + oneLine(*domain) + u'/';
    if (quote.url) lines << QStringLiteral("url: ") + oneLine(*quote.url);
    const QDateTime saved = QDateTime::fromSecsSinceEpoch(quote.savedAt, timeZone);
    lines << QStringLiteral("datum: ") + saved.toString(QStringLiteral("yyyy-MM-dd"));
    lines << QStringLiteral("---");
    if (quote.url) {
        QString title = oneLine(quote.title);
        title.replace(u']', u')');
        lines << u'[' + title + QStringLiteral("](") + oneLine(*quote.url) + u')';
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
        domainOf(quote.siteLink ? quote.siteLink : quote.url).value_or(QString()));
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
    const QString candidate = folder + fitted(QStringLiteral(".md"));
    if (!taken(candidate)) return candidate;
    const auto domain = domainOf(quote.url);
    const QString word = Unicode::leftWithinUtf8(
        domain ? safeNoteName(*domain) : QString::number(quote.itemId), 100);
    const QString ending = QStringLiteral(" (") + word + QStringLiteral(").md");
    return folder + fitted(ending);
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
    if (quote.url)
        // As the note has it (on one line); there it ends a line, a Markdown link or a
        // quoted value.
        return containsWhole(noteText, oneLine(*quote.url), [](QChar c) {
            return c.isSpace() || QStringView(u")>]\"'<|").contains(c);
        });
    return containsWhole(noteText,
                         QStringLiteral("tavo://lumbra/item/") + QString::number(quote.itemId),
                         [](QChar c) { return !c.isDigit(); });
}

QString writtenUrl(const QString& url)
{
    return oneLine(url);
}

Owners owners(const QString& noteText)
{
    Owners found;
    const QLatin1StringView urlKey("url: ");
    for (const QStringView line : QStringView(noteText).split(u'\n')) {
        if (!line.startsWith(urlKey)) continue;
        QStringView url = line.mid(urlKey.size());
        if (url.endsWith(u'\r')) url.chop(1);
        found.urls << url.toString();
    }
    const QLatin1StringView linkStart("tavo://lumbra/item/");
    for (qsizetype at = noteText.indexOf(linkStart); at >= 0;
         at = noteText.indexOf(linkStart, at + 1)) {
        qsizetype end = at + linkStart.size();
        if (end < noteText.size() && noteText.at(end) == u'-') ++end;
        while (end < noteText.size() && noteText.at(end).isDigit() && end - at < 60)
            ++end;
        bool ok = false;
        const qint64 id = QStringView(noteText)
                              .sliced(at + linkStart.size(), end - at - linkStart.size())
                              .toLongLong(&ok);
        if (ok && !found.itemIds.contains(id)) found.itemIds << id;
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
    block << QStringLiteral("> [\u2197](") + tavoLink(quote.itemId, quote.url) +
                 QStringLiteral(") ^lumbra-") + id + u'-' + QString::number(number);

    QString base = Unicode::trimTrailingWhiteSpace(existing);
    if (base.isEmpty()) base = frontMatter(quote, timeZone);
    return base + QStringLiteral("\n\n") + block.join(u'\n') + u'\n';
}

} // namespace ArticleNote

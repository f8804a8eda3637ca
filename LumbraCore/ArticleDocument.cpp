#include "LumbraCore/ArticleDocument.h"

#include "LumbraCore/RelativeDate.h"
#include "LumbraCore/Text.h"
#include "LumbraCore/WebAddress.h"
#include "LumbraCore/internal/Unicode.h"

#include <QStringList>

namespace ArticleDocument {

namespace {

// Scripts, plugins, frames and form posts never run or load; a stranger's page must not
// replace the article. With remote content off, nothing outside the document loads.
const char* const remoteAllowed =
    "script-src 'none'; object-src 'none'; frame-src 'none'; child-src 'none'; "
    "form-action 'none'";
const char* const remoteBlocked =
    "default-src 'none'; style-src 'unsafe-inline'; img-src data:; font-src data:; "
    "media-src data:; form-action 'none'";

const char* const lightColours = "--muted: #6e6e73; --link: #b4472b; --quote: rgba(180,71,43,.07);";
const char* const darkColours = "--muted: #98989d; --link: #e8825f; --quote: rgba(232,130,95,.10);";

QString colours(std::optional<bool> dark)
{
    const QLatin1StringView light(lightColours);
    if (!dark)
        return QStringLiteral("  :root { color-scheme: light dark; ") + light +
               QStringLiteral(" }\n  @media (prefers-color-scheme: dark) { :root { ") +
               QLatin1StringView(darkColours) + QStringLiteral(" } }\n");
    return QStringLiteral("  :root { color-scheme: ") +
           (*dark ? QStringLiteral("dark; ") + QLatin1StringView(darkColours)
                  : QStringLiteral("light; ") + light) +
           QStringLiteral(" }\n");
}

// Everything of the style but the colours.
QString style()
{
    return QString::fromUtf8(
        R"html(  body { margin: 0; padding: 28px 40px 80px; background: transparent; font: 17px/1.65 -apple-system, system-ui, sans-serif;)html"
        "\n"
        R"html(         overflow-wrap: break-word; })html"
        "\n"
        R"html(  article { max-width: 680px; margin: 0 auto; })html"
        "\n"
        R"html(  h1 { font-size: 30px; line-height: 1.2; margin: 0 0 6px; letter-spacing: -0.01em; })html"
        "\n"
        R"html(  h1 a { color: inherit; text-decoration: none; })html"
        "\n"
        R"html(  .meta { color: var(--muted); font-size: 14px; margin-bottom: 28px; })html"
        "\n"
        R"html(  .body p, .body li, .body blockquote, .body h2, .body h3, .body h4, .body figcaption { unicode-bidi: plaintext; text-align: start; })html"
        "\n"
        R"html(  a { color: var(--link); })html"
        "\n"
        R"html(  img, video, iframe { max-width: 100%; height: auto; border-radius: 4px; })html"
        "\n"
        R"html(  pre { overflow-x: auto; padding: 12px; background: var(--quote); border-radius: 6px; })html"
        "\n"
        R"html(  code { font: 14px ui-monospace, monospace; })html"
        "\n"
        R"html(  blockquote { margin: 18px 0; padding: 4px 18px; background: var(--quote); border-inline-start: 3px solid var(--link); })html"
        "\n"
        R"html(  ::selection { background: rgba(180,71,43,.25); })html"
        "\n"
        R"html(</style></head><body><article>)html"
        "\n"
        R"html(<h1 dir="auto">)html");
}

} // namespace

QString head(const Options& options)
{
    static const QString styles = style();
    QString text = QStringLiteral("<!doctype html><html><head><meta charset=\"utf-8\">\n"
                                  "<meta http-equiv=\"Content-Security-Policy\" content=\"") +
                   QLatin1StringView(options.remoteContent ? remoteAllowed : remoteBlocked) +
                   QStringLiteral("\">\n<meta name=\"referrer\" content=\"no-referrer\">\n");
    // Relative links and images resolve against the article's own address.
    if (options.baseUrl && isWebAddress(*options.baseUrl))
        text += QStringLiteral("<base href=\"") +
                escapeHTML(options.baseUrl->toString(QUrl::FullyEncoded)) + QStringLiteral("\">\n");
    return text + QStringLiteral("<style>\n") + colours(options.dark) + styles;
}

QString escapeHTML(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'&', QStringLiteral("&amp;")); // first, so later entities stay as they are
    escaped.replace(u'<', QStringLiteral("&lt;"));
    escaped.replace(u'>', QStringLiteral("&gt;"));
    escaped.replace(u'"', QStringLiteral("&quot;"));
    return escaped;
}

QString titleAnchor(const QString& url, const std::optional<QString>& title)
{
    return QStringLiteral("<a href=\"") + escapeHTML(url) + QStringLiteral("\">") +
           escapeHTML(decodeEntities(title.value_or(QString()))) + QStringLiteral("</a>");
}

QString articleHTML(const Item& item, const QString& feedTitle, qint64 now, Options options)
{
    QStringList meta;
    if (!feedTitle.isEmpty()) meta << escapeHTML(feedTitle);
    const QString author = Unicode::trimSpaces(item.author.value_or(QString()));
    if (!author.isEmpty() && author.compare(feedTitle, Qt::CaseInsensitive) != 0)
        meta << escapeHTML(author);
    const QString date = relativeDate(item.pubDate, now);
    if (!date.isEmpty()) meta << escapeHTML(date);

    const QString title = item.url ? titleAnchor(*item.url, item.title)
                                   : escapeHTML(decodeEntities(item.title.value_or(QString())));
    if (!options.baseUrl && item.url) options.baseUrl = QUrl(*item.url, QUrl::StrictMode);
    // Each part takes its direction from its own text: Arabic and Hebrew read right to left.
    return head(options) + title + QStringLiteral("</h1>\n<div class=\"meta\" dir=\"auto\">") +
           meta.join(QStringLiteral(" \u00B7 ")) +
           QStringLiteral("</div>\n<div class=\"body\" dir=\"auto\">\n") +
           (item.body ? QString::fromUtf8(item.body->html()) : QString()) +
           QStringLiteral("\n</div></article></body></html>");
}

} // namespace ArticleDocument

#include "LumbraCore/FeedDiscovery.h"

#include "LumbraCore/Text.h"

#include <QHash>

#include <optional>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// The attributes of the tag whose name ends at `at`, up to its ">"; `at` moves past it.
// None for a tag the page leaves open, which a browser drops too.
std::optional<QHash<QByteArray, QByteArray>> attributes(QByteArrayView html, qsizetype& at)
{
    QHash<QByteArray, QByteArray> found;
    const qsizetype size = html.size();
    while (at < size && html[at] != '>') {
        while (at < size && (isSpace(html[at]) || html[at] == '/'))
            ++at;
        const qsizetype nameStart = at;
        while (at < size && !isSpace(html[at]) && html[at] != '=' && html[at] != '>' &&
               html[at] != '/')
            ++at;
        const QByteArray name = html.sliced(nameStart, at - nameStart).toByteArray().toLower();
        while (at < size && isSpace(html[at]))
            ++at;
        QByteArray value;
        if (at < size && html[at] == '=') {
            ++at;
            while (at < size && isSpace(html[at]))
                ++at;
            if (at < size && (html[at] == '"' || html[at] == '\'')) {
                const char quote = html[at++];
                const qsizetype end = html.indexOf(quote, at);
                const qsizetype stop = end < 0 ? size : end;
                value = html.sliced(at, stop - at).toByteArray();
                at = end < 0 ? size : end + 1;
            } else {
                const qsizetype valueStart = at;
                while (at < size && !isSpace(html[at]) && html[at] != '>')
                    ++at;
                value = html.sliced(valueStart, at - valueStart).toByteArray();
            }
        }
        if (name.isEmpty()) {
            if (at < size && html[at] != '>') ++at; // a stray character
            continue;
        }
        if (!found.contains(name)) found.insert(name, value);
    }
    if (at >= size) return std::nullopt;
    ++at;
    return found;
}

// "RSS" or "Atom" for a tag that names a feed; empty for any other.
QString feedKind(const QHash<QByteArray, QByteArray>& tag)
{
    const QList<QByteArray> rel = tag.value("rel").toLower().simplified().split(' ');
    if (!rel.contains("alternate")) return {};
    const QByteArray type = tag.value("type").trimmed().toLower();
    if (type == "application/rss+xml") return QStringLiteral("RSS");
    if (type == "application/atom+xml") return QStringLiteral("Atom");
    return {};
}

} // namespace

QList<FoundFeed> alternateFeeds(QByteArrayView html, const QUrl& page)
{
    html = html.first(std::min(html.size(), discoveryReadLimit));
    QList<FoundFeed> feeds;
    qsizetype at = 0;
    while (feeds.size() < 20) {
        const qsizetype open = html.indexOf('<', at);
        if (open < 0 || open + 5 > html.size()) break;
        at = open + 1;
        if (html.sliced(at, 4).toByteArray().toLower() != "link" ||
            (at + 4 < html.size() && !isSpace(html[at + 4]) && html[at + 4] != '/'))
            continue;
        at += 4;
        const std::optional<QHash<QByteArray, QByteArray>> read = attributes(html, at);
        if (!read) break;
        const QHash<QByteArray, QByteArray>& tag = *read;
        const QString kind = feedKind(tag);
        if (kind.isEmpty()) continue;
        const QString href = decodeEntities(QString::fromUtf8(tag.value("href"))).trimmed();
        const QUrl url = page.resolved(QUrl(href));
        if (href.isEmpty() || !url.isValid() || url.host().isEmpty() ||
            (url.scheme() != u"http" && url.scheme() != u"https"))
            continue;
        if (std::any_of(feeds.cbegin(), feeds.cend(),
                        [&](const FoundFeed& known) { return known.url == url; }))
            continue;
        feeds.append(
            {decodeEntities(QString::fromUtf8(tag.value("title"))).simplified(), url, kind});
    }
    return feeds;
}

bool looksLikeFeed(QByteArrayView body)
{
    body = body.first(std::min(body.size(), discoveryReadLimit));
    if (body.startsWith("\xEF\xBB\xBF")) body = body.sliced(3);
    qsizetype at = 0;
    while (true) {
        while (at < body.size() && isSpace(body[at]))
            ++at;
        if (at >= body.size() || body[at] != '<') return false;
        const QByteArrayView rest = body.sliced(at);
        // Declarations, processing instructions and comments come before the root.
        const char* close = rest.startsWith("<?")     ? "?>"
                            : rest.startsWith("<!--") ? "-->"
                            : rest.startsWith("<!")   ? ">"
                                                      : nullptr;
        if (!close) break;
        const qsizetype end = rest.indexOf(QByteArrayView(close));
        if (end < 0) return false;
        at += end + qsizetype(qstrlen(close));
    }
    const QByteArrayView root = body.sliced(at + 1);
    qsizetype length = 0;
    while (length < root.size() && !isSpace(root[length]) && root[length] != '>' &&
           root[length] != '/')
        ++length;
    const QByteArrayView name = root.first(length);
    return name == "rss" || name == "feed" || name == "rdf:RDF";
}

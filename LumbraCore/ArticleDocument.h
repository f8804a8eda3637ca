#pragma once

#include "LumbraCore/Records.h"

#include <QString>
#include <QUrl>
#include <optional>

// The article as the small self-contained HTML page the article pane shows: a head whose
// content-security policy forbids scripts, plugins, frames and form posts and which sends
// no referrer, the linked title, a meta line (feed, author, date) and the body exactly as
// the server sent it.
namespace ArticleDocument {

struct Options {
    // Whether images, styles and fonts from elsewhere may load.
    bool remoteContent = true;
    // What relative addresses resolve against; the article's own address when not given.
    std::optional<QUrl> baseUrl;
    // Dark or light colours; when not given, the page follows prefers-color-scheme, which
    // Qt WebEngine fixes when it starts.
    std::optional<bool> dark;
};

// The head, up to and including the opening "<h1>".
QString head(const Options& options = {});

// `now` (seconds since 1970) decides the relative date in the meta line.
QString articleHTML(const Item& item, const QString& feedTitle, qint64 now, Options options = {});
QString escapeHTML(const QString& text);
QString titleAnchor(const QString& url, const std::optional<QString>& title);

} // namespace ArticleDocument

#pragma once

#include "LumbraCore/Records.h"

#include <QString>

// The article as the small self-contained HTML page the article pane shows: a fixed head
// whose content-security policy forbids scripts and plugins, the linked title, a meta
// line (feed, author, date) and the body exactly as the server sent it.
namespace ArticleDocument {

// The fixed head, up to and including the opening "<h1>".
const QString& head();

// `now` (seconds since 1970) decides the relative date in the meta line.
QString articleHTML(const Item& item, const QString& feedTitle, qint64 now);
QString escapeHTML(const QString& text);
QString titleAnchor(const QString& url, const std::optional<QString>& title);

} // namespace ArticleDocument

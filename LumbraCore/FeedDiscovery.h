#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUrl>

// A feed a web page names as its own.
struct FoundFeed {
    QString title;
    QUrl url;
    QString kind; // "RSS" or "Atom"


    friend bool operator==(const FoundFeed&, const FoundFeed&) = default;
};

// The page is read this far at most: the links sit in its head.
constexpr qsizetype discoveryReadLimit = 1024 * 1024;

// The feeds `html` names in <link rel="alternate" type="application/rss+xml"> (or
// atom+xml) tags, their addresses resolved against `page`: http and https ones only, each
// once, at most 20, in the page's order. Reads no more than discoveryReadLimit bytes.
QList<FoundFeed> alternateFeeds(QByteArrayView html, const QUrl& page);

// Whether `body` starts as a feed does: an XML document whose first element is <rss>,
// <feed> (Atom) or <rdf:RDF> (RSS 1.0), after any byte order mark, declaration, comments
// and processing instructions.
bool looksLikeFeed(QByteArrayView body);

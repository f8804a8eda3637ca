#pragma once

#include "LumbraCore/Records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <functional>

// Subscription lists in OPML 2.0, as feed readers exchange them.
namespace Opml {

// A feed of a list, in the folder named `folder` (empty: the top level).
struct Entry {
    QString title;
    QString xmlUrl;
    QString htmlUrl;
    QString folder;
    // Nested deeper than one folder in the list: News has one level, so it goes into its
    // outermost folder.
    bool flattened = false;

    friend bool operator==(const Entry&, const Entry&) = default;
};

// What a list holds: its feeds, and the folders that hold none (each once, as named).
struct List {
    QList<Entry> entries;
    QStringList emptyFolders;
    // The reading was stopped (see `read`); what it holds is what came before.
    bool stopped = false;
};

// Told about how many bytes of the document were read, now and then; reading stops when it
// answers false.
using ReadProgress = std::function<bool(qsizetype bytesRead)>;

// Lists larger than this are refused unread.
constexpr qsizetype readLimit = 10 * 1024 * 1024;

// The feeds and empty folders of an OPML document, in its order, read in one pass however
// deep its outlines nest. Throws DecodingError for what is not OPML, is not well-formed,
// declares entities (a document type) or is too large.
List read(QByteArrayView document, const ReadProgress& goOn = {});

// The folders and feeds as OPML 2.0; feeds in a folder the list does not hold go to the
// top level. Names are written as XML can hold them (see xmlText), so `read` always takes
// the list back.
QByteArray write(const QList<Folder>& folders, const QList<Feed>& feeds);

// `text` with what XML 1.0 cannot hold (lone surrogates, most control characters, U+FFFE
// and U+FFFF) replaced by U+FFFD.
QString xmlText(const QString& text);

} // namespace Opml

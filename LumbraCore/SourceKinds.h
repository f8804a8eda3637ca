#pragma once

#include "LumbraCore/Records.h"

#include <QList>
#include <QString>
#include <optional>

// Everything that differs between the kinds of source, in one table: adding a kind means
// adding a row here and its query.
struct SourceKind {
    // Which items the server's `type` selects; the values are the News API's numbers.
    enum class Scope { feed = 0, folder = 1, starred = 2, everything = 3 };

    Source::Kind kind;
    Scope scope;
    // Folders and feeds are one of many, told apart by the server's id; trays are one each.
    bool carriesId;
    // The tray's own title; folders and feeds are named by the server, with `title` as the
    // stand-in when the server's list no longer has them. Titles and the empty text are
    // English, for the views to translate in the "SourceKind" context.
    const char* title;
    bool namedByServer;
    QString iconName;      // freedesktop icon name
    const char* emptyText; // the timeline's text when the list is empty
    bool listsRead;        // asks the server for read items too (getRead=true)
    // Items read here stay listed until the source changes (unread-only sources).
    bool keepsLocallyRead;
    // The server's "mark all read" call, "{id}" standing for the id; empty when there is none.
    QString markAllReadPath;
    // Mark All as Read is offered for it.
    bool offersMarkAllRead;
};

// The row of `kind`.
const SourceKind& sourceKind(Source::Kind kind);
inline const SourceKind& sourceKind(const Source& source)
{
    return sourceKind(source.kind());
}

// The trays the sidebar lists above the folders, in order.
QList<Source> traySources();

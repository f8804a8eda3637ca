#include "LumbraCore/SourceKinds.h"

#include <QtGlobal>
#include <array>

namespace {

const std::array<SourceKind, 5>& table()
{
    using Scope = SourceKind::Scope;
    static const std::array<SourceKind, 5> kinds{{
        {.kind = Source::Kind::allUnread,
         .scope = Scope::everything,
         .carriesId = false,
         .title = QT_TRANSLATE_NOOP("SourceKind", "All Unread"),
         .namedByServer = false,
         .iconName = QStringLiteral("mail-unread"),
         .emptyText = QT_TRANSLATE_NOOP("SourceKind", "All Read"),
         .listsRead = false,
         .keepsLocallyRead = true,
         .markAllReadPath = QStringLiteral("/items/read"),
         .offersMarkAllRead = true},
        {.kind = Source::Kind::all,
         .scope = Scope::everything,
         .carriesId = false,
         .title = QT_TRANSLATE_NOOP("SourceKind", "All Articles"),
         .namedByServer = false,
         .iconName = QStringLiteral("mail-read"),
         .emptyText = QT_TRANSLATE_NOOP("SourceKind", "No Articles"),
         .listsRead = true,
         .keepsLocallyRead = false,
         .markAllReadPath = QStringLiteral("/items/read"),
         .offersMarkAllRead = true},
        {.kind = Source::Kind::starred,
         .scope = Scope::starred,
         .carriesId = false,
         .title = QT_TRANSLATE_NOOP("SourceKind", "Starred"),
         .namedByServer = false,
         .iconName = QStringLiteral("starred"),
         .emptyText = QT_TRANSLATE_NOOP("SourceKind", "No Starred Articles"),
         .listsRead = true,
         .keepsLocallyRead = false,
         .markAllReadPath = QString(),
         .offersMarkAllRead = false},
        {.kind = Source::Kind::folder,
         .scope = Scope::folder,
         .carriesId = true,
         .title = QT_TRANSLATE_NOOP("SourceKind", "Folder"),
         .namedByServer = true,
         .iconName = QStringLiteral("folder"),
         .emptyText = QT_TRANSLATE_NOOP("SourceKind", "All Read"),
         .listsRead = false,
         .keepsLocallyRead = true,
         .markAllReadPath = QStringLiteral("/folders/{id}/read"),
         .offersMarkAllRead = true},
        {.kind = Source::Kind::feed,
         .scope = Scope::feed,
         .carriesId = true,
         .title = QT_TRANSLATE_NOOP("SourceKind", "Feed"),
         .namedByServer = true,
         .iconName = QStringLiteral("application-rss+xml"),
         .emptyText = QT_TRANSLATE_NOOP("SourceKind", "All Read"),
         .listsRead = false,
         .keepsLocallyRead = true,
         .markAllReadPath = QStringLiteral("/feeds/{id}/read"),
         .offersMarkAllRead = true},
    }};
    return kinds;
}

} // namespace

const SourceKind& sourceKind(Source::Kind kind)
{
    for (const SourceKind& row : table())
        if (row.kind == kind) return row;
    return table().front();
}

QList<Source> traySources()
{
    return {Source::allUnread(), Source::all(), Source::starred()};
}

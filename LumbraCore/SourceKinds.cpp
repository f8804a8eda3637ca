#include "LumbraCore/SourceKinds.h"

#include <array>

namespace {

const std::array<SourceKind, 5>& table()
{
    using Scope = SourceKind::Scope;
    static const std::array<SourceKind, 5> kinds{{
        {.kind = Source::Kind::allUnread,
         .scope = Scope::everything,
         .carriesId = false,
         .title = QStringLiteral("All Unread"),
         .namedByServer = false,
         .iconName = QStringLiteral("mail-unread"),
         .emptyText = QStringLiteral("All Read"),
         .listsRead = false,
         .keepsLocallyRead = true,
         .markAllReadPath = QStringLiteral("/items/read"),
         .offersMarkAllRead = true},
        {.kind = Source::Kind::all,
         .scope = Scope::everything,
         .carriesId = false,
         .title = QStringLiteral("All Articles"),
         .namedByServer = false,
         .iconName = QStringLiteral("mail-read"),
         .emptyText = QStringLiteral("No Articles"),
         .listsRead = true,
         .keepsLocallyRead = false,
         .markAllReadPath = QStringLiteral("/items/read"),
         .offersMarkAllRead = true},
        {.kind = Source::Kind::starred,
         .scope = Scope::starred,
         .carriesId = false,
         .title = QStringLiteral("Starred"),
         .namedByServer = false,
         .iconName = QStringLiteral("starred"),
         .emptyText = QStringLiteral("No Starred Articles"),
         .listsRead = true,
         .keepsLocallyRead = false,
         .markAllReadPath = QString(),
         .offersMarkAllRead = false},
        {.kind = Source::Kind::folder,
         .scope = Scope::folder,
         .carriesId = true,
         .title = QStringLiteral("Folder"),
         .namedByServer = true,
         .iconName = QStringLiteral("folder"),
         .emptyText = QStringLiteral("All Read"),
         .listsRead = false,
         .keepsLocallyRead = true,
         .markAllReadPath = QStringLiteral("/folders/{id}/read"),
         .offersMarkAllRead = true},
        {.kind = Source::Kind::feed,
         .scope = Scope::feed,
         .carriesId = true,
         .title = QStringLiteral("Feed"),
         .namedByServer = true,
         .iconName = QStringLiteral("application-rss+xml"),
         .emptyText = QStringLiteral("All Read"),
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

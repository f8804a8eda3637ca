#include "LumbraCore/SourceKinds.h"

#include <array>

namespace {

const std::array<SourceKind, 5>& table()
{
    using Scope = SourceKind::Scope;
    static const std::array<SourceKind, 5> kinds{{
        {Source::Kind::allUnread, Scope::everything, QStringLiteral("All Unread"), false,
         QStringLiteral("mail-unread"), QStringLiteral("All Read"), false, true,
         QStringLiteral("/items/read"), true},
        {Source::Kind::all, Scope::everything, QStringLiteral("All Articles"), false,
         QStringLiteral("mail-read"), QStringLiteral("No Articles"), true, false,
         QStringLiteral("/items/read"), true},
        {Source::Kind::starred, Scope::starred, QStringLiteral("Starred"), false,
         QStringLiteral("starred"), QStringLiteral("No Starred Articles"), true, false, QString(),
         false},
        {Source::Kind::folder, Scope::folder, QStringLiteral("Folder"), true,
         QStringLiteral("folder"), QStringLiteral("All Read"), false, true,
         QStringLiteral("/folders/{id}/read"), true},
        {Source::Kind::feed, Scope::feed, QStringLiteral("Feed"), true,
         QStringLiteral("application-rss+xml"), QStringLiteral("All Read"), false, true,
         QStringLiteral("/feeds/{id}/read"), true},
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

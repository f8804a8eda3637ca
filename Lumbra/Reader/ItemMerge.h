#pragma once

#include "LumbraCore/Records.h"

#include <QList>
#include <QSet>

// The rules by which items the server sends join the list a source shows: which of them
// belong, which changes to trust, and which read items stay listed.
namespace ItemMerge {

// The list to show after fetching `fetched` for `source` while `shown` was listed: only
// items of a feed in `reach` (the feeds the source holds), and items read here stay in
// unread-only sources until the source changes, while their feed is still in reach.
QList<Item> withLocallyRead(QList<Item> fetched, const QList<Item>& shown, const Source& source,
                            const QSet<qint64>& reach);

// Whether a full reload of `source` lists `item` as it is now (given the item is in the
// source's reach: its feed, its folder, or everything).
bool listedIn(const Item& item, const Source& source);

// The list a full reload of `source` would show, from the `shown` list and the items of
// the source's reach that `changed` since it was loaded: changed items that belong take the
// place of their old selves or join; others leave, except where withLocallyRead keeps them.
// Changes that cannot be the source's are not trusted: an id of 0 or less, or a feed not in
// `reach` (the feeds the source holds). The caller orders the result.
QList<Item> withChanges(QList<Item> shown, const QList<Item>& changed, const Source& source,
                        const QSet<qint64>& reach);

// How far the shown list of a source is up to date, so that a refresh can ask only for
// what changed since. A full reload is due when the source or account differs, when the
// feeds the source holds are not those of the last full load (a feed left, moved or
// arrived: its articles' own times do not change), or after `fullReloadEvery` seconds:
// what the server purged shows only in a full list.
struct ItemsMark {
    Source source;
    Account account;
    qint64 since = 0;      // server seconds: changes at or after it may be missing
    qint64 loadedFull = 0; // our clock, at the last full load
    QSet<qint64> reach;    // the feeds the source held then
    static constexpr qint64 fullReloadEvery = 3600;
    // The server's clock on a reply may run ahead of its query by the time the reply took
    // to make; changes are asked from this far before it.
    static constexpr qint64 margin = 60;

    // Whether the server's clock on a reply can be believed: one a day or more from ours
    // (a Date of the year 9999) would make every later change look old.
    static bool believable(qint64 serverTime, qint64 now)
    {
        return serverTime > now - 86400 && serverTime < now + 86400;
    }

    bool covers(const Source& shown, const Account& current) const
    {
        return source == shown && account == current;
    }
    bool fullDue(qint64 now, const QSet<qint64>& reachNow) const
    {
        return now - loadedFull >= fullReloadEvery || now < loadedFull || reach != reachNow;
    }
};

} // namespace ItemMerge

#include "Reader/ItemMerge.h"

#include "LumbraCore/SourceKinds.h"

#include <QHash>
#include <algorithm>

namespace ItemMerge {

bool listedIn(const Item& item, const Source& source)
{
    const SourceKind& kind = sourceKind(source);
    if (kind.scope == SourceKind::Scope::starred && !item.starred) return false;
    return kind.listsRead || item.unread;
}

QList<Item> withChanges(QList<Item> shown, const QList<Item>& changed, const Source& source,
                        const QSet<qint64>& reach)
{
    const bool keepsLocallyRead = sourceKind(source).keepsLocallyRead;
    QHash<qint64, qsizetype> at;
    at.reserve(shown.size());
    for (qsizetype i = 0; i < shown.size(); ++i)
        at.insert(shown[i].id, i);
    QSet<qint64> leaving;
    for (const Item& item : changed) {
        if (item.id <= 0 || !reach.contains(item.feedId)) continue;
        const auto found = at.constFind(item.id);
        if (listedIn(item, source)) {
            leaving.remove(item.id);
            if (found != at.cend()) {
                shown[*found] = item;
            } else {
                at.insert(item.id, shown.size());
                shown.append(item);
            }
        } else if (found != at.cend()) {
            // Read here and kept: it still takes the server's other flags.
            if (keepsLocallyRead && !shown[*found].unread)
                shown[*found] = item;
            else
                leaving.insert(item.id);
        }
    }
    if (!leaving.isEmpty())
        shown.removeIf([&](const Item& item) { return leaving.contains(item.id); });
    return shown;
}

QList<Item> withLocallyRead(QList<Item> fetched, const QList<Item>& shown, const Source& source,
                            const QSet<qint64>& reach)
{
    // The server still lists an unsubscribed feed's articles; they belong to no source.
    // Changed only when there is something to change: a copy of a long list is tens of MB.
    const auto unreachable = [&reach](const Item& item) { return !reach.contains(item.feedId); };
    if (std::any_of(fetched.cbegin(), fetched.cend(), unreachable)) fetched.removeIf(unreachable);
    if (!sourceKind(source).keepsLocallyRead) return fetched;
    QSet<qint64> ids;
    ids.reserve(fetched.size());
    for (const Item& item : std::as_const(fetched))
        ids.insert(item.id);
    for (const Item& item : shown)
        if (!item.unread && !ids.contains(item.id) && reach.contains(item.feedId))
            fetched.append(item);
    return fetched;
}

} // namespace ItemMerge

#include "Reader/Sync.h"

#include "LumbraCore/NameOrder.h"
#include "LumbraCore/SourceKinds.h"

#include <QSet>

namespace Sync {

void order(QList<Folder>& folders)
{
    NameOrder().sort(folders, [](const Folder& folder) { return folder.name; });
}

void order(QList<Feed>& feeds)
{
    NameOrder().sort(feeds, [](const Feed& feed) { return feed.title; });
}

QList<Item> withLocallyRead(QList<Item> fetched, const QList<Item>& shown, const Source& source)
{
    if (!sourceKind(source).keepsLocallyRead) return fetched;
    QSet<qint64> ids;
    ids.reserve(fetched.size());
    for (const Item& item : std::as_const(fetched))
        ids.insert(item.id);
    for (const Item& item : shown)
        if (!item.unread && !ids.contains(item.id)) fetched.append(item);
    return fetched;
}

QString refreshError(std::exception_ptr failure, const QString& server)
{
    try {
        std::rethrow_exception(failure);
    } catch (const NewsError& news) {
        if (news.kind() == NewsError::Kind::notInstalled)
            return QStringLiteral("Nextcloud News is not installed on ") + server + u'.';
        return news.description();
    } catch (const LumbraError& other) {
        return other.description();
    }
    return QString();
}

} // namespace Sync

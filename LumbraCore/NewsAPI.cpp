#include "LumbraCore/NewsAPI.h"

#include "LumbraCore/Json.h"
#include "LumbraCore/SourceKinds.h"
#include "LumbraCore/internal/BackgroundItemStream.h"
#include "LumbraCore/internal/Http.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <QCoreApplication>
#include <limits>

namespace {

QString decimal(qint64 value)
{
    return QString::number(value);
}

QString withoutTrailingSlashes(QString text)
{
    while (text.endsWith(u'/'))
        text.chop(1);
    return text;
}

// "type=…&id=…": the items in `scope`, for `source` when the scope needs an id.
QString scopeQuery(SourceKind::Scope scope, const Source& source)
{
    const bool withId = scope == SourceKind::Scope::feed || scope == SourceKind::Scope::folder;
    return QStringLiteral("type=") + decimal(int(scope)) + QStringLiteral("&id=") +
           decimal(withId ? source.id() : 0);
}

// The server's words in a refusal ({"message": "…"}), cut to a sentence's length.
QString serverMessage(const QByteArray& body)
{
    if (body.size() > 64 * 1024) return QString();
    const QJsonValue message = QJsonDocument::fromJson(body).object().value(u"message");
    return message.toString().left(500);
}

QByteArray jsonBody(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonValue folderIdValue(std::optional<qint64> folderId)
{
    return folderId ? QJsonValue(*folderId) : QJsonValue(QJsonValue::Null);
}

} // namespace

QString itemsQuery(const Source& source)
{
    const SourceKind& kind = sourceKind(source);
    return scopeQuery(kind.scope, source) + QStringLiteral("&getRead=") +
           (kind.listsRead ? QStringLiteral("true") : QStringLiteral("false")) +
           QStringLiteral("&batchSize=-1");
}

QByteArray basicAuthorization(const Account& account)
{
    return "Basic " + (account.loginName + u':' + account.appPassword).toUtf8().toBase64();
}

QCoro::Task<Http::Reply> NewsAPI::request(QByteArray method, QString path,
                                          std::optional<QByteArray> body, std::stop_token stop,
                                          Http::Limits limits) const
{
    const QUrl url = Http::checkedUrl(withoutTrailingSlashes(m_account.server) +
                                      QStringLiteral("/index.php/apps/news/api/v1-3") + path);
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", basicAuthorization(m_account));
    request.setRawHeader("Accept", "application/json");
    if (body) request.setRawHeader("Content-Type", "application/json");
    Http::Reply reply = co_await Http::send(m_session, request, method, body, stop, limits);
    if (reply.status == 200) co_return reply;
    if (reply.status == 404 && method == "GET") throw NewsError::notInstalled();
    throw NewsError::http(path.section(u'?', 0, 0), reply.status, serverMessage(reply.body));
}

QCoro::Task<Http::Reply> NewsAPI::request(QByteArray method, QString path,
                                          std::optional<QByteArray> body,
                                          std::stop_token stop) const
{
    // A named local, not a temporary of the co_await (GCC 12, see Worker.h).
    const Http::Limits limits;
    co_return co_await request(std::move(method), std::move(path), std::move(body), std::move(stop),
                               limits);
}

QCoro::Task<QList<Folder>> NewsAPI::folders(std::stop_token stop) const
{
    const Http::Limits limits{sourceListReplyLimit, false, {}, nullptr};
    Http::Reply reply =
        co_await request("GET", QStringLiteral("/folders"), std::nullopt, stop, limits);
    co_return (co_await Http::decodeInBackground<FoldersResponse>(std::move(reply.body))).folders;
}

QCoro::Task<FeedsResponse> NewsAPI::feeds(std::stop_token stop) const
{
    const Http::Limits limits{sourceListReplyLimit, false, {}, nullptr};
    Http::Reply reply =
        co_await request("GET", QStringLiteral("/feeds"), std::nullopt, stop, limits);
    co_return co_await Http::decodeInBackground<FeedsResponse>(std::move(reply.body));
}

QCoro::Task<ItemList> NewsAPI::items(Source source, std::stop_token stop,
                                     std::function<void(qint64, qint64)> progress) const
{
    return itemList(QStringLiteral("/items?") + itemsQuery(source), std::move(stop),
                    std::move(progress));
}

QCoro::Task<ItemList> NewsAPI::changedItems(Source source, qint64 since, std::stop_token stop) const
{
    const SourceKind::Scope scope = sourceKind(source).scope;
    return itemList(
        QStringLiteral("/items/updated?lastModified=") + decimal(since) + u'&' +
            scopeQuery(scope == SourceKind::Scope::starred ? SourceKind::Scope::everything : scope,
                       source),
        std::move(stop), {});
}

QCoro::Task<ItemList> NewsAPI::itemList(QString path, std::stop_token stop,
                                        std::function<void(qint64, qint64)> progress) const
{
    BackgroundItemStream stream;
    const Http::Limits limits{m_session.listLimit, true, std::move(progress), &stream};
    Http::Reply reply = co_await request("GET", std::move(path), std::nullopt, stop, limits);
    // Awaited apart from the braced initializer (GCC 12, see Worker.h).
    ItemsResponse decoded = co_await stream.finish();
    co_return ItemList{std::move(decoded.items), reply.date};
}

QCoro::Task<std::optional<Item>> NewsAPI::item(qint64 id, std::stop_token stop) const
{
    // A batch of two at offset id + 1 holds the item, if it exists, and maybe a neighbour.
    // No offset can lie above the largest id; without one the batch starts at the top.
    const qint64 offset = id == std::numeric_limits<qint64>::max() ? 0 : id + 1;
    Http::Reply reply = co_await request(
        "GET",
        QStringLiteral("/items?type=3&id=0&getRead=true&batchSize=2&offset=") + decimal(offset),
        std::nullopt, stop);
    const ItemsResponse response =
        co_await Http::decodeInBackground<ItemsResponse>(std::move(reply.body));
    for (const Item& item : response.items)
        if (item.id == id) co_return item;
    co_return std::nullopt;
}

QCoro::Task<> NewsAPI::setRead(qint64 id, bool read, std::stop_token stop) const
{
    co_await request("POST",
                     QStringLiteral("/items/") + decimal(id) +
                         (read ? QStringLiteral("/read") : QStringLiteral("/unread")),
                     std::nullopt, stop);
}

QCoro::Task<> NewsAPI::setStarred(qint64 id, bool starred, std::stop_token stop) const
{
    co_await request("POST",
                     QStringLiteral("/items/") + decimal(id) +
                         (starred ? QStringLiteral("/star") : QStringLiteral("/unstar")),
                     std::nullopt, stop);
}

QCoro::Task<> NewsAPI::setRead(QList<qint64> ids, bool read, std::stop_token stop) const
{
    QByteArray body = "{\"itemIds\":[";
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (i > 0) body += ',';
        body += QByteArray::number(ids[i]);
    }
    body += "]}";
    co_await request("POST",
                     read ? QStringLiteral("/items/read/multiple")
                          : QStringLiteral("/items/unread/multiple"),
                     body, stop);
}

QCoro::Task<> NewsAPI::markAllRead(Source source, qint64 newestItemId, std::stop_token stop) const
{
    QString path = sourceKind(source).markAllReadPath;
    if (path.isEmpty()) co_return;
    path.replace(QStringLiteral("{id}"), decimal(source.id()));
    const QByteArray body = "{\"newestItemId\":" + QByteArray::number(newestItemId) + '}';
    co_await request("POST", path, body, stop);
}

QCoro::Task<Folder> NewsAPI::createFolder(QString name, std::stop_token stop) const
{
    const QByteArray body = jsonBody({{QStringLiteral("name"), name}});
    Http::Reply reply = co_await request("POST", QStringLiteral("/folders"), body, stop);
    const FoldersResponse created =
        co_await Http::decodeInBackground<FoldersResponse>(std::move(reply.body));
    if (created.folders.size() != 1)
        throw DecodingError(QStringLiteral("folders"),
                            QCoreApplication::translate("DecodingError", "not one folder"));
    co_return created.folders.first();
}

QCoro::Task<> NewsAPI::renameFolder(qint64 id, QString name, std::stop_token stop) const
{
    const QByteArray body = jsonBody({{QStringLiteral("name"), name}});
    co_await request("PUT", QStringLiteral("/folders/") + decimal(id), body, stop);
}

QCoro::Task<> NewsAPI::deleteFolder(qint64 id, std::stop_token stop) const
{
    co_await request("DELETE", QStringLiteral("/folders/") + decimal(id), std::nullopt, stop);
}

QCoro::Task<Feed> NewsAPI::addFeed(QString url, std::optional<qint64> folderId,
                                   std::stop_token stop) const
{
    const QByteArray body = jsonBody(
        {{QStringLiteral("url"), url}, {QStringLiteral("folderId"), folderIdValue(folderId)}});
    Http::Reply reply = co_await request("POST", QStringLiteral("/feeds"), body, stop);
    const FeedsResponse added =
        co_await Http::decodeInBackground<FeedsResponse>(std::move(reply.body));
    if (added.feeds.size() != 1)
        throw DecodingError(QStringLiteral("feeds"),
                            QCoreApplication::translate("DecodingError", "not one feed"));
    co_return added.feeds.first();
}

QCoro::Task<> NewsAPI::renameFeed(qint64 id, QString title, std::stop_token stop) const
{
    const QByteArray body = jsonBody({{QStringLiteral("feedTitle"), title}});
    co_await request("POST", QStringLiteral("/feeds/") + decimal(id) + QStringLiteral("/rename"),
                     body, stop);
}

QCoro::Task<> NewsAPI::moveFeed(qint64 id, std::optional<qint64> folderId,
                                std::stop_token stop) const
{
    const QByteArray body = jsonBody({{QStringLiteral("folderId"), folderIdValue(folderId)}});
    co_await request("POST", QStringLiteral("/feeds/") + decimal(id) + QStringLiteral("/move"),
                     body, stop);
}

QCoro::Task<> NewsAPI::deleteFeed(qint64 id, std::stop_token stop) const
{
    co_await request("DELETE", QStringLiteral("/feeds/") + decimal(id), std::nullopt, stop);
}

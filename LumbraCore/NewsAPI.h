#pragma once

#include "LumbraCore/HttpSession.h"
#include "LumbraCore/NetworkErrors.h"
#include "LumbraCore/Records.h"

#include <QList>
#include <functional>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stop_token>

namespace Http {
struct Reply;
struct Limits;
} // namespace Http

// "type=…&id=…&getRead=…&batchSize=-1" for the item list of a source.
QString itemsQuery(const Source& source);

// Items as the server sent them, and its clock when it sent them (seconds since 1970; none
// when it did not say).
struct ItemList {
    QList<Item> items;
    std::optional<qint64> serverTime;
};

// The News REST API v1-3 of one account. Holds no state between calls; every operation
// runs without blocking its caller and fails with NewsError, NetworkError, DecodingError,
// InvalidAddressError or, when `stop` is requested, CancelledError.
class NewsAPI {
public:
    NewsAPI(Account account, HttpSession session)
        : m_account(std::move(account)), m_session(session)
    {
    }

    const Account& account() const { return m_account; }

    QCoro::Task<QList<Folder>> folders(std::stop_token stop = {}) const;
    QCoro::Task<FeedsResponse> feeds(std::stop_token stop = {}) const;
    // `progress` hears the bytes received and the announced total (-1 when none).
    QCoro::Task<ItemList> items(Source source, std::stop_token stop = {},
                                std::function<void(qint64, qint64)> progress = {}) const;
    // The items in `source`'s reach changed at or after the server's second `since`, read or
    // not. For starred this is every changed item: the server's starred list would leave out
    // those unstarred since.
    QCoro::Task<ItemList> changedItems(Source source, qint64 since,
                                       std::stop_token stop = {}) const;
    // The item with that id, or none when the server no longer has it.
    QCoro::Task<std::optional<Item>> item(qint64 id, std::stop_token stop = {}) const;
    QCoro::Task<> setRead(qint64 id, bool read, std::stop_token stop = {}) const;
    QCoro::Task<> setStarred(qint64 id, bool starred, std::stop_token stop = {}) const;
    // Sends nothing for the starred source, which has no server-side equivalent.
    QCoro::Task<> markAllRead(Source source, qint64 newestItemId, std::stop_token stop = {}) const;
    // Marks exactly these items read or unread, in one request.
    QCoro::Task<> setRead(QList<qint64> ids, bool read, std::stop_token stop = {}) const;

    // Subscriptions. The server fetches a feed it is asked to add; no folder id is checked.
    QCoro::Task<Folder> createFolder(QString name, std::stop_token stop = {}) const;
    QCoro::Task<> renameFolder(qint64 id, QString name, std::stop_token stop = {}) const;
    // The folder's feeds stay on the server, listed under its old id.
    QCoro::Task<> deleteFolder(qint64 id, std::stop_token stop = {}) const;
    // `folderId` none for the top level.
    QCoro::Task<Feed> addFeed(QString url, std::optional<qint64> folderId,
                              std::stop_token stop = {}) const;
    QCoro::Task<> renameFeed(qint64 id, QString title, std::stop_token stop = {}) const;
    QCoro::Task<> moveFeed(qint64 id, std::optional<qint64> folderId,
                           std::stop_token stop = {}) const;
    // Its items go with it.
    QCoro::Task<> deleteFeed(qint64 id, std::stop_token stop = {}) const;

private:
    QCoro::Task<Http::Reply> request(QByteArray method, QString path,
                                     std::optional<QByteArray> body, std::stop_token stop,
                                     Http::Limits limits) const;
    // With the default limits.
    QCoro::Task<Http::Reply> request(QByteArray method, QString path,
                                     std::optional<QByteArray> body, std::stop_token stop) const;
    // A list of items, decoded as it arrives.
    QCoro::Task<ItemList> itemList(QString path, std::stop_token stop,
                                   std::function<void(qint64, qint64)> progress) const;

    Account m_account;
    HttpSession m_session;
};

// "Basic " and the Base64 of the UTF-8 "loginName:appPassword".
QByteArray basicAuthorization(const Account& account);

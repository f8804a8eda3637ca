#include "LumbraCore/Json.h"

#include "LumbraCore/internal/RecordReaders.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

using namespace JsonReader;
using namespace std::string_view_literals;

namespace {

// Authors repeat across a feed's articles: each name is held once, shared by its items.
QString sharedAuthor(Value value)
{
    thread_local QSet<QString> known;
    QString author = readString(value);
    const auto found = known.constFind(author);
    if (found != known.cend()) return *found;
    // Bounded, so a list of a million different names does not keep them all.
    if (known.size() >= 4096) known.clear();
    known.insert(author);
    return author;
}

} // namespace

namespace RecordReaders {

Account readAccount(Value value)
{
    Account account;
    bool server = false, loginName = false, appPassword = false;
    forEachField(value, [&](std::string_view key, Value v) {
        if (key == "server"sv)
            account.server = readString(v), server = true;
        else if (key == "loginName"sv)
            account.loginName = readString(v), loginName = true;
        else if (key == "appPassword"sv)
            account.appPassword = readString(v), appPassword = true;
        else
            return false;
        return true;
    });
    requireKeys({{"server", server}, {"loginName", loginName}, {"appPassword", appPassword}});
    return account;
}

Folder readFolder(Value value)
{
    Folder folder;
    bool id = false, name = false;
    forEachField(value, [&](std::string_view key, Value v) {
        if (key == "id"sv)
            folder.id = readInt(v), id = true;
        else if (key == "name"sv)
            folder.name = readString(v), name = true;
        else
            return false;
        return true;
    });
    requireKeys({{"id", id}, {"name", name}});
    return folder;
}

Feed readFeed(Value value)
{
    Feed feed;
    bool id = false, title = false;
    forEachField(value, [&](std::string_view key, Value v) {
        if (key == "id"sv)
            feed.id = readInt(v), id = true;
        else if (key == "title"sv)
            feed.title = readString(v), title = true;
        else if (key == "url"sv)
            feed.url = optional<QString>(v, readString);
        else if (key == "link"sv)
            feed.link = optional<QString>(v, readString);
        else if (key == "faviconLink"sv)
            feed.faviconLink = optional<QString>(v, readString);
        else if (key == "folderId"sv)
            feed.folderId = optional<qint64>(v, readInt);
        else if (key == "unreadCount"sv)
            feed.unreadCount = optional<qint64>(v, readInt);
        else
            return false;
        return true;
    });
    requireKeys({{"id", id}, {"title", title}});
    return feed;
}

Item readItem(Value value)
{
    Item item;
    bool id = false, feedId = false, unread = false, starred = false;
    forEachField(value, [&](std::string_view key, Value v) {
        if (key == "id"sv)
            item.id = readInt(v), id = true;
        else if (key == "feedId"sv)
            item.feedId = readInt(v), feedId = true;
        else if (key == "title"sv)
            item.title = optional<QString>(v, readString);
        else if (key == "url"sv)
            item.url = optional<QString>(v, readString);
        else if (key == "author"sv)
            item.author = optional<QString>(v, sharedAuthor);
        else if (key == "pubDate"sv)
            item.pubDate = optional<qint64>(v, readInt);
        else if (key == "body"sv)
            item.body =
                optional<ArticleBody>(v, [](Value body) { return ArticleBody(readUtf8(body)); });
        else if (key == "unread"sv)
            item.unread = readBool(v), unread = true;
        else if (key == "starred"sv)
            item.starred = readBool(v), starred = true;
        else
            return false;
        return true;
    });
    requireKeys({{"id", id}, {"feedId", feedId}, {"unread", unread}, {"starred", starred}});
    return item;
}

} // namespace RecordReaders

namespace {

// A list envelope: one required key holding an array of records.
template <typename T, typename Read>
QList<T> readList(Value root, std::string_view listKey, Read read)
{
    QList<T> list;
    bool seen = false;
    forEachField(root, [&](std::string_view key, Value v) {
        if (key != listKey) return false;
        list.clear();
        forEachElement(v, [&](Value element) { list.append(read(element)); });
        seen = true;
        return true;
    });
    requireKeys({{listKey.data(), seen}});
    return list;
}

QByteArray compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

namespace Json {

template <> Account decode<Account>(const QByteArray& json)
{
    return parse<Account>(json, RecordReaders::readAccount);
}

template <> Folder decode<Folder>(const QByteArray& json)
{
    return parse<Folder>(json, RecordReaders::readFolder);
}

template <> Feed decode<Feed>(const QByteArray& json)
{
    return parse<Feed>(json, RecordReaders::readFeed);
}

template <> Item decode<Item>(const QByteArray& json)
{
    return parse<Item>(json, RecordReaders::readItem);
}

template <> FoldersResponse decode<FoldersResponse>(const QByteArray& json)
{
    return parse<FoldersResponse>(json, [](Value root) {
        return FoldersResponse{readList<Folder>(root, "folders", RecordReaders::readFolder)};
    });
}

template <> ItemsResponse decode<ItemsResponse>(const QByteArray& json)
{
    return parse<ItemsResponse>(json, [](Value root) {
        return ItemsResponse{readList<Item>(root, "items", RecordReaders::readItem)};
    });
}

template <> FeedsResponse decode<FeedsResponse>(const QByteArray& json)
{
    return parse<FeedsResponse>(json, [](Value root) {
        FeedsResponse response;
        bool feeds = false;
        forEachField(root, [&](std::string_view key, Value v) {
            if (key == "feeds"sv) {
                response.feeds.clear();
                forEachElement(v, [&](Value element) {
                    response.feeds.append(RecordReaders::readFeed(element));
                });
                feeds = true;
            } else if (key == "starredCount"sv) {
                response.starredCount = optional<qint64>(v, readInt);
            } else {
                return false;
            }
            return true;
        });
        requireKeys({{"feeds", feeds}});
        return response;
    });
}

QByteArray encode(const Account& account)
{
    return compact({{QLatin1StringView("server"), account.server},
                    {QLatin1StringView("loginName"), account.loginName},
                    {QLatin1StringView("appPassword"), account.appPassword}});
}

} // namespace Json

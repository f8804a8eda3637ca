#include "NewsStore.h"

#include "PhpJson.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace sandbox {

namespace {

// 32 hex digits standing in for the server's MD5 fields.
std::string hexHash(const std::string& text, uint64_t salt)
{
    uint64_t a = 1469598103934665603ull ^ salt;
    uint64_t b = 1099511628211ull + salt;
    for (unsigned char c : text) {
        a = (a ^ c) * 1099511628211ull;
        b = (b + c) * 6364136223846793005ull + 1442695040888963407ull;
    }
    char buffer[33];
    std::snprintf(buffer, sizeof buffer, "%016llx%016llx", static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b));
    return buffer;
}

} // namespace

int64_t NewsStore::now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void NewsStore::addFolder(FolderRecord folder)
{
    std::lock_guard lock(m_mutex);
    m_folders.push_back(std::move(folder));
}

void NewsStore::addFeed(FeedRecord feed)
{
    std::lock_guard lock(m_mutex);
    m_feeds.push_back(std::move(feed));
}

void NewsStore::addItem(const ItemRecord& item, int64_t lastModified)
{
    PhpJson head;
    head.beginObject()
        .key("id")
        .number(item.id)
        .key("guid")
        .string(item.guid)
        .key("guidHash")
        .string(hexHash(item.guid, 1))
        .key("url")
        .string(item.url)
        .key("title")
        .string(item.title)
        .key("author")
        .string(item.author)
        .key("pubDate")
        .number(item.pubDate)
        .key("updatedDate")
        .null()
        .key("body")
        .string(item.body)
        .key("enclosureMime")
        .string(item.enclosureMime)
        .key("enclosureLink")
        .string(item.enclosureLink)
        .key("mediaThumbnail")
        .null()
        .key("mediaDescription")
        .null()
        .key("feedId")
        .number(item.feedId);
    const std::string content =
        item.body.value_or(std::string()) + item.title.value_or(std::string());
    PhpJson tail;
    tail.key("rtl")
        .boolean(false)
        .key("fingerprint")
        .string(hexHash(content, 2))
        .key("contentHash")
        .string(hexHash(content, 3));

    StoredItem stored{item.feedId,  item.unread, item.starred,
                      lastModified, head.take(), tail.take()};
    stored.head += ',';
    stored.tail = ',' + stored.tail + '}';
    std::lock_guard lock(m_mutex);
    m_items[item.id] = std::move(stored);
}

void NewsStore::writeFolder(PhpJson& json, const FolderRecord& folder)
{
    json.beginObject()
        .key("id")
        .number(folder.id)
        .key("name")
        .string(folder.name)
        .key("opened")
        .boolean(true)
        .key("feeds")
        .beginArray()
        .endArray()
        .endObject();
}

void NewsStore::writeFeed(PhpJson& json, const FeedRecord& feed, std::optional<int64_t> unread)
{
    json.beginObject()
        .key("id")
        .number(feed.id)
        .key("url")
        .string(feed.url)
        .key("title")
        .string(feed.title)
        .key("faviconLink")
        .string(feed.faviconLink)
        .key("added")
        .number(feed.added)
        .key("folderId")
        .number(feed.folderId)
        .key("unreadCount")
        .number(unread)
        .key("ordering")
        .number(0)
        .key("link")
        .string(feed.link)
        .key("pinned")
        .boolean(false)
        .key("updateErrorCount")
        .number(0)
        .key("lastUpdateError")
        .null()
        .key("items")
        .beginArray()
        .endArray()
        .key("nextUpdateTime")
        .null()
        .endObject();
}

std::string NewsStore::foldersJson() const
{
    std::lock_guard lock(m_mutex);
    PhpJson json;
    json.beginObject().key("folders").beginArray();
    for (const FolderRecord& folder : m_folders)
        writeFolder(json, folder);
    json.endArray().endObject();
    return json.take();
}

std::string NewsStore::feedsJson() const
{
    std::lock_guard lock(m_mutex);
    std::map<int64_t, int64_t> unread;
    int64_t starred = 0;
    for (const auto& [id, item] : m_items) {
        unread[item.feedId] += item.unread ? 1 : 0;
        starred += item.starred ? 1 : 0;
    }
    PhpJson json;
    json.beginObject().key("starredCount").number(starred).key("feeds").beginArray();
    for (const FeedRecord& feed : m_feeds)
        writeFeed(json, feed,
                  feed.unreadCountUnknown ? std::nullopt : std::optional(unread[feed.id]));
    json.endArray();
    if (!m_items.empty()) json.key("newestItemId").number(m_items.rbegin()->first);
    json.endObject();
    return json.take();
}

std::string NewsStore::createFolder(const std::string& name)
{
    FolderRecord folder{1, name};
    {
        std::lock_guard lock(m_mutex);
        for (const FolderRecord& existing : m_folders)
            folder.id = std::max(folder.id, existing.id + 1);
        m_folders.push_back(folder);
    }
    PhpJson json;
    json.beginObject().key("folders").beginArray();
    writeFolder(json, folder);
    json.endArray().endObject();
    return json.take();
}

bool NewsStore::renameFolder(int64_t folderId, const std::string& name)
{
    std::lock_guard lock(m_mutex);
    const auto folder = std::find_if(m_folders.begin(), m_folders.end(),
                                     [&](const FolderRecord& f) { return f.id == folderId; });
    if (folder == m_folders.end()) return false;
    folder->name = name;
    return true;
}

bool NewsStore::renameFeed(int64_t feedId, const std::string& title)
{
    std::lock_guard lock(m_mutex);
    const auto feed = std::find_if(m_feeds.begin(), m_feeds.end(),
                                   [&](const FeedRecord& f) { return f.id == feedId; });
    if (feed == m_feeds.end()) return false;
    feed->title = title;
    return true;
}

bool NewsStore::isSubscribed(const std::string& url) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_feeds.begin(), m_feeds.end(),
                       [&](const FeedRecord& feed) { return feed.url == url; });
}

std::string NewsStore::subscribe(FeedRecord feed, const std::vector<ItemRecord>& items)
{
    {
        std::lock_guard lock(m_mutex);
        feed.id = 1;
        for (const FeedRecord& existing : m_feeds)
            feed.id = std::max(feed.id, existing.id + 1);
        feed.added = now();
        m_feeds.push_back(feed);
    }
    int64_t nextItem = 1;
    {
        std::lock_guard lock(m_mutex);
        if (!m_items.empty()) nextItem = m_items.rbegin()->first + 1;
    }
    for (ItemRecord item : items) {
        item.id = nextItem++;
        item.feedId = feed.id;
        addItem(item, now());
    }
    PhpJson json;
    json.beginObject().key("feeds").beginArray();
    writeFeed(json, feed, std::nullopt);
    json.endArray();
    std::lock_guard lock(m_mutex);
    if (!m_items.empty()) json.key("newestItemId").number(m_items.rbegin()->first);
    json.endObject();
    return json.take();
}

std::string NewsStore::itemsJson(const ItemsQuery& query) const
{
    std::lock_guard lock(m_mutex);
    std::vector<int64_t> feedsInFolder;
    if (query.type == 1)
        for (const FeedRecord& feed : m_feeds)
            if (query.id != 0 && feed.folderId == query.id) feedsInFolder.push_back(feed.id);

    const auto matches = [&](const StoredItem& item) {
        if (!query.getRead && !item.unread) return false;
        if (item.lastModified < query.modifiedSince) return false;
        switch (query.type) {
        case 0:
            return item.feedId == query.id;
        case 1:
            return std::find(feedsInFolder.begin(), feedsInFolder.end(), item.feedId) !=
                   feedsInFolder.end();
        case 2:
            return item.starred;
        default:
            return true;
        }
    };

    std::string out = "{\"items\":[";
    const size_t limit = query.batchSize > 0 ? size_t(query.batchSize) : SIZE_MAX;
    size_t count = 0;
    const auto emit = [&](int64_t, const StoredItem& item) {
        if (count++) out += ',';
        out += item.head;
        out += item.unread ? "\"unread\":true" : "\"unread\":false";
        out += item.starred ? ",\"starred\":true" : ",\"starred\":false";
        out += ",\"lastModified\":" + std::to_string(item.lastModified);
        out += item.tail;
    };
    if (query.oldestFirst) {
        for (auto it = m_items.upper_bound(query.offset); it != m_items.end() && count < limit;
             ++it)
            if (matches(it->second)) emit(it->first, it->second);
    } else {
        auto end = query.offset > 0 ? m_items.lower_bound(query.offset) : m_items.end();
        for (auto it = std::make_reverse_iterator(end); it != m_items.rend() && count < limit; ++it)
            if (matches(it->second)) emit(it->first, it->second);
    }
    out += "]}";
    return out;
}

bool NewsStore::setUnread(int64_t itemId, bool unread)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_items.find(itemId);
    if (it == m_items.end()) return false;
    it->second.unread = unread;
    it->second.lastModified = now();
    return true;
}

bool NewsStore::setStarred(int64_t itemId, bool starred)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_items.find(itemId);
    if (it == m_items.end()) return false;
    it->second.starred = starred;
    it->second.lastModified = now();
    return true;
}

template <typename Match> void NewsStore::markRead(int64_t newestItemId, Match match)
{
    const int64_t modified = now();
    for (auto& [id, item] : m_items) {
        if (id > newestItemId) break;
        if (item.unread && match(item)) {
            item.unread = false;
            item.lastModified = modified;
        }
    }
}

bool NewsStore::markFeedRead(int64_t feedId, int64_t newestItemId)
{
    std::lock_guard lock(m_mutex);
    if (std::none_of(m_feeds.begin(), m_feeds.end(), [&](auto& f) { return f.id == feedId; }))
        return false;
    markRead(newestItemId, [&](const StoredItem& item) { return item.feedId == feedId; });
    return true;
}

bool NewsStore::deleteFeed(int64_t feedId)
{
    std::lock_guard lock(m_mutex);
    // Its articles stay in the item lists, as on the real server after a feed is deleted
    // through the API: clients must not list what belongs to no feed.
    return std::erase_if(m_feeds, [&](const FeedRecord& feed) { return feed.id == feedId; }) != 0;
}

bool NewsStore::moveFeed(int64_t feedId, std::optional<int64_t> folderId)
{
    std::lock_guard lock(m_mutex);
    const auto feed = std::find_if(m_feeds.begin(), m_feeds.end(),
                                   [&](const FeedRecord& f) { return f.id == feedId; });
    if (feed == m_feeds.end()) return false;
    feed->folderId = folderId;
    return true;
}

bool NewsStore::deleteFolder(int64_t folderId)
{
    std::lock_guard lock(m_mutex);
    return std::erase_if(m_folders, [&](const FolderRecord& f) { return f.id == folderId; }) > 0;
}

bool NewsStore::markFolderRead(int64_t folderId, int64_t newestItemId)
{
    std::lock_guard lock(m_mutex);
    if (std::none_of(m_folders.begin(), m_folders.end(), [&](auto& f) { return f.id == folderId; }))
        return false;
    std::vector<int64_t> feeds;
    for (const FeedRecord& feed : m_feeds)
        if (feed.folderId == folderId) feeds.push_back(feed.id);
    markRead(newestItemId, [&](const StoredItem& item) {
        return std::find(feeds.begin(), feeds.end(), item.feedId) != feeds.end();
    });
    return true;
}

void NewsStore::markAllRead(int64_t newestItemId)
{
    std::lock_guard lock(m_mutex);
    markRead(newestItemId, [](const StoredItem&) { return true; });
}

std::optional<ItemState> NewsStore::itemState(int64_t itemId) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_items.find(itemId);
    if (it == m_items.end()) return std::nullopt;
    return ItemState{it->second.unread, it->second.starred};
}

size_t NewsStore::itemCount() const
{
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

std::vector<int64_t> NewsStore::itemIds() const
{
    std::lock_guard lock(m_mutex);
    std::vector<int64_t> ids;
    for (const auto& entry : m_items)
        ids.push_back(entry.first);
    return ids;
}

int64_t NewsStore::unreadCount(int64_t feedId) const
{
    std::lock_guard lock(m_mutex);
    int64_t count = 0;
    for (const auto& entry : m_items)
        count += entry.second.feedId == feedId && entry.second.unread;
    return count;
}

} // namespace sandbox

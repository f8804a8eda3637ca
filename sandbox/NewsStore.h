#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sandbox {

class PhpJson;

struct FolderRecord {
    int64_t id = 0;
    std::string name;
};

struct FeedRecord {
    int64_t id = 0;
    std::string url;
    std::string title;
    std::optional<std::string> faviconLink;
    std::optional<std::string> link;
    std::optional<int64_t> folderId;
    int64_t added = 0;
    // Right after a feed is added the real server reports a null unread count.
    bool unreadCountUnknown = false;
};

struct ItemRecord {
    int64_t id = 0;
    int64_t feedId = 0;
    std::string guid;
    std::optional<std::string> url;
    std::optional<std::string> title;
    std::optional<std::string> author;
    std::optional<int64_t> pubDate;
    std::optional<std::string> body;
    std::optional<std::string> enclosureMime;
    std::optional<std::string> enclosureLink;
    bool unread = true;
    bool starred = false;
};

struct ItemsQuery {
    int type = 3; // 0 feed, 1 folder, 2 starred, 3 all
    int64_t id = 0;
    bool getRead = true;
    int64_t batchSize = -1;
    int64_t offset = 0;
    bool oldestFirst = false;
    // Only items whose lastModified is at or after this (/items/updated).
    int64_t modifiedSince = 0;
};

struct ItemState {
    bool unread = false;
    bool starred = false;
};

// The News data of the one sandbox user, safe to use from the server's threads.
class NewsStore {
public:
    void addFolder(FolderRecord folder);
    void addFeed(FeedRecord feed);
    void addItem(const ItemRecord& item, int64_t lastModified);

    std::string foldersJson() const;
    std::string feedsJson() const;
    std::string itemsJson(const ItemsQuery& query) const;

    // False when no item, feed or folder has the id.
    bool setUnread(int64_t itemId, bool unread);
    bool setStarred(int64_t itemId, bool starred);
    bool markFeedRead(int64_t feedId, int64_t newestItemId);
    bool markFolderRead(int64_t folderId, int64_t newestItemId);
    void markAllRead(int64_t newestItemId);
    // As the real server does: a deleted feed's items stay in the item lists; a move does
    // not check that the folder exists and changes no item's lastModified; a deleted folder
    // leaves its feeds behind with its id.
    bool deleteFeed(int64_t feedId);
    bool moveFeed(int64_t feedId, std::optional<int64_t> folderId);
    bool deleteFolder(int64_t folderId);
    // Any name makes a new folder, one in use and an empty one too; {"folders":[…]}.
    std::string createFolder(const std::string& name);
    bool renameFolder(int64_t folderId, const std::string& name);
    bool renameFeed(int64_t feedId, const std::string& title);
    bool isSubscribed(const std::string& url) const;
    // Adds `feed` (its id given by the store) and its items; {"feeds":[…],"newestItemId":N}.
    std::string subscribe(FeedRecord feed, const std::vector<ItemRecord>& items);

    std::optional<ItemState> itemState(int64_t itemId) const;
    size_t itemCount() const;
    std::vector<int64_t> itemIds() const;
    // Sum of unread items per feed, as /feeds reports them.
    int64_t unreadCount(int64_t feedId) const;

private:
    struct StoredItem {
        int64_t feedId = 0;
        bool unread = true;
        bool starred = false;
        int64_t lastModified = 0;
        std::string head; // encoded fields before "unread"
        std::string tail; // encoded fields after "lastModified"
    };

    template <typename Match> void markRead(int64_t newestItemId, Match match);
    // One feed as /feeds lists it; `unread` none for the null a new feed shows.
    static void writeFeed(PhpJson& json, const FeedRecord& feed, std::optional<int64_t> unread);
    static void writeFolder(PhpJson& json, const FolderRecord& folder);
    static int64_t now();

    mutable std::mutex m_mutex;
    std::vector<FolderRecord> m_folders;
    std::vector<FeedRecord> m_feeds;
    std::map<int64_t, StoredItem> m_items;
};

} // namespace sandbox

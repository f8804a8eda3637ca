#pragma once

#include "LumbraCore/ArticleBody.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

// The News records as the server sends them. Plain values: copies are independent and
// compare field by field.

struct Account {
    QString server;
    QString loginName;
    QString appPassword;

    friend bool operator==(const Account&, const Account&) = default;
};

struct Folder {
    qint64 id = 0;
    QString name;

    friend bool operator==(const Folder&, const Folder&) = default;
};

struct Feed {
    qint64 id = 0;
    QString title;
    std::optional<QString> url;
    std::optional<QString> link;
    std::optional<QString> faviconLink;
    std::optional<qint64> folderId;
    std::optional<qint64> unreadCount;

    friend bool operator==(const Feed&, const Feed&) = default;
};

struct Item {
    qint64 id = 0;
    qint64 feedId = 0;
    std::optional<QString> title;
    std::optional<QString> url;
    std::optional<QString> author;
    std::optional<qint64> pubDate;
    std::optional<ArticleBody> body;
    bool unread = false;
    bool starred = false;

    friend bool operator==(const Item&, const Item&) = default;
};

// Which items the timeline shows.
class Source {
public:
    enum class Kind { allUnread, all, starred, folder, feed };

    static Source allUnread() { return Source(Kind::allUnread, 0); }
    static Source all() { return Source(Kind::all, 0); }
    static Source starred() { return Source(Kind::starred, 0); }
    static Source folder(qint64 id) { return Source(Kind::folder, id); }
    static Source feed(qint64 id) { return Source(Kind::feed, id); }
    // The source of `kind`; `id` counts only for folders and feeds.
    static Source of(Kind kind, qint64 id);

    Kind kind() const { return m_kind; }
    // The folder or feed id; 0 for the trays.
    qint64 id() const { return m_id; }

    friend bool operator==(const Source&, const Source&) = default;

private:
    Source(Kind kind, qint64 id) : m_kind(kind), m_id(id) {}
    Kind m_kind;
    qint64 m_id;
};

struct FeedsResponse {
    QList<Feed> feeds;
    std::optional<qint64> starredCount;

    friend bool operator==(const FeedsResponse&, const FeedsResponse&) = default;
};

struct FoldersResponse {
    QList<Folder> folders;
};

struct ItemsResponse {
    QList<Item> items;
};

size_t qHash(const Folder& folder, size_t seed = 0) noexcept;
size_t qHash(const Feed& feed, size_t seed = 0) noexcept;
size_t qHash(const Item& item, size_t seed = 0) noexcept;
size_t qHash(const Source& source, size_t seed = 0) noexcept;

// Every request the sandbox answers, in one table: which requests a route takes, its name
// for faults, and its answer. Faults and answers are both looked up here.

#include "DemoData.h"
#include "PhpJson.h"
#include "Sandbox.h"
#include "Wire.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <string_view>

namespace sandbox {

namespace {

const std::string notFoundTitle = "Not found";
const std::string notFound = "<h2>Page not found</h2>";
const std::string flowPrefix = "/index.php/login/v2/flow/";

std::vector<std::string_view> segments(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t slash = path.find('/', start);
        parts.push_back(
            path.substr(start, slash == std::string_view::npos ? slash : slash - start));
        if (slash == std::string_view::npos) return parts;
        start = slash + 1;
    }
}

bool isNumber(std::string_view text)
{
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Whether `path` has the shape of `pattern`, whose "{n}" is a number (kept in `numbers`) and a final "{*}" one or more parts of any
// kind.
bool matches(std::string_view pattern, std::string_view path, std::vector<int64_t>& numbers)
{
    const std::vector<std::string_view> want = segments(pattern);
    const std::vector<std::string_view> have = segments(path);
    numbers.clear();
    for (size_t i = 0; i < want.size(); ++i) {
        if (want[i] == "{*}") return i < have.size();
        if (i >= have.size()) return false;
        if (want[i] == "{n}") {
            if (!isNumber(have[i])) return false;
            const auto number = parseInt(std::string(have[i]));
            if (!number) return false;
            numbers.push_back(*number);
        } else if (want[i] != have[i]) {
            return false;
        }
    }
    return want.size() == have.size();
}

Sandbox::Reply itemsReply(NewsStore& store, const std::map<std::string, std::string>& query)
{
    ItemsQuery q;
    q.type = int(intParam(query, "type", 3));
    q.id = intParam(query, "id", 0);
    q.getRead = boolParam(query, "getRead", true);
    q.batchSize = intParam(query, "batchSize", -1);
    q.offset = intParam(query, "offset", 0);
    q.oldestFirst = boolParam(query, "oldestFirst", false);
    if (q.type == 2 && !q.getRead)
        return message(400, "Starred items can only be listed with getRead=true");
    return json(200, store.itemsJson(q));
}

Sandbox::Reply updatedReply(NewsStore& store, const std::map<std::string, std::string>& query)
{
    // Changed items of every state, newest first, as the real server answers.
    ItemsQuery q;
    q.type = int(intParam(query, "type", 3));
    q.id = intParam(query, "id", 0);
    q.modifiedSince = intParam(query, "lastModified", 0);
    return json(200, store.itemsJson(q));
}

Sandbox::Reply itemFound(bool found)
{
    if (!found)
        return message(404, "Did expect one result but found none when executing: query "
                            "\"SELECT `items`.* FROM `*PREFIX*news_items` `items`\"; ");
    return json(200, "[]");
}

// The real server's words for an unknown feed or folder.
Sandbox::Reply foundIn(bool found, const char* table)
{
    if (!found)
        return message(404, std::string("Did expect one result but found none when executing: "
                                        "query \"SELECT * FROM `*PREFIX*news_") +
                                table + "` WHERE (user_id = :user_id) AND (id = :id)\"; ");
    return json(200, "[]");
}

Sandbox::Reply moved(NewsStore& store, const std::string& body, int64_t feedId)
{
    const auto folder = soleNumber(body, "folderId");
    if (!folder) return serverError();
    return foundIn(store.moveFeed(feedId, *folder), "feeds");
}

Sandbox::Reply markedRead(NewsStore& store, const std::string& body, int64_t id, bool feed)
{
    const auto newest = newestItemId(body);
    if (!newest) return serverError();
    const bool found = feed ? store.markFeedRead(id, *newest) : store.markFolderRead(id, *newest);
    return found ? json(200, "null") : serverError();
}

Sandbox::Reply markedMany(NewsStore& store, const std::string& body, bool unread)
{
    const auto ids = itemIds(body);
    if (!ids) return serverError();
    for (const int64_t id : *ids)
        store.setUnread(id, unread);
    return json(200, "null");
}

// The request body's field `key`: a string, a number, or null (none) for `folderId`.
QJsonValue field(const std::string& body, const char* key)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), qsizetype(body.size())));
    return document.object().value(QLatin1StringView(key));
}

std::optional<std::string> stringField(const std::string& body, const char* key)
{
    const QJsonValue value = field(body, key);
    if (!value.isString()) return std::nullopt;
    return value.toString().toStdString();
}

// GET /subscribable/ and /subscribable/<slug>.xml.
Sandbox::Reply subscribable(const std::string& base, const std::string& target)
{
    const std::string prefix = "/subscribable/";
    const std::string rest = target.substr(prefix.size(), target.find('?') - prefix.size());
    if (rest.empty()) return {200, "text/html; charset=UTF-8", subscribableSite(base)};
    if (rest == "relative/")
        return {200, "text/html; charset=UTF-8", subscribableRelativeSite(base)};
    for (const SubscribableFeed& feed : subscribableFeeds())
        if (rest == feed.slug + ".xml")
            return {200, "application/rss+xml; charset=utf-8", subscribableDocument(feed, base)};
    return html(404, notFoundTitle, notFound);
}

// Two releases, the newer with release notes.
Sandbox::Reply appcast(const std::string& base)
{
    return {200, "application/rss+xml; charset=utf-8",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<rss version=\"2.0\" "
            "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
            "<channel><title>Lumbra</title>"
            "<item><title>0.9.0</title><sparkle:version>0.9.0</sparkle:version>"
            "<enclosure url=\"" +
                base +
                "/downloads/lumbra-0.9.0.tar.gz\"/></item>"
                "<item><title>1.10.0</title><sparkle:version>1.10.0</sparkle:version>"
                "<sparkle:releaseNotesLink>" +
                base +
                "/notes/1.10.0</sparkle:releaseNotesLink>"
                "<enclosure url=\"" +
                base +
                "/downloads/lumbra-1.10.0.tar.gz\"/></item>"
                "</channel></rss>\n"};
}

} // namespace

struct Sandbox::Call {
    const LoggedRequest& request;
    const std::map<std::string, std::string>& query;
    std::vector<int64_t> numbers; // the "{n}" parts of the path
};

struct Sandbox::Route {
    std::string_view method; // "*" for any
    std::string path;
    std::string name; // for faults; empty for none
    // Behind the News app's gate: installed and authenticated.
    bool news;
    Reply (*answer)(Sandbox&, const Call&);
};

const std::vector<Sandbox::Route>& Sandbox::routes()
{
    using S = Sandbox;
    using C = Call;
    static const std::string api = "/index.php/apps/news/api/v1-3/";
    static const std::vector<Route> table{
        // The News API.
        {"GET", api + "folders", "folders", true,
         [](S& s, const C&) { return json(200, s.m_store.foldersJson()); }},
        {"GET", api + "feeds", "feeds", true,
         [](S& s, const C&) { return json(200, s.m_store.feedsJson()); }},
        {"GET", api + "items", "items", true,
         [](S& s, const C& c) { return itemsReply(s.m_store, c.query); }},
        {"GET", api + "items/updated", "items-updated", true,
         [](S& s, const C& c) { return updatedReply(s.m_store, c.query); }},
        {"POST", api + "items/{n}/read", "item-read", true,
         [](S& s, const C& c) { return itemFound(s.m_store.setUnread(c.numbers[0], false)); }},
        {"POST", api + "items/{n}/unread", "item-unread", true,
         [](S& s, const C& c) { return itemFound(s.m_store.setUnread(c.numbers[0], true)); }},
        {"POST", api + "items/{n}/star", "item-star", true,
         [](S& s, const C& c) { return itemFound(s.m_store.setStarred(c.numbers[0], true)); }},
        {"POST", api + "items/{n}/unstar", "item-unstar", true,
         [](S& s, const C& c) { return itemFound(s.m_store.setStarred(c.numbers[0], false)); }},
        {"POST", api + "feeds/{n}/read", "feed-read", true,
         [](S& s, const C& c) {
             return markedRead(s.m_store, c.request.body, c.numbers[0], true);
         }},
        {"POST", api + "folders/{n}/read", "folder-read", true,
         [](S& s, const C& c) {
             return markedRead(s.m_store, c.request.body, c.numbers[0], false);
         }},
        {"DELETE", api + "feeds/{n}", "feed-delete", true,
         [](S& s, const C& c) { return foundIn(s.m_store.deleteFeed(c.numbers[0]), "feeds"); }},
        {"POST", api + "feeds/{n}/move", "feed-move", true,
         [](S& s, const C& c) { return moved(s.m_store, c.request.body, c.numbers[0]); }},
        {"DELETE", api + "folders/{n}", "folder-delete", true,
         [](S& s, const C& c) { return foundIn(s.m_store.deleteFolder(c.numbers[0]), "folders"); }},
        {"POST", api + "folders", "folder-create", true,
         [](S& s, const C& c) {
             const auto name = stringField(c.request.body, "name");
             return name ? json(200, s.m_store.createFolder(*name)) : serverError();
         }},
        {"PUT", api + "folders/{n}", "folder-rename", true,
         [](S& s, const C& c) {
             const auto name = stringField(c.request.body, "name");
             if (!name) return serverError();
             return foundIn(s.m_store.renameFolder(c.numbers[0], *name), "folders");
         }},
        {"POST", api + "feeds", "feed-create", true,
         [](S& s, const C& c) { return s.subscribe(c.request.body); }},
        {"POST", api + "feeds/{n}/rename", "feed-rename", true,
         [](S& s, const C& c) {
             const auto title = stringField(c.request.body, "feedTitle");
             if (!title) return serverError();
             return foundIn(s.m_store.renameFeed(c.numbers[0], *title), "feeds");
         }},
        {"POST", api + "items/read/multiple", "items-read-multiple", true,
         [](S& s, const C& c) { return markedMany(s.m_store, c.request.body, false); }},
        {"POST", api + "items/unread/multiple", "items-unread-multiple", true,
         [](S& s, const C& c) { return markedMany(s.m_store, c.request.body, true); }},
        {"POST", api + "items/read", "items-read", true,
         [](S& s, const C& c) {
             const auto newest = newestItemId(c.request.body);
             if (!newest) return serverError();
             s.m_store.markAllRead(*newest);
             return json(200, "null");
         }},
        {"*", api + "{*}", "news", true, [](S&, const C&) { return methodNotAllowed(); }},
        {"*", "/index.php/apps/news/api/{*}", "", false,
         [](S&, const C&) { return html(404, notFoundTitle, notFound); }},

        // Login Flow v2 and the page behind "Grant access".
        {"POST", "/index.php/login/v2", "login-start", false,
         [](S& s, const C&) { return s.startLogin(); }},
        {"*", "/index.php/login/v2", "login-start", false,
         [](S&, const C&) { return methodNotAllowed(); }},
        {"POST", "/index.php/login/v2/poll", "login-poll", false,
         [](S& s, const C& c) { return s.pollLogin(c.request.body); }},
        {"*", "/index.php/login/v2/poll", "login-poll", false,
         [](S&, const C&) { return methodNotAllowed(); }},
        {"GET", flowPrefix + "{*}", "login-page", false,
         [](S& s, const C& c) {
             const std::string& target = c.request.target;
             return s.loginPage(
                 target.substr(flowPrefix.size(), target.find('?') - flowPrefix.size()));
         }},
        {"POST", "/index.php/login/v2/grant", "login-page", false,
         [](S& s, const C& c) { return s.grantLogin(c.request.body); }},
        {"*", "/index.php/login/v2/{*}", "login-page", false,
         [](S&, const C&) { return html(404, notFoundTitle, notFound); }},

        // App-password revocation.
        {"DELETE", "/ocs/v2.php/core/apppassword", "revoke", false,
         [](S& s, const C& c) { return s.revoke(c.request); }},
        {"*", "/ocs/v2.php/core/apppassword", "revoke", false,
         [](S&, const C&) { return methodNotAllowed(); }},

        // Pictures, the update feed and the front page.
        {"GET", "/favicons/{*}", "favicon", false,
         [](S&, const C&) {
             return Reply{200, "image/png", std::string(demoImage())};
         }},
        {"*", "/favicons/{*}", "favicon", false,
         [](S&, const C&) { return html(404, notFoundTitle, notFound); }},
        {"GET", "/images/{*}", "", false,
         [](S&, const C&) {
             return Reply{200, "image/png", std::string(demoImage())};
         }},
        {"GET", "/subscribable/{*}", "subscribable", false,
         [](S& s, const C& c) { return subscribable(s.baseUrl(), c.request.target); }},
        {"GET", "/subscribable/", "subscribable", false,
         [](S& s, const C& c) { return subscribable(s.baseUrl(), c.request.target); }},
        {"GET", "/appcast.xml", "appcast", false,
         [](S& s, const C&) { return appcast(s.baseUrl()); }},
        {"*", "/appcast.xml", "appcast", false,
         [](S&, const C&) { return html(404, notFoundTitle, notFound); }},
        {"GET", "/", "", false,
         [](S&, const C&) {
             return html(200, "Lumbra sandbox",
                         "<h1>Lumbra sandbox</h1><p>A local stand-in for Nextcloud News.</p>");
         }},
        {"GET", "/index.php", "", false,
         [](S&, const C&) {
             return html(200, "Lumbra sandbox",
                         "<h1>Lumbra sandbox</h1><p>A local stand-in for Nextcloud News.</p>");
         }},
        {"*", "{*}", "", false, [](S&, const C&) { return html(404, notFoundTitle, notFound); }},
    };
    return table;
}

std::vector<std::string> Sandbox::faultNames()
{
    std::vector<std::string> names;
    for (const Route& route : routes())
        if (!route.name.empty() && std::find(names.begin(), names.end(), route.name) == names.end())
            names.push_back(route.name);
    return names;
}

Sandbox::Routed Sandbox::route(const std::string& method, const std::string& path)
{
    Routed routed;
    for (const Route& candidate : routes()) {
        if ((candidate.method == "*" || candidate.method == method) &&
            matches(candidate.path, path, routed.numbers)) {
            routed.route = &candidate;
            routed.name = candidate.name;
            return routed;
        }
    }
    return routed; // not reached: the last route takes every path
}

Sandbox::Reply Sandbox::answer(const Routed& routed, const LoggedRequest& request,
                               const std::map<std::string, std::string>& query)
{
    const Route& route = *routed.route;
    const Call call{request, query, routed.numbers};
    if (route.news) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_newsInstalled) return html(404, notFoundTitle, notFound);
        }
        if (!call.request.hasHeader("authorization"))
            return message(401, "CORS requires basic auth");
        if (!authenticatedPassword(call.request)) return message(401, "");
    }
    return route.answer(*this, call);
}

Sandbox::Reply Sandbox::subscribe(const std::string& body)
{
    const auto url = stringField(body, "url");
    const QJsonValue folder = field(body, "folderId");
    if (!url || !(folder.isDouble() || folder.isNull() || folder.isUndefined()))
        return serverError();
    // Duplicates are looked for as the address was sent; the feed keeps it as its fetcher
    // has it, scheme and host in lower case (so HTTP://host/f makes a second http://host/f).
    if (m_store.isSubscribed(*url)) return message(409, "Feed with this URL exists");
    QUrl fetched(QString::fromStdString(*url));
    fetched.setScheme(fetched.scheme().toLower());
    fetched.setHost(fetched.host().toLower());
    std::string address = fetched.toString(QUrl::FullyEncoded).toStdString();
    const std::string own = baseUrl() + "/subscribable/";
    // A site's page: the server reads it and subscribes the first feed it links, without
    // asking; a relative first link it cannot fetch.
    if (address == own || address == own + "relative/") {
        const std::string first = address == own ? own + subscribableFeeds().front().slug + ".xml"
                                                 : std::string("../field-notes.xml");
        if (first.rfind("../", 0) == 0)
            return message(404, "cURL error 6: Could not resolve host: .. (see "
                                "https://curl.haxx.se/libcurl/c/libcurl-errors.html) for " +
                                    first);
        if (m_store.isSubscribed(first)) return message(409, "Feed with this URL exists");
        address = first;
    }
    for (const SubscribableFeed& feed : subscribableFeeds()) {
        if (address != own + feed.slug + ".xml") continue;
        FeedRecord record;
        record.url = address;
        record.title = feed.title;
        record.link = own;
        // 0 is the top level, as on the real server.
        if (folder.isDouble() && folder.toInteger() != 0) record.folderId = folder.toInteger();
        return json(200, m_store.subscribe(record, feed.items));
    }
    // The sandbox's other pages are no feeds; any other address is out of its reach.
    if (address.rfind(baseUrl(), 0) == 0) return message(404, "No parser can handle this stream");
    return message(404, "cURL error 7: Failed to connect to " + fetched.host().toStdString() +
                            " port " + std::to_string(fetched.port(80)) +
                            " after 0 ms: Couldn't connect to server (see "
                            "https://curl.haxx.se/libcurl/c/libcurl-errors.html) for " +
                            *url);
}

} // namespace sandbox

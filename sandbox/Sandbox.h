#pragma once

#include "NewsStore.h"
#include "SelfSignedCertificate.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace sandbox {

// What to do instead of (or on top of) the normal answer of one route.
struct Fault {
    enum class Body {
        normal,
        malformed,   // JSON cut off inside a value
        truncated,   // the first half of the body
        drop,        // announce the whole body, send half and hang up
        lyingLength, // announce 9000000000000000000 bytes, send the body and hang up
        endless,     // an item list that never ends (until the client leaves, or 10 min)
        bomb,        // gzip-encoded JSON whitespace that never ends: each KB inflates to a MB
        gzip,        // the reply gzip-encoded and chunked, as web servers compress on the fly
        drip,        // the body one byte every `dripMs`
        deep,        // the reply with an ignored key nested `depth` levels deep
        redirect,    // 307 to the same path on the other host (see elsewhereRequests)
        given,       // `given` instead of the body
    };
    int status = 0;  // answer with this status (and a small JSON body) when not 0
    int delayMs = 0; // wait this long before answering
    Body body = Body::normal;
    int times = -1; // how many requests it applies to; -1 for all
    int dripMs = 1000;
    int depth = 100000;
    std::string given = {};
    int lateMs = 0; // answer as things stood on arrival, this much later
};

struct LoggedRequest {
    std::string method;
    std::string target;                              // path with query, as sent
    std::multimap<std::string, std::string> headers; // names lower-cased
    std::string body;

    // The first value of a header, "" when absent. `name` is matched case-insensitively.
    std::string header(std::string name) const;
    bool hasHeader(std::string name) const;
};

struct Options {
    bool demo = true;
    size_t generatedItems = 0;
    bool longRead = false;       // a feed with one article of 3,000 words under four headings
    size_t generatedFolders = 0; // folders "Folder N", each with one feed "Feed N"
    uint64_t seed = 1;
    bool https = false;
    // Served over HTTPS instead of a fresh one: the same across restarts, or an expired one.
    std::shared_ptr<const SelfSignedCertificate> certificate = {};
    // Where the server lives, as in https://host/nextcloud: "" or "/nextcloud".
    std::string basePath = {};
    // Pages without "/index.php", as a server whose web server rewrites them names them;
    // the paths with it keep working, as they do there.
    bool prettyUrls = false;
    std::string user = "demo";
};

// A local stand-in for a Nextcloud server with the News app, for everything Lumbra asks of
// one: News API v1-3, Login Flow v2 with a login page, app-password revocation and Basic
// authentication, answering as a real server does. Listens on 127.0.0.1 only and serves
// from its own threads.
//
// Route names for faults (faultNames() lists them): "folders", "feeds", "items",
// "items-updated", "item-read", "item-unread", "item-star", "item-unstar", "feed-read",
// "folder-read", "feed-delete", "feed-move", "folder-delete", "folder-create",
// "folder-rename", "feed-create", "feed-rename", "items-read-multiple",
// "items-unread-multiple", "items-read", "news" (the other News API paths), "login-start",
// "login-poll", "login-page", "revoke", "favicon", "subscribable" (the sites and feeds it
// offers to subscribe to), "appcast", or "*" for every route. Routes.cpp lists them with
// what they answer.
class Sandbox {
public:
    explicit Sandbox(Options options = {});
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Starts serving; port 0 picks a free one. Throws std::runtime_error when it cannot bind.
    void start(int port = 0);
    void stop();

    int port() const { return m_port; }
    // The server's address, its base path included.
    std::string baseUrl() const;
    // The address of one of its pages ("/login/v2/poll"), as the server names them.
    std::string pageUrl(const std::string& page) const;
    // The certificate served over HTTPS; none over HTTP.
    std::shared_ptr<const SelfSignedCertificate> certificate() const { return m_certificate; }
    const std::string& user() const { return m_options.user; }
    // An app password issued at start, so tests need not log in first.
    const std::string& appPassword() const { return m_firstPassword; }
    std::string issueAppPassword();
    // Accepts a chosen app password too, for clients pointed at the program by hand.
    void addAppPassword(const std::string& password);
    bool isValidPassword(const std::string& password) const;

    // What the user's "Grant access" click does: the login at `loginUrl` may now be polled.
    bool grant(const std::string& loginUrl);

    // Without the News app every News path answers 404.
    void setNewsInstalled(bool installed);
    void setFault(const std::string& route, Fault fault);
    // The names `setFault` takes, in the order the routes are tried.
    static std::vector<std::string> faultNames();
    // A login start names this page instead of its own: a hostile server's choice.
    void setLoginPage(std::optional<std::string> address);
    // Also ends the endless and dripping answers still being sent.
    void clearFaults();

    std::vector<LoggedRequest> requests() const;
    void clearRequests();
    // The other host that redirect faults send clients to (127.0.0.2, its own port): what
    // reached it. It answers every request with 200 and "{}".
    std::vector<LoggedRequest> elsewhereRequests() const;
    std::string elsewhereUrl() const;

    NewsStore& store() { return m_store; }

    struct Reply {
        int status = 200;
        std::string contentType = "application/json; charset=utf-8";
        std::string body;
    };

private:
    // Every answer, in one table (Routes.cpp): a route takes requests of a method and a
    // path shape, is named for faults, and answers.
    struct Call;
    struct Route;
    struct Routed {
        const Route* route = nullptr;
        std::string name;             // the route's name for faults
        std::vector<int64_t> numbers; // the numbers in the path
    };
    static const std::vector<Route>& routes();
    // Every request: logged, routed, answered, with the fault set on its route.
    void handle(const httplib::Request& req, httplib::Response& res);
    // The path of `target` within the server: without its base path or query.
    std::string pathWithin(const std::string& target) const;
    // The demo feeds and the generated ones the options ask for.
    void seed();
    void startElsewhere();
    // The first route that takes `method` on `path`; the last takes every request.
    static Routed route(const std::string& method, const std::string& path);
    Reply answer(const Routed& routed, const LoggedRequest& request,
                 const std::map<std::string, std::string>& query);
    Reply startLogin();
    Reply pollLogin(const std::string& form);
    Reply loginPage(const std::string& flowId);
    Reply grantLogin(const std::string& form);
    Reply revoke(const LoggedRequest& request);
    // POST /feeds: fetches nothing from outside; only the sandbox's own feeds subscribe.
    Reply subscribe(const std::string& body);
    std::optional<std::string> authenticatedPassword(const LoggedRequest& request) const;
    std::optional<Fault> takeFault(const std::string& route);
    void waitOut(std::chrono::milliseconds delay) const;
    // Answers with one of the hostile bodies; false for the faults that only edit `reply`.
    bool serveHostile(const Fault& fault, const Reply& reply, const LoggedRequest& request,
                      httplib::Response& res);

    struct Flow {
        std::string token;
        bool granted = false;
        bool delivered = false;
        std::string appPassword;
    };

    Options m_options;
    std::shared_ptr<const SelfSignedCertificate> m_certificate;
    NewsStore m_store;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::unique_ptr<httplib::Server> m_elsewhere;
    std::thread m_elsewhereThread;
    int m_elsewherePort = 0;
    int m_port = 0;
    std::string m_firstPassword;

    mutable std::mutex m_mutex; // guards everything below
    bool m_newsInstalled = true;
    std::set<std::string> m_passwords;
    std::map<std::string, Flow> m_flows; // by flow id
    std::optional<std::string> m_loginPage;
    std::map<std::string, Fault> m_faults;
    std::vector<LoggedRequest> m_log;
    std::vector<LoggedRequest> m_elsewhereLog;
    std::atomic<int> m_faultGeneration{0}; // moves on at clearFaults()
    std::atomic<bool> m_stopping{false};
};

} // namespace sandbox

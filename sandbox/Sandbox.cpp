#include "Sandbox.h"

#include "DemoData.h"
#include "PhpJson.h"
#include "SelfSignedCertificate.h"

#include <httplib.h>

#include <cctype>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <regex>
#include <stdexcept>

namespace sandbox {

namespace {

const std::string newsPrefix = "/index.php/apps/news/api/";

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string randomText(size_t length)
{
    static std::mutex mutex;
    static std::mt19937_64 random{std::random_device{}()};
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::lock_guard lock(mutex);
    std::string text(length, ' ');
    for (char& c : text)
        c = alphabet[random() % (sizeof alphabet - 1)];
    return text;
}

std::string base64Decode(const std::string& text)
{
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else if (c == '=')
            break;
        else
            return {};
        buffer = (buffer << 6) | unsigned(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += char((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

// Form bodies as PHP reads them: "+" is a space, %XX a byte.
std::map<std::string, std::string> parseForm(const std::string& body)
{
    std::map<std::string, std::string> fields;
    size_t start = 0;
    while (start <= body.size()) {
        const size_t end = std::min(body.find('&', start), body.size());
        const std::string pair = body.substr(start, end - start);
        const size_t equals = pair.find('=');
        const auto decode = [](const std::string& s) {
            std::string out;
            for (size_t i = 0; i < s.size(); ++i) {
                if (s[i] == '+') {
                    out += ' ';
                } else if (s[i] == '%' && i + 2 < s.size() + 0 && std::isxdigit(s[i + 1]) &&
                           std::isxdigit(s[i + 2])) {
                    out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                } else {
                    out += s[i];
                }
            }
            return out;
        };
        if (!pair.empty())
            fields.emplace(decode(pair.substr(0, equals)),
                           equals == std::string::npos ? "" : decode(pair.substr(equals + 1)));
        start = end + 1;
    }
    return fields;
}

Sandbox::Reply json(int status, std::string body)
{
    return {status, "application/json; charset=utf-8", std::move(body)};
}

Sandbox::Reply html(int status, const std::string& title, const std::string& content)
{
    return {status, "text/html; charset=UTF-8",
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
                "</title></head>\n<body>" + content + "</body>\n</html>\n"};
}

Sandbox::Reply message(int status, const std::string& text)
{
    PhpJson body;
    body.beginObject().key("message").string(text).endObject();
    return json(status, body.take());
}

Sandbox::Reply serverError()
{
    return html(500, "Internal Server Error",
                "<h2>Internal Server Error</h2><p>The server was unable to complete your "
                "request.</p>");
}

Sandbox::Reply methodNotAllowed()
{
    return {405, "text/html; charset=UTF-8", ""};
}

std::optional<int64_t> parseInt(const std::string& text)
{
    if (text.empty()) return std::nullopt;
    try {
        size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used != text.size()) return std::nullopt;
        return value;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<int64_t> newestItemId(const std::string& body)
{
    static const std::regex pattern(R"(^\s*\{\s*"newestItemId"\s*:\s*(-?\d+)\s*\}\s*$)");
    std::smatch match;
    if (!std::regex_match(body, match, pattern)) return std::nullopt;
    return parseInt(match[1]);
}

// {"itemIds": [1, 2]}: read by hand, as a pattern over a long list would exhaust the stack.
std::optional<std::vector<int64_t>> itemIds(const std::string& body)
{
    const size_t key = body.find("\"itemIds\"");
    const size_t open = body.find('[', key == std::string::npos ? 0 : key);
    const size_t close = body.find(']', open == std::string::npos ? 0 : open);
    if (key == std::string::npos || open == std::string::npos || close == std::string::npos)
        return std::nullopt;
    std::vector<int64_t> ids;
    size_t at = open + 1;
    while (at < close) {
        while (at < close && (body[at] == ' ' || body[at] == ','))
            ++at;
        if (at >= close) break;
        size_t end = at;
        if (body[end] == '-') ++end;
        while (end < close && std::isdigit(static_cast<unsigned char>(body[end])))
            ++end;
        const auto id = parseInt(body.substr(at, end - at));
        if (!id) return std::nullopt;
        ids.push_back(*id);
        at = end;
    }
    return ids;
}

bool boolParam(const std::map<std::string, std::string>& query, const char* name, bool fallback)
{
    const auto it = query.find(name);
    if (it == query.end()) return fallback;
    return it->second == "true" || it->second == "1";
}

int64_t intParam(const std::map<std::string, std::string>& query, const char* name,
                 int64_t fallback)
{
    const auto it = query.find(name);
    if (it == query.end()) return fallback;
    return parseInt(it->second).value_or(fallback);
}

// "Sun, 06 Dec 2026 23:39:49 GMT", as every HTTP server dates its answers.
std::string httpDate(int64_t seconds)
{
    const time_t t = time_t(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    // Names of our own: strftime's follow the process's locale.
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[utc.tm_wday],
                  utc.tm_mday, months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

int64_t unixNow()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::string LoggedRequest::header(std::string name) const
{
    const auto it = headers.find(lower(std::move(name)));
    return it == headers.end() ? std::string() : it->second;
}

bool LoggedRequest::hasHeader(std::string name) const
{
    return headers.count(lower(std::move(name))) > 0;
}

Sandbox::Sandbox(Options options) : m_options(std::move(options))
{
    m_firstPassword = randomText(72);
    m_passwords.insert(m_firstPassword);
}

Sandbox::~Sandbox()
{
    stop();
}

std::string Sandbox::baseUrl() const
{
    return std::string(m_options.https ? "https" : "http") +
           "://127.0.0.1:" + std::to_string(m_port);
}

void Sandbox::start(int port)
{
    if (m_options.https) {
        const auto certificate = SelfSignedCertificate::generate("127.0.0.1");
        m_server = std::make_unique<httplib::SSLServer>(certificate.x509(), certificate.key());
    } else {
        m_server = std::make_unique<httplib::Server>();
    }
    const auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        res.set_header("Date", httpDate(unixNow()));
        LoggedRequest request{req.method, req.target, {}, req.body};
        for (const auto& [name, value] : req.headers)
            request.headers.emplace(lower(name), value);
        {
            std::lock_guard lock(m_mutex);
            m_log.push_back(request);
        }
        std::map<std::string, std::string> query;
        for (const auto& [name, value] : req.params)
            query.emplace(name, value);
        // A fault is decided before the request is handled: an injected failure changes nothing.
        const std::string path = request.target.substr(0, request.target.find('?'));
        const std::string route = routeOf(request.method, path);
        const std::optional<Fault> fault = takeFault(route);
        if (fault && fault->delayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(fault->delayMs));
        Reply reply = fault && fault->status != 0 ? message(fault->status, "Sandbox fault")
                                                  : handle(request, query);
        if (fault && serveHostile(*fault, reply, request, res)) return;
        if (fault && fault->body == Fault::Body::malformed)
            reply.body = "{\"items\":[{\"id\":1,\"unread\":tru";
        if (fault && fault->body == Fault::Body::truncated)
            reply.body.resize(reply.body.size() / 2);
        res.status = reply.status;
        if (fault && fault->body == Fault::Body::drop) {
            // Announce the whole body, send half of it and hang up.
            auto body = std::make_shared<std::string>(std::move(reply.body));
            res.set_content_provider(body->size() + 16, reply.contentType,
                                     [body](size_t, size_t, httplib::DataSink& sink) {
                                         sink.write(body->data(), body->size() / 2);
                                         return false;
                                     });
            return;
        }
        res.set_content(reply.body, reply.contentType);
    };
    // Short, so that stopping does not wait long for idle keep-alive connections.
    m_server->set_keep_alive_timeout(1);
    // A request without Content-Length or chunked body has an empty body (RFC 9112 6.3);
    // httplib would wait for the connection to close instead, and the real server answers.
    m_server->set_pre_routing_handler([handler](const httplib::Request& req,
                                                httplib::Response& res) {
        const bool framed = req.has_header("Content-Length") || req.has_header("Transfer-Encoding");
        const bool mayHaveBody = req.method == "POST" || req.method == "PUT" ||
                                 req.method == "PATCH" || req.method == "DELETE";
        if (framed || !mayHaveBody) return httplib::Server::HandlerResponse::Unhandled;
        handler(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
    m_server->Put(".*", handler);
    m_server->Delete(".*", handler);
    m_server->Patch(".*", handler);

    m_port = port == 0 ? m_server->bind_to_any_port("127.0.0.1")
                       : (m_server->bind_to_port("127.0.0.1", port) ? port : -1);
    if (m_port <= 0) throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));

    if (m_options.demo && m_store.itemCount() == 0) seedDemo(m_store, baseUrl(), unixNow());
    for (size_t n = 1; n <= m_options.generatedFolders; ++n) {
        // Ids above the demo's, names in a shuffled order so that sorting has work to do.
        const int64_t id = int64_t(1000 + n);
        const size_t shown = (n * 7919) % m_options.generatedFolders + 1;
        m_store.addFolder({id, "Folder " + std::to_string(shown)});
        m_store.addFeed({id, "https://feed" + std::to_string(n) + ".example/rss",
                         "Feed " + std::to_string(shown), std::nullopt, std::nullopt, id, 0});
    }
    if (m_options.generatedItems > 0)
        generateItems(m_store, m_options.generatedItems, m_options.seed, unixNow());

    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    // The other host of redirect faults; without 127.0.0.2 (not Linux) redirects go nowhere.
    m_elsewhere = std::make_unique<httplib::Server>();
    m_elsewhere->set_keep_alive_timeout(1);
    const auto record = [this](const httplib::Request& req, httplib::Response& res) {
        LoggedRequest request{req.method, req.target, {}, req.body};
        for (const auto& [name, value] : req.headers)
            request.headers.emplace(lower(name), value);
        {
            std::lock_guard lock(m_mutex);
            m_elsewhereLog.push_back(request);
        }
        res.set_content("{}", "application/json");
    };
    for (const char* pattern : {".*"}) {
        m_elsewhere->Get(pattern, record);
        m_elsewhere->Post(pattern, record);
        m_elsewhere->Delete(pattern, record);
    }
    m_elsewherePort = m_elsewhere->bind_to_any_port("127.0.0.2");
    if (m_elsewherePort > 0) {
        m_elsewhereThread = std::thread([this] { m_elsewhere->listen_after_bind(); });
        while (!m_elsewhere->is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::vector<LoggedRequest> Sandbox::elsewhereRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_elsewhereLog;
}

std::string Sandbox::elsewhereUrl() const
{
    return "http://127.0.0.2:" + std::to_string(m_elsewherePort);
}

bool Sandbox::serveHostile(const Fault& fault, const Reply& reply, const LoggedRequest& request,
                           httplib::Response& res)
{
    using Body = Fault::Body;
    // Every endless answer stops by itself after this long.
    static constexpr auto bound = std::chrono::minutes(10);
    const auto started = std::chrono::steady_clock::now();
    const int generation = m_faultGeneration.load();
    const auto overdue = [this, started, generation] {
        return m_faultGeneration.load() != generation ||
               std::chrono::steady_clock::now() - started > bound;
    };
    res.status = reply.status;
    switch (fault.body) {
    case Body::lyingLength: {
        auto body = std::make_shared<std::string>(reply.body);
        res.set_content_provider(size_t(9'000'000'000'000'000'000ULL), reply.contentType,
                                 [body](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset == 0) sink.write(body->data(), body->size());
                                     return false; // hang up long before the promised end
                                 });
        return true;
    }
    case Body::endless: {
        // Announced as a terabyte and sent as such (Qt reads a fixed length more steadily
        // from this server than a chunked stream).
        static const std::string items = [] {
            std::string item = "{\"id\":1,\"feedId\":1,\"title\":\"Again\",\"body\":\"" +
                               std::string(4000, 'x') + "\",\"unread\":true,\"starred\":false},";
            std::string run = "{\"items\":[";
            while (run.size() < 65536)
                run += item;
            return run;
        }();
        res.set_content_provider(size_t(1) << 40, reply.contentType,
                                 [overdue](size_t offset, size_t length, httplib::DataSink& sink) {
                                     if (overdue()) return false;
                                     const size_t from = offset == 0 ? 0 : 10;
                                     return sink.write(items.data() + from,
                                                       std::min(length, items.size() - from));
                                 });
        return true;
    }
    case Body::drip: {
        auto body = std::make_shared<std::string>(reply.body);
        const auto pause = std::chrono::milliseconds(fault.dripMs);
        res.set_content_provider(
            body->size(), reply.contentType,
            [body, pause, overdue](size_t offset, size_t, httplib::DataSink& sink) {
                if (overdue()) return false;
                std::this_thread::sleep_for(pause);
                return sink.write(body->data() + offset, 1);
            });
        return true;
    }
    case Body::deep: {
        // Balanced nesting in a key no record reads, then the real reply's members.
        std::string body = "{\"nested\":";
        body.append(size_t(fault.depth), '[');
        body.append(size_t(fault.depth), ']');
        const size_t open = reply.body.find('{');
        body += open == std::string::npos || reply.body.compare(open, 2, "{}") == 0
                    ? std::string("}")
                    : "," + reply.body.substr(open + 1);
        res.set_content(body, reply.contentType);
        return true;
    }
    case Body::given:
        res.set_content(fault.given, reply.contentType);
        return true;
    case Body::redirect:
        res.status = 307;
        res.set_header("Location", elsewhereUrl() + request.target);
        res.set_content("", "text/html");
        return true;
    default:
        return false;
    }
}

void Sandbox::stop()
{
    if (m_elsewhere) {
        m_elsewhere->stop();
        if (m_elsewhereThread.joinable()) m_elsewhereThread.join();
        m_elsewhere.reset();
    }
    if (!m_server) return;
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
    m_server.reset();
}

std::string Sandbox::issueAppPassword()
{
    std::string password = randomText(72);
    std::lock_guard lock(m_mutex);
    m_passwords.insert(password);
    return password;
}

void Sandbox::addAppPassword(const std::string& password)
{
    std::lock_guard lock(m_mutex);
    m_passwords.insert(password);
}

bool Sandbox::isValidPassword(const std::string& password) const
{
    std::lock_guard lock(m_mutex);
    return m_passwords.count(password) > 0;
}

void Sandbox::setLoginPage(std::optional<std::string> address)
{
    std::lock_guard lock(m_mutex);
    m_loginPage = std::move(address);
}

bool Sandbox::grant(const std::string& loginUrl)
{
    const std::string marker = "/index.php/login/v2/flow/";
    const size_t at = loginUrl.find(marker);
    if (at == std::string::npos) return false;
    const std::string flowId = loginUrl.substr(at + marker.size());
    const std::string password = issueAppPassword();
    std::lock_guard lock(m_mutex);
    const auto it = m_flows.find(flowId);
    if (it == m_flows.end() || it->second.granted) return false;
    it->second.granted = true;
    it->second.appPassword = password;
    return true;
}

void Sandbox::setNewsInstalled(bool installed)
{
    std::lock_guard lock(m_mutex);
    m_newsInstalled = installed;
}

void Sandbox::setFault(const std::string& route, Fault fault)
{
    std::lock_guard lock(m_mutex);
    m_faults[route] = fault;
}

void Sandbox::clearFaults()
{
    ++m_faultGeneration;
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

std::optional<Fault> Sandbox::takeFault(const std::string& route)
{
    std::lock_guard lock(m_mutex);
    auto it = m_faults.find(route);
    if (it == m_faults.end()) it = m_faults.find("*");
    if (it == m_faults.end() || route.empty()) return std::nullopt;
    Fault fault = it->second;
    if (it->second.times > 0 && --it->second.times == 0) m_faults.erase(it);
    return fault;
}

std::vector<LoggedRequest> Sandbox::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

void Sandbox::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

std::optional<std::string> Sandbox::authenticatedPassword(const LoggedRequest& request) const
{
    const std::string header = request.header("authorization");
    if (header.rfind("Basic ", 0) != 0) return std::nullopt;
    const std::string credentials = base64Decode(header.substr(6));
    const size_t colon = credentials.find(':');
    if (colon == std::string::npos || credentials.substr(0, colon) != m_options.user)
        return std::nullopt;
    const std::string password = credentials.substr(colon + 1);
    if (!isValidPassword(password)) return std::nullopt;
    return password;
}

std::string Sandbox::routeOf(const std::string& method, const std::string& path)
{
    static const std::regex news(R"(/index\.php/apps/news/api/v1-[23]/(.*))");
    static const std::regex itemAction(R"(items/-?\d+/(read|unread|star|unstar))");
    static const std::regex markRead(R"((feed|folder)s/-?\d+/read)");
    std::smatch match;
    if (std::regex_match(path, match, news)) {
        const std::string rest = match[1];
        if (method == "GET" && (rest == "folders" || rest == "feeds" || rest == "items"))
            return rest;
        if (method == "GET" && rest == "items/updated") return "items-updated";
        if (method == "POST" && rest == "items/read") return "items-read";
        if (method == "POST" && rest == "items/read/multiple") return "items-read-multiple";
        if (method == "POST" && rest == "items/unread/multiple") return "items-unread-multiple";
        if (method == "POST" && std::regex_match(rest, match, itemAction))
            return "item-" + std::string(match[1]);
        if (method == "POST" && std::regex_match(rest, match, markRead))
            return std::string(match[1]) + "-read";
        return "news";
    }
    if (path == "/index.php/login/v2") return "login-start";
    if (path == "/index.php/login/v2/poll") return "login-poll";
    if (path.rfind("/index.php/login/v2/", 0) == 0) return "login-page";
    if (path == "/ocs/v2.php/core/apppassword") return "revoke";
    if (path.rfind("/favicons/", 0) == 0) return "favicon";
    if (path == "/appcast.xml") return "appcast";
    return "";
}

Sandbox::Reply Sandbox::handle(const LoggedRequest& request,
                               const std::map<std::string, std::string>& query)
{
    const std::string path = request.target.substr(0, request.target.find('?'));
    if (path.rfind(newsPrefix, 0) == 0) {
        {
            std::lock_guard lock(m_mutex);
            if (!m_newsInstalled) return html(404, "Not found", "<h2>Page not found</h2>");
        }
        const std::string rest = path.substr(newsPrefix.size());
        const bool v13 = rest.rfind("v1-3/", 0) == 0;
        const bool v12 = rest.rfind("v1-2/", 0) == 0;
        if (!v13 && !v12) return html(404, "Not found", "<h2>Page not found</h2>");
        if (!request.hasHeader("authorization")) return message(401, "CORS requires basic auth");
        if (!authenticatedPassword(request)) return message(401, "");
        return handleNews(request.method, rest.substr(5), query, request.body, v12);
    }
    if (path.rfind("/index.php/login/v2", 0) == 0) return handleLogin(request, path);
    if (path == "/ocs/v2.php/core/apppassword") return handleRevoke(request);
    if (request.method == "GET" &&
        (path.rfind("/favicons/", 0) == 0 || path.rfind("/images/", 0) == 0))
        return {200, "image/png", std::string(demoImage())};
    if (request.method == "GET" && path == "/appcast.xml")
        return {200, "application/rss+xml; charset=utf-8",
                "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                "<rss version=\"2.0\" "
                "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
                "<channel><title>Lumbra</title>"
                "<item><title>0.9.0</title><sparkle:version>0.9.0</sparkle:version>"
                "<enclosure url=\"" +
                    baseUrl() +
                    "/downloads/lumbra-0.9.0.tar.gz\"/></item>"
                    "<item><title>1.10.0</title><sparkle:version>1.10.0</sparkle:version>"
                    "<sparkle:releaseNotesLink>" +
                    baseUrl() +
                    "/notes/1.10.0</sparkle:releaseNotesLink>"
                    "<enclosure url=\"" +
                    baseUrl() +
                    "/downloads/lumbra-1.10.0.tar.gz\"/></item>"
                    "</channel></rss>\n"};
    if (request.method == "GET" && (path == "/" || path == "/index.php"))
        return html(200, "Lumbra sandbox",
                    "<h1>Lumbra sandbox</h1><p>A local stand-in for Nextcloud News.</p>");
    return html(404, "Not found", "<h2>Page not found</h2>");
}

Sandbox::Reply Sandbox::handleNews(const std::string& method, const std::string& path,
                                   const std::map<std::string, std::string>& query,
                                   const std::string& body, bool readOnlyVersion)
{
    static const std::regex itemAction(R"(items/(-?\d+)/(read|unread|star|unstar))");
    static const std::regex markRead(R"((feeds|folders)/(-?\d+)/read)");
    std::smatch match;

    if (method == "GET") {
        if (path == "folders") return json(200, m_store.foldersJson());
        if (path == "feeds") return json(200, m_store.feedsJson());
        if (path == "items") {
            ItemsQuery q;
            q.type = int(intParam(query, "type", 3));
            q.id = intParam(query, "id", 0);
            q.getRead = boolParam(query, "getRead", true);
            q.batchSize = intParam(query, "batchSize", -1);
            q.offset = intParam(query, "offset", 0);
            q.oldestFirst = boolParam(query, "oldestFirst", false);
            if (q.type == 2 && !q.getRead)
                return message(400, "Starred items can only be listed with getRead=true");
            return json(200, m_store.itemsJson(q));
        }
        if (path == "items/updated") {
            // Changed items of every state, newest first, as the real server answers.
            ItemsQuery q;
            q.type = int(intParam(query, "type", 3));
            q.id = intParam(query, "id", 0);
            q.modifiedSince = intParam(query, "lastModified", 0);
            return json(200, m_store.itemsJson(q));
        }
        if (path == "status")
            return json(200, "{\"version\":\"25.3.1\",\"warnings\":{\"improperlyConfiguredCron\":"
                             "false,\"incorrectDbCharset\":false}}");
        if (path == "version") return json(200, "{\"version\":\"25.3.1\"}");
        return methodNotAllowed();
    }
    if (method != "POST" || readOnlyVersion) return methodNotAllowed();

    if (std::regex_match(path, match, itemAction)) {
        const std::string action = match[2];
        const auto id = parseInt(match[1]);
        const bool found = action == "read"     ? m_store.setUnread(*id, false)
                           : action == "unread" ? m_store.setUnread(*id, true)
                           : action == "star"   ? m_store.setStarred(*id, true)
                                                : m_store.setStarred(*id, false);
        if (!found)
            return message(404, "Did expect one result but found none when executing: query "
                                "\"SELECT `items`.* FROM `*PREFIX*news_items` `items`\"; ");
        return json(200, "[]");
    }
    if (std::regex_match(path, match, markRead)) {
        const bool feed = match[1] == "feeds";
        const auto newest = newestItemId(body);
        const auto id = parseInt(match[2]);
        if (!newest) return serverError();
        const bool found =
            feed ? m_store.markFeedRead(*id, *newest) : m_store.markFolderRead(*id, *newest);
        return found ? json(200, "null") : serverError();
    }
    if (path == "items/read/multiple" || path == "items/unread/multiple") {
        const auto ids = itemIds(body);
        if (!ids) return serverError();
        for (const int64_t id : *ids)
            m_store.setUnread(id, path == "items/unread/multiple");
        return json(200, "null");
    }
    if (path == "items/read") {
        const auto newest = newestItemId(body);
        if (!newest) return serverError();
        m_store.markAllRead(*newest);
        return json(200, "null");
    }
    return methodNotAllowed();
}

Sandbox::Reply Sandbox::handleLogin(const LoggedRequest& request, const std::string& path)
{
    const std::string flowPrefix = "/index.php/login/v2/flow/";
    if (path == "/index.php/login/v2") {
        if (request.method != "POST") return methodNotAllowed();
        const std::string flowId = randomText(128);
        const std::string token = randomText(128);
        std::optional<std::string> loginPage;
        {
            std::lock_guard lock(m_mutex);
            m_flows[flowId] = Flow{token, false, false, {}};
            loginPage = m_loginPage;
        }
        PhpJson body;
        body.beginObject()
            .key("poll")
            .beginObject()
            .key("token")
            .string(token)
            .key("endpoint")
            .string(baseUrl() + "/index.php/login/v2/poll")
            .endObject()
            .key("login")
            .string(loginPage.value_or(baseUrl() + flowPrefix + flowId))
            .endObject();
        return json(200, body.take());
    }
    if (path == "/index.php/login/v2/poll") {
        if (request.method != "POST") return methodNotAllowed();
        const auto form = parseForm(request.body);
        const auto token = form.find("token");
        std::lock_guard lock(m_mutex);
        for (auto& [id, flow] : m_flows) {
            if (token == form.end() || flow.token != token->second || !flow.granted ||
                flow.delivered)
                continue;
            flow.delivered = true;
            PhpJson body;
            body.beginObject()
                .key("server")
                .string(baseUrl())
                .key("loginName")
                .string(m_options.user)
                .key("appPassword")
                .string(flow.appPassword)
                .endObject();
            return json(200, body.take());
        }
        return json(404, "[]");
    }
    if (path.rfind(flowPrefix, 0) == 0 && request.method == "GET") {
        const std::string flowId = path.substr(flowPrefix.size());
        {
            std::lock_guard lock(m_mutex);
            if (!m_flows.count(flowId))
                return html(404, "Not found", "<h2>This login link is not valid.</h2>");
        }
        return html(200, "Connect to your account",
                    "<h2>Connect to your account</h2><p>Lumbra wants to access your "
                    "account <b>" +
                        m_options.user +
                        "</b>.</p>"
                        "<form method=\"post\" action=\"/index.php/login/v2/grant\">"
                        "<input type=\"hidden\" name=\"flow\" value=\"" +
                        flowId +
                        "\">"
                        "<button type=\"submit\">Grant access</button></form>");
    }
    if (path == "/index.php/login/v2/grant" && request.method == "POST") {
        const auto form = parseForm(request.body);
        const auto flow = form.find("flow");
        if (flow == form.end() || !grant(baseUrl() + flowPrefix + flow->second))
            return html(400, "Login failed", "<h2>This login link is not valid any more.</h2>");
        return html(200, "Account connected",
                    "<h2>Account connected</h2><p>You can close this window and return to "
                    "Lumbra.</p>");
    }
    return html(404, "Not found", "<h2>Page not found</h2>");
}

Sandbox::Reply Sandbox::handleRevoke(const LoggedRequest& request)
{
    if (request.method != "DELETE") return methodNotAllowed();
    if (request.header("ocs-apirequest") != "true") return message(412, "CSRF check failed");
    const auto password = authenticatedPassword(request);
    if (!password) return message(401, "");
    {
        std::lock_guard lock(m_mutex);
        m_passwords.erase(*password);
    }
    return json(200,
                R"({"ocs":{"meta":{"status":"ok","statuscode":200,"message":"OK"},"data":[]}})");
}

} // namespace sandbox

#include "Sandbox.h"

#include "DemoData.h"
#include "PhpJson.h"
#include "SelfSignedCertificate.h"
#include "Wire.h"

#include <httplib.h>
#include <zlib.h>

#include <cctype>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>

namespace sandbox {

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
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

// `text` as raw deflate blocks ending on a byte boundary, so that they can follow any such
// blocks, and be repeated, within one stream.
std::string deflated(const std::string& text)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, uLong(text.size())) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = uInt(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FULL_FLUSH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
}

// `text` as one gzip member.
std::string gzipped(const std::string& text)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, uLong(text.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = uInt(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(out.size() - stream.avail_out);
    deflateEnd(&stream);
    return out;
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

std::string Sandbox::pageUrl(const std::string& page) const
{
    return baseUrl() + (m_options.prettyUrls ? "" : "/index.php") + page;
}

std::string Sandbox::baseUrl() const
{
    return std::string(m_options.https ? "https" : "http") +
           "://127.0.0.1:" + std::to_string(m_port) + m_options.basePath;
}

void Sandbox::start(int port)
{
    m_stopping = false;
    if (m_options.https) {
        m_certificate = m_options.certificate ? m_options.certificate
                                              : std::make_shared<const SelfSignedCertificate>(
                                                    SelfSignedCertificate::generate("127.0.0.1"));
        m_server =
            std::make_unique<httplib::SSLServer>(m_certificate->x509(), m_certificate->key());
    } else {
        m_server = std::make_unique<httplib::Server>();
    }
    const auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        handle(req, res);
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

    seed();
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    startElsewhere();
}

void Sandbox::seed()
{
    if (m_options.demo && m_store.itemCount() == 0) seedDemo(m_store, baseUrl(), unixNow());
    for (size_t n = 1; n <= m_options.generatedFolders; ++n) {
        // Ids above the demo's, names in a shuffled order so that sorting has work to do.
        const int64_t id = int64_t(1000 + n);
        const size_t shown = (n * 7919) % m_options.generatedFolders + 1;
        m_store.addFolder({id, "Folder " + std::to_string(shown)});
        m_store.addFeed({id, "https://feed" + std::to_string(n) + ".example/rss",
                         "Feed " + std::to_string(shown), std::nullopt, std::nullopt, id, 0});
    }
    if (m_options.longRead) addLongRead(m_store, unixNow());
    if (m_options.generatedItems > 0)
        generateItems(m_store, m_options.generatedItems, m_options.seed, unixNow());
}

std::string Sandbox::pathWithin(const std::string& target) const
{
    std::string path = target.substr(0, target.find('?'));
    // Under a base path, only what lies below it is the server's; nothing else is.
    if (!m_options.basePath.empty())
        path = path.rfind(m_options.basePath + "/", 0) == 0
                   ? path.substr(m_options.basePath.size())
                   : "/outside" + m_options.basePath + path;
    // A web server that rewrites pages hands them to index.php all the same.
    if (m_options.prettyUrls && path.rfind("/index.php/", 0) != 0 && path.rfind("/ocs/", 0) != 0)
        path = "/index.php" + path;
    return path;
}

void Sandbox::handle(const httplib::Request& req, httplib::Response& res)
{
    res.set_header("Date", httpDate(unixNow()));
    // Every reply of the real server sets session cookies; a client must not need them.
    res.set_header("Set-Cookie",
                   "oc_sessionPassphrase=" + randomText(32) + "; path=/; HttpOnly; SameSite=Lax");
    res.set_header("Set-Cookie", "nc_sameSiteCookielax=true; path=/; httponly;expires=Fri, "
                                 "31-Dec-2100 23:59:59 GMT; SameSite=lax");
    res.set_header("Set-Cookie", "cookie_test=test; Max-Age=3600");
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
    const std::string path = pathWithin(request.target);
    // Routes see the path within the server; the log keeps what was asked.
    LoggedRequest within = request;
    within.target =
        path + request.target.substr(std::min(request.target.find('?'), request.target.size()));
    // A fault is decided before the request is handled: an injected failure changes nothing.
    const Routed routed = route(request.method, path);
    const std::optional<Fault> fault = takeFault(routed.name);
    if (fault && fault->delayMs > 0) waitOut(std::chrono::milliseconds(fault->delayMs));
    Reply reply = fault && fault->status != 0 ? message(fault->status, "Sandbox fault")
                                              : answer(routed, within, query);
    if (fault && fault->lateMs > 0) waitOut(std::chrono::milliseconds(fault->lateMs));
    if (fault && serveHostile(*fault, reply, request, res)) return;
    if (fault && fault->body == Fault::Body::malformed)
        reply.body = "{\"items\":[{\"id\":1,\"unread\":tru";
    if (fault && fault->body == Fault::Body::truncated) reply.body.resize(reply.body.size() / 2);
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
}

void Sandbox::startElsewhere()
{
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
    case Body::bomb: {
        static const std::string header("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
        static const std::string opening = deflated("{\"items\":[");
        static const std::string spaces = deflated(std::string(size_t(1) << 20, ' '));
        static const std::string start = header + opening;
        res.set_header("Content-Encoding", "gzip");
        // A fixed length, as the endless list has.
        res.set_content_provider(size_t(1) << 40, reply.contentType,
                                 [overdue](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (overdue()) return false;
                                     const std::string& next = offset == 0 ? start : spaces;
                                     return sink.write(next.data(), next.size());
                                 });
        return true;
    }
    case Body::gzip: {
        auto body = std::make_shared<std::string>(gzipped(reply.body));
        res.set_header("Content-Encoding", "gzip");
        res.set_chunked_content_provider(
            reply.contentType, [body](size_t offset, httplib::DataSink& sink) {
                // In pieces of 16 KB, as a web server sends what its compressor gives.
                if (offset < body->size())
                    return sink.write(body->data() + offset,
                                      std::min<size_t>(16 << 10, body->size() - offset));
                sink.done();
                return true;
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

// A delay ends early when the server stops, so that a test may hang a request for as long
// as it likes without holding up its own end.
void Sandbox::waitOut(std::chrono::milliseconds delay) const
{
    const auto until = std::chrono::steady_clock::now() + delay;
    while (std::chrono::steady_clock::now() < until && !m_stopping.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void Sandbox::stop()
{
    m_stopping = true;
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
    const std::string marker = "/login/v2/flow/";
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

} // namespace sandbox

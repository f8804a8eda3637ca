// lumbra-sandbox: a local Nextcloud News stand-in for the demo, tests and benchmarks.

#include "Sandbox.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

void usage()
{
    std::cout << "usage: lumbra-sandbox [--port P] [--demo | --no-demo] [--items N] [--seed S]\n"
                 "                      [--folders N] [--without-news] [--https]\n"
                 "                      [--app-password PW] [--base-path /nextcloud]\n"
                 "                      [--pretty-urls] [--long-read]\n"
                 "                      [--fault ROUTE=STATUS[,delay=MS][,body=malformed|"
                 "truncated|drop|lying-length|endless|bomb|gzip|drip|deep|redirect][,drip=MS][,"
                 "depth=N]]\n"
                 "  STATUS 0 keeps the route's own answer under the body's fault.\n"
                 "  ROUTE is one of:";
    size_t column = 17;
    for (const std::string& name : sandbox::Sandbox::faultNames()) {
        if (column + name.size() + 1 > 78) {
            std::cout << "\n   ";
            column = 3;
        }
        std::cout << ' ' << name;
        column += name.size() + 1;
    }
    std::cout << "\n  The sandbox keeps everything in memory: restarted, it has forgotten every "
                 "login\n  (log in again) and every change.\n";
}

bool parseFault(const std::string& text, sandbox::Sandbox& server)
{
    const size_t equals = text.find('=');
    if (equals == std::string::npos) return false;
    sandbox::Fault fault;
    std::string rest = text.substr(equals + 1);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string part = rest.substr(0, comma);
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
        if (part.rfind("delay=", 0) == 0)
            fault.delayMs = std::stoi(part.substr(6));
        else if (part == "body=malformed")
            fault.body = sandbox::Fault::Body::malformed;
        else if (part == "body=truncated")
            fault.body = sandbox::Fault::Body::truncated;
        else if (part == "body=drop")
            fault.body = sandbox::Fault::Body::drop;
        else if (part == "body=lying-length")
            fault.body = sandbox::Fault::Body::lyingLength;
        else if (part == "body=endless")
            fault.body = sandbox::Fault::Body::endless;
        else if (part == "body=bomb")
            fault.body = sandbox::Fault::Body::bomb;
        else if (part == "body=gzip")
            fault.body = sandbox::Fault::Body::gzip;
        else if (part == "body=drip")
            fault.body = sandbox::Fault::Body::drip;
        else if (part == "body=deep")
            fault.body = sandbox::Fault::Body::deep;
        else if (part == "body=redirect")
            fault.body = sandbox::Fault::Body::redirect;
        else if (part.rfind("drip=", 0) == 0)
            fault.dripMs = std::stoi(part.substr(5));
        else if (part.rfind("depth=", 0) == 0)
            fault.depth = std::stoi(part.substr(6));
        else
            fault.status = std::stoi(part);
    }
    server.setFault(text.substr(0, equals), fault);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    sandbox::Options options;
    int port = 8080;
    bool withoutNews = false;
    std::vector<std::string> faults;
    std::string appPassword;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            const auto value = [&]() -> std::string {
                if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
                return argv[++i];
            };
            if (arg == "--port")
                port = std::stoi(value());
            else if (arg == "--demo")
                options.demo = true;
            else if (arg == "--no-demo")
                options.demo = false;
            else if (arg == "--long-read")
                options.longRead = true;
            else if (arg == "--items")
                options.generatedItems = std::stoul(value());
            else if (arg == "--folders")
                options.generatedFolders = std::stoul(value());
            else if (arg == "--seed")
                options.seed = std::stoull(value());
            else if (arg == "--without-news")
                withoutNews = true;
            else if (arg == "--https")
                options.https = true;
            else if (arg == "--base-path")
                options.basePath = value();
            else if (arg == "--pretty-urls")
                options.prettyUrls = true;
            else if (arg == "--fault")
                faults.push_back(value());
            else if (arg == "--app-password")
                appPassword = value();
            else if (arg == "--help" || arg == "-h")
                return usage(), 0;
            else
                throw std::invalid_argument("unknown option " + arg);
        }
    } catch (const std::exception& e) {
        std::cerr << "lumbra-sandbox: " << e.what() << "\n";
        usage();
        return 2;
    }

    // Wait for Ctrl-C in this thread; the server threads never see the signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    sandbox::Sandbox server(options);
    try {
        server.start(port);
    } catch (const std::exception& e) {
        std::cerr << "lumbra-sandbox: " << e.what() << "\n";
        return 1;
    }
    server.setNewsInstalled(!withoutNews);
    if (!appPassword.empty()) server.addAppPassword(appPassword);
    for (const std::string& fault : faults)
        if (!parseFault(fault, server)) {
            std::cerr << "lumbra-sandbox: bad fault " << fault << "\n";
            return 2;
        }

    std::cout << "Lumbra sandbox serving Nextcloud News at " << server.baseUrl() << "\n"
              << "  user: " << server.user() << " (log in through the browser and press "
              << "\"Grant access\")\n"
              << "  articles: " << server.store().itemCount()
              << (withoutNews ? ", News app switched off" : "") << "\n"
              << "Press Ctrl-C to stop." << std::endl;

    int received = 0;
    sigwait(&signals, &received);
    server.stop();
    std::cout << "Lumbra sandbox stopped." << std::endl;
    return 0;
}

#pragma once

// Test helper: a sandbox server on a free port and the account of its demo user.

#include "LumbraCore/HttpSession.h"
#include "LumbraCore/Records.h"
#include "Sandbox.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <memory>

// The client's network, counting the requests it sends and the replies that end (answered,
// failed or aborted): tests wait on these, not on the clock, to know that nothing more is
// coming of what they did.
class CountingNetwork final : public QNetworkAccessManager {
public:
    CountingNetwork()
    {
        connect(this, &QNetworkAccessManager::finished, this, [this] { ++ended; });
    }
    // Whether every request sent so far has ended.
    bool idle() const { return ended == sent; }

    int sent = 0;
    int ended = 0;

protected:
    QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request,
                                 QIODevice* body) override
    {
        ++sent;
        return QNetworkAccessManager::createRequest(operation, request, body);
    }
};

struct SandboxFixture {
    explicit SandboxFixture(sandbox::Options options = {})
        : server(std::make_unique<sandbox::Sandbox>(options))
    {
        server->start();
    }

    Account account() const
    {
        return Account{QString::fromStdString(server->baseUrl()),
                       QString::fromStdString(server->user()),
                       QString::fromStdString(server->appPassword())};
    }

    HttpSession session(std::chrono::milliseconds timeout = requestTimeout)
    {
        return HttpSession{&manager, timeout};
    }

    std::vector<sandbox::LoggedRequest> requests() const { return server->requests(); }

    ~SandboxFixture()
    {
        manager.clearConnectionCache(); // lets the server's threads end at once
        server.reset();
    }

    // A loopback port where nothing listens.
    static quint16 closedPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    CountingNetwork manager;
    std::unique_ptr<sandbox::Sandbox> server;
};

#pragma once

// Test helper: a sandbox server on a free port and the account of its demo user.

#include "LumbraCore/HttpSession.h"
#include "LumbraCore/Records.h"
#include "Sandbox.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <memory>

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

    QNetworkAccessManager manager;
    std::unique_ptr<sandbox::Sandbox> server;
};

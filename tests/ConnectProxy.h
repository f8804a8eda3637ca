#pragma once

// Test helper: an HTTP proxy on loopback that tunnels CONNECT requests to this machine, as
// the proxies of offices and schools do for https, counting the tunnels; or, asking for a
// password, answers 407 to every request.

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>

class ConnectProxy final : public QObject {
public:
    explicit ConnectProxy(bool wantsPassword = false) : m_wantsPassword(wantsPassword)
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = m_server.nextPendingConnection())
                serve(client);
        });
    }

    QString address() const
    {
        return QStringLiteral("http://127.0.0.1:") + QString::number(m_server.serverPort());
    }
    int tunnels = 0;  // CONNECT requests tunnelled
    int requests = 0; // requests of any kind

private:
    void serve(QTcpSocket* client)
    {
        client->setParent(this);
        connect(client, &QTcpSocket::readyRead, client, [this, client] {
            if (client->property("tunnel").isValid()) return; // piped below
            const QByteArray head = client->peek(64 * 1024);
            if (!head.contains("\r\n\r\n")) return;
            client->read(head.indexOf("\r\n\r\n") + 4);
            ++requests;
            const QList<QByteArray> request = head.left(head.indexOf("\r\n")).split(' ');
            if (m_wantsPassword || request.size() < 2 || request[0] != "CONNECT") {
                client->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                              "Proxy-Authenticate: Basic realm=\"office\"\r\n"
                              "Content-Length: 0\r\n\r\n");
                return;
            }
            const QList<QByteArray> target = request[1].split(':');
            auto* upstream = new QTcpSocket(client);
            client->setProperty("tunnel", true);
            connect(upstream, &QTcpSocket::connected, client, [this, client] {
                ++tunnels;
                client->write("HTTP/1.1 200 Connection established\r\n\r\n");
            });
            connect(upstream, &QTcpSocket::readyRead, client,
                    [client, upstream] { client->write(upstream->readAll()); });
            connect(client, &QTcpSocket::readyRead, upstream,
                    [client, upstream] { upstream->write(client->readAll()); });
            connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
            connect(client, &QTcpSocket::disconnected, upstream, &QTcpSocket::disconnectFromHost);
            // Every name is this machine: Qt sends nothing for a loopback address through a
            // proxy, so tests name the server otherwise and let the proxy find it here.
            upstream->connectToHost(QHostAddress::LocalHost, quint16(target.value(1).toUInt()));
        });
    }

    QTcpServer m_server;
    bool m_wantsPassword;
};

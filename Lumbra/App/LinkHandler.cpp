#include "App/LinkHandler.h"

#include "LumbraCore/ItemLink.h"
#include "Reader/Environment.h"
#include "Reader/Reader.h"

#include <QLocalSocket>

LinkHandler::LinkHandler(Reader& reader, WindowActivator& activator, QObject* parent)
    : QObject(parent), m_reader(reader), m_activator(activator)
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine().trimmed();
                    if (line.isEmpty())
                        m_activator.activate(); // started again without a link
                    else
                        open(QUrl(QString::fromUtf8(line)));
                }
            });
        }
    });
}

QString LinkHandler::channelName()
{
    // LUMBRA_CHANNEL keeps test runs apart from a Lumbra the user has open.
    const QString override = qEnvironmentVariable("LUMBRA_CHANNEL");
    if (!override.isEmpty()) return override;
    return QStringLiteral("lumbra-") + qEnvironmentVariable("USER", QStringLiteral("user"));
}

void LinkHandler::open(const QUrl& url)
{
    const std::optional<LumbraLink> link = LumbraLink::parse(url);
    if (!link) return;
    m_activator.activate();
    const QList<Item>& items = m_reader.items();
    const bool listed = std::any_of(items.cbegin(), items.cend(),
                                    [&](const Item& item) { return item.id == link->itemId(); });
    if (listed)
        m_reader.select(link->itemId());
    else
        m_reader.openLink(*link);
}

bool LinkHandler::handOver(const QUrl& url, const QString& channel)
{
    QLocalSocket socket;
    socket.connectToServer(channel);
    if (!socket.waitForConnected(1000)) return false;
    socket.write(url.toEncoded() + '\n'); // an empty line only raises the window
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

bool LinkHandler::listen(const QString& channel)
{
    QLocalServer::removeServer(channel); // a stale socket of a crashed process
    return m_server.listen(channel);
}

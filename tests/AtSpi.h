#pragma once

// Test helper: reads this process's accessibility tree the way a screen reader does, over
// the accessibility bus (at-spi). Calls are asynchronous and wait in the event loop, since
// the answers come from this same process's main thread.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QList>
#include <QSet>
#include <QTest>
#include <functional>

namespace atspi {

// An object in the tree: the bus name of its application and its path.
struct Node {
    QString service;
    QString path;
    bool operator==(const Node&) const = default;
};

// The role screen readers speak as it shows (atspi-constants.h).
constexpr uint notificationRole = 101; // ATSPI_ROLE_NOTIFICATION

// Records the StateChanged events the accessibility bus carries.
class EventRecorder : public QObject {
    Q_OBJECT

public:
    struct Event {
        Node source;
        QString state;
        int value;
    };
    QList<Event> events;

public Q_SLOTS:
    void stateChanged(const QDBusMessage& message)
    {
        events << Event{{message.service(), message.path()},
                        message.arguments().value(0).toString(),
                        message.arguments().value(1).toInt()};
    }
};

class Client {
public:
    // Connects to the session's accessibility bus; `connected()` says whether there is one.
    Client()
    {
        const QDBusMessage reply =
            QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
        if (reply.type() != QDBusMessage::ReplyMessage) return;
        m_bus = QDBusConnection::connectToBus(reply.arguments().value(0).toString(),
                                              QStringLiteral("lumbra-atspi-client"));
    }
    ~Client() { QDBusConnection::disconnectFromBus(QStringLiteral("lumbra-atspi-client")); }

    bool connected() const { return m_bus.isConnected(); }

    // This process's application object, as Qt's bridge registered it.
    static Node application()
    {
        return {QDBusConnection(QStringLiteral("a11y")).baseService(),
                QStringLiteral("/org/a11y/atspi/accessible/root")};
    }

    QDBusMessage call(const Node& node, const QString& interface, const QString& method,
                      const QVariantList& arguments = {})
    {
        QDBusMessage message =
            QDBusMessage::createMethodCall(node.service, node.path, interface, method);
        message.setArguments(arguments);
        QDBusPendingCallWatcher pending(m_bus.asyncCall(message, 10'000));
        if (!pending.isFinished()) {
            QEventLoop loop;
            QObject::connect(&pending, &QDBusPendingCallWatcher::finished, &loop,
                             &QEventLoop::quit);
            loop.exec();
        }
        return pending.reply();
    }

    QVariant property(const Node& node, const QString& interface, const QString& name)
    {
        const QDBusMessage reply = call(node, QStringLiteral("org.freedesktop.DBus.Properties"),
                                        QStringLiteral("Get"), {interface, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QString name(const Node& node) { return accessible(node, QStringLiteral("Name")).toString(); }
    Node parent(const Node& node)
    {
        return nodeAt(accessible(node, QStringLiteral("Parent")).value<QDBusArgument>());
    }
    // An object reference, (service, path), read off the D-Bus argument at its place.
    static Node nodeAt(const QDBusArgument& value)
    {
        Node node;
        QDBusObjectPath path;
        value.beginStructure();
        value >> node.service >> path;
        value.endStructure();
        node.path = path.path();
        return node;
    }
    // The role's number (AtspiRole), what screen readers go by.
    uint roleNumber(const Node& node)
    {
        return call(node, accessibleInterface(), QStringLiteral("GetRole"))
            .arguments()
            .value(0)
            .toUInt();
    }
    QString role(const Node& node)
    {
        return call(node, accessibleInterface(), QStringLiteral("GetRoleName"))
            .arguments()
            .value(0)
            .toString();
    }
    QSet<int> states(const Node& node)
    {
        const QDBusMessage reply = call(node, accessibleInterface(), QStringLiteral("GetState"));
        QList<uint> words;
        reply.arguments().value(0).value<QDBusArgument>() >> words;
        QSet<int> set;
        for (qsizetype word = 0; word < words.size(); ++word)
            for (int bit = 0; bit < 32; ++bit)
                if (words[word] & (1u << bit)) set.insert(int(word) * 32 + bit);
        return set;
    }
    QList<Node> children(const Node& node)
    {
        const QDBusMessage reply = call(node, accessibleInterface(), QStringLiteral("GetChildren"));
        QList<Node> nodes;
        const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd())
            nodes << nodeAt(list);
        list.endArray();
        return nodes;
    }

    // Asks every application to send `event` ("object:state-changed:showing"), and records
    // the state changes sent from now on.
    bool listen(const QString& event, EventRecorder* recorder)
    {
        const QDBusMessage reply = call(
            {QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry")},
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"), {event});
        return reply.type() == QDBusMessage::ReplyMessage &&
               m_bus.connect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Object"),
                             QStringLiteral("StateChanged"), recorder,
                             SLOT(stateChanged(QDBusMessage)));
    }

    // What a screen reader says for `node`: its name, or else its children's.
    QString spokenText(const Node& node, int depth = 8)
    {
        const QString own = name(node);
        if (!own.isEmpty() || depth == 0) return own;
        QStringList parts;
        for (const Node& child : children(node))
            parts << spokenText(child, depth - 1);
        return parts.join(QString());
    }

    // Ends what `listen` started. While anyone listens, Qt hands every key press to the
    // accessibility bus first and delivers it later.
    void stopListening(const QString& event, EventRecorder* recorder)
    {
        call(
            {QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry")},
            QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("DeregisterEvent"), {event});
        m_bus.disconnect(QString(), QString(), QStringLiteral("org.a11y.atspi.Event.Object"),
                         QStringLiteral("StateChanged"), recorder,
                         SLOT(stateChanged(QDBusMessage)));
    }

    // The first object, depth first from `from`, for which `matches` holds; nodes deeper
    // than `depth` levels are not visited.
    std::optional<Node> find(const Node& from, const std::function<bool(const Node&)>& matches,
                             int depth = 40)
    {
        if (matches(from)) return from;
        if (depth == 0) return std::nullopt;
        for (const Node& child : children(from))
            if (auto found = find(child, matches, depth - 1)) return found;
        return std::nullopt;
    }
    std::optional<Node> findByRole(const Node& from, const QString& role, const QString& name = {})
    {
        return find(from, [&](const Node& node) {
            return role == this->role(node) && (name.isEmpty() || this->name(node) == name);
        });
    }

private:
    static QString accessibleInterface() { return QStringLiteral("org.a11y.atspi.Accessible"); }
    QVariant accessible(const Node& node, const QString& name)
    {
        return property(node, accessibleInterface(), name);
    }

    QDBusConnection m_bus{QString()};
};

} // namespace atspi

#include "App/LinkHandler.h"

#include "LumbraCore/ItemLink.h"
#include "Reader/Environment.h"
#include "Reader/Reader.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>

namespace {

const QString objectPath = QStringLiteral("/app/lumbra/Lumbra");
const QString applicationInterface = QStringLiteral("org.freedesktop.Application");

// The freedesktop application interface, as desktops and `lumbra <link>` call it.
class ApplicationAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    ApplicationAdaptor(LinkHandler* links, WindowActivator& activator)
        : QDBusAbstractAdaptor(links), m_links(links), m_activator(activator)
    {
    }

public Q_SLOTS:
    void Activate(const QVariantMap&) { m_activator.activate(); }
    void Open(const QStringList& uris, const QVariantMap&)
    {
        for (const QString& uri : uris)
            m_links->open(QUrl(uri));
    }
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap&)
    {
        m_activator.activate();
    }

private:
    LinkHandler* m_links;
    WindowActivator& m_activator;
};

} // namespace

LinkHandler::LinkHandler(Reader& reader, WindowActivator& activator, QObject* parent)
    : QObject(parent), m_reader(reader), m_activator(activator)
{
    new ApplicationAdaptor(this, activator);
}

QString LinkHandler::busName()
{
    // LUMBRA_BUS_NAME keeps test runs apart from a Lumbra the user has open.
    const QString override = qEnvironmentVariable("LUMBRA_BUS_NAME");
    return override.isEmpty() ? QStringLiteral("app.lumbra.Lumbra") : override;
}

void LinkHandler::open(const QUrl& url)
{
    if (m_opening)
        openNow(url);
    else
        m_waiting << url;
}

void LinkHandler::startOpening()
{
    if (m_reader.session().refreshing()) {
        // The list the link may be in is still coming.
        auto* once = new QObject(this);
        connect(&m_reader.session(), &Session::refreshingChanged, once, [this, once] {
            if (m_reader.session().refreshing()) return;
            delete once;
            startOpening();
        });
        return;
    }
    m_opening = true;
    for (const QUrl& url : std::exchange(m_waiting, {}))
        openNow(url);
}

void LinkHandler::openNow(const QUrl& url)
{
    const std::optional<LumbraLink> link = LumbraLink::parse(url);
    if (!link) return;
    m_activator.activate();
    const QList<Item>& items = m_reader.timeline().items();
    const bool listed = std::any_of(items.cbegin(), items.cend(),
                                    [&](const Item& item) { return item.id == link->itemId(); });
    if (listed)
        m_reader.timeline().select(link->itemId());
    else
        m_reader.openLink(*link);
}

bool LinkHandler::handOver(const QUrl& url, const QString& name)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(name, objectPath, applicationInterface,
                                                       url.isEmpty() ? QStringLiteral("Activate")
                                                                     : QStringLiteral("Open"));
    if (url.isEmpty())
        call << QVariantMap();
    else
        call << QStringList{url.toString(QUrl::FullyEncoded)} << QVariantMap();
    // Only a running Lumbra: the bus must not start one for this call.
    call.setAutoStartService(false);
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

bool LinkHandler::listen(const QString& name)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors)) return false;
    if (bus.registerService(name)) return true;
    bus.unregisterObject(objectPath);
    return false;
}

#include "LinkHandler.moc"

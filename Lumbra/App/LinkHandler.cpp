#include "App/LinkHandler.h"

#include "LumbraCore/ItemLink.h"
#include "Reader/Environment.h"
#include "Reader/Lifetime.h"
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
    explicit ApplicationAdaptor(LinkHandler* links) : QDBusAbstractAdaptor(links), m_links(links) {}

public Q_SLOTS:
    void Activate(const QVariantMap&) { m_links->activate(); }
    void Open(const QStringList& uris, const QVariantMap&)
    {
        for (const QString& uri : uris)
            m_links->open(QUrl(uri));
    }
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap&)
    {
        m_links->activate();
    }

private:
    LinkHandler* m_links;
};

} // namespace

LinkHandler::LinkHandler(Reader& reader, WindowActivator& activator, QObject* parent)
    : QObject(parent), m_reader(reader), m_activator(activator)
{
    new ApplicationAdaptor(this);
}

QString LinkHandler::busName()
{
    // LUMBRA_BUS_NAME keeps test runs apart from a Lumbra the user has open.
    const QString override = qEnvironmentVariable("LUMBRA_BUS_NAME");
    return override.isEmpty() ? QStringLiteral("app.lumbra.Lumbra") : override;
}

void LinkHandler::open(const QUrl& url)
{
    if (m_opening) {
        openNow(url);
        return;
    }
    const std::optional<LumbraLink> link = LumbraLink::parse(url);
    if (link && !m_waiting.contains(*link) && m_waiting.size() < mostWaiting) m_waiting << *link;
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
    for (const LumbraLink& link : std::exchange(m_waiting, {}))
        openNow(link);
}

void LinkHandler::activate()
{
    if (m_activating) return;
    m_activating = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_activating = false;
            m_activator.activate();
        },
        Qt::QueuedConnection);
}

void LinkHandler::openNow(const QUrl& url)
{
    if (const std::optional<LumbraLink> link = LumbraLink::parse(url)) openNow(*link);
}

void LinkHandler::openNow(const LumbraLink& link)
{
    activate();
    const QList<Item>& items = m_reader.timeline().items();
    const bool listed = std::any_of(items.cbegin(), items.cend(),
                                    [&](const Item& item) { return item.id == link.itemId(); });
    if (listed) {
        m_reader.timeline().select(link.itemId());
        return;
    }
    if (m_lookUps.contains(link) || m_lookUps.size() >= mostWaiting) return;
    m_lookUps << link;
    if (m_lookUps.size() == 1) lookUpWaiting();
}

QCoro::Task<> LinkHandler::lookUpWaiting()
{
    // One look-up at a time, in the order the links came.
    while (!m_lookUps.isEmpty()) {
        co_await guarded(m_lifetime, m_reader.openLink(m_lookUps.constFirst()));
        m_lookUps.removeFirst();
    }
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

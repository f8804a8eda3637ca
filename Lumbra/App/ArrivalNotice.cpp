#include "App/ArrivalNotice.h"

#include "LumbraCore/Records.h"
#include "Reader/Reader.h"
#include "Reader/Session.h"
#include "Reader/Settings.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QLocale>
#include <QWidget>
#include <QWindow>
#include <climits>
#include <utility>

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
const QString showAction = QStringLiteral("default");
constexpr int namesTold = 3; // feeds named; the others counted

// A feed's title on one line and short enough for a notification, whatever the feed sent.
QString nameShown(const QString& title)
{
    constexpr qsizetype longest = 60;
    const QString line = title.simplified();
    if (line.size() <= longest) return line;
    qsizetype cut = longest - 1;
    if (line.at(cut).isLowSurrogate()) --cut; // never half a character
    return line.left(cut) + u'\u2026';
}

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(service, path, interface, method);
}

int clamped(qint64 count)
{
    return int(std::min<qint64>(count, INT_MAX));
}
} // namespace

ArrivalNotice::ArrivalNotice(Reader& reader, QWidget& window,
                             std::function<void(const Source&)> show, QObject* parent)
    : QObject(parent), m_reader(reader), m_window(&window), m_show(std::move(show))
{
    connect(&m_reader.session(), &Session::articlesArrived, this, &ArrivalNotice::arrived);
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                SLOT(actionInvoked(uint, QString)));
    bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                SLOT(closed(uint, uint)));
    // Once the user works in the window, what the notification tells is seen: it goes.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this] {
        if (!m_id || !m_window || !m_window->isActiveWindow()) return;
        QDBusMessage close = call(QStringLiteral("CloseNotification"));
        close << std::exchange(m_id, 0u);
        QDBusConnection::sessionBus().asyncCall(close);
        m_told.clear();
    });
    auto* asking =
        new QDBusPendingCallWatcher(bus.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(asking, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QStringList> reply = *w;
        m_markup = reply.isValid() && reply.value().contains(QStringLiteral("body-markup"));
        w->deleteLater();
    });
}

QString ArrivalNotice::summary(const QList<FeedArrival>& arrivals)
{
    qint64 total = 0;
    for (const FeedArrival& arrival : arrivals)
        total = std::min(total, LLONG_MAX - arrival.count) + arrival.count;
    return tr("%n new article(s)", "", clamped(total));
}

QString ArrivalNotice::body(const QList<FeedArrival>& arrivals)
{
    QStringList names;
    for (qsizetype i = 0; i < std::min<qsizetype>(arrivals.size(), namesTold); ++i)
        names << nameShown(arrivals[i].title);
    const qsizetype others = arrivals.size() - names.size();
    if (others == 0) return tr("In %1").arg(QLocale().createSeparatedList(names));
    return tr("In %1 and %n other feed(s)", "", clamped(others)).arg(names.join(tr(", ")));
}

void ArrivalNotice::arrived(const QList<FeedArrival>& arrivals)
{
    // The user sees the window: the sources' counts say it all.
    if (!m_reader.settings().notifications() || !m_window || m_window->isActiveWindow()) {
        m_told.clear();
        return;
    }
    addArrivals(m_told, arrivals);
    send();
}

void ArrivalNotice::send()
{
    // One at a time: the next replaces the one the daemon is about to number.
    if (std::exchange(m_sending, true)) {
        m_sendAgain = true;
        return;
    }
    const QString text = m_markup ? body(m_told).toHtmlEscaped() : body(m_told);
    QDBusMessage notify = call(QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QGuiApplication::desktopFileName()},
                            {QStringLiteral("category"), QStringLiteral("x-lumbra.arrived")}};
    notify << QGuiApplication::applicationDisplayName() << m_id
           << QGuiApplication::desktopFileName() << summary(m_told) << text
           << QStringList{showAction, tr("Show")} << hints << -1;
    auto* sending =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(notify), this);
    connect(sending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        // No daemon answers: nothing is shown, and nothing waits for it.
        m_id = reply.isValid() ? reply.value() : 0;
        if (!m_id) m_told.clear();
        w->deleteLater();
        m_sending = false;
        if (std::exchange(m_sendAgain, false) && !m_told.isEmpty()) send();
    });
}

void ArrivalNotice::actionInvoked(uint id, const QString& action)
{
    if (id == 0 || id != m_id || action != showAction) return;
    const Source source =
        m_told.size() == 1 ? Source::feed(m_told.first().feedId) : Source::allUnread();
    m_show(source);
}

void ArrivalNotice::closed(uint id, uint)
{
    if (id == 0 || id != m_id) return;
    m_id = 0;
    m_told.clear();
}

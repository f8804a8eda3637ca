#pragma once

#include "Reader/BrowserBursts.h"
#include "Reader/Environment.h"
#include "Reader/Lifetime.h"
#include "Reader/Marker.h"
#include "Reader/Organiser.h"
#include "Reader/Quotes.h"
#include "Reader/Session.h"
#include "Reader/Settings.h"
#include "Reader/Subscriptions.h"
#include "Reader/Timeline.h"

#include <QObject>
#include <QUrl>
#include <qcoro/qcorotask.h>
#include <stop_token>

class LumbraLink;

// Owns the application's state objects and wires them together: the session, the
// subscriptions, the timeline, the marker and the quotes, beside the settings. Views
// observe the one they show. Lives on the main thread.
class Reader final : public QObject {
    Q_OBJECT

public:
    explicit Reader(ReaderEnvironment environment, QObject* parent = nullptr);
    ~Reader() override;
    Q_DISABLE_COPY_MOVE(Reader)

    Session& session() { return m_session; }
    const Session& session() const { return m_session; }
    Subscriptions& subscriptions() { return m_subscriptions; }
    const Subscriptions& subscriptions() const { return m_subscriptions; }
    Timeline& timeline() { return m_timeline; }
    const Timeline& timeline() const { return m_timeline; }
    Marker& marker() { return m_marker; }
    Organiser& organiser() { return m_organiser; }
    Quotes& quotes() { return m_quotes; }
    Settings& settings() { return *m_env.settings; }
    const Settings& settings() const { return *m_env.settings; }

    // Restores the stored account, refreshes at once when there is one and starts the
    // periodic refresh. Awaited before the main window first shows.
    QCoro::Task<> start();

    void openInBrowser(const Item& item);
    // Hands a web or mail address to the default browser or mail program (a mail address
    // rebuilt with its recipients, subject, body and cc only); anything else is refused
    // with a message.
    void openUrl(const QUrl& url);
    // Shows the item a link names, from the server when it is not listed; an article the
    // server does not have opens in the browser, within BrowserBursts' bounds.
    QCoro::Task<> openLink(LumbraLink link);

private:
    ReaderEnvironment m_env;
    Subscriptions m_subscriptions;
    Session m_session;
    Timeline m_timeline;
    Marker m_marker;
    Organiser m_organiser;
    Quotes m_quotes;
    BrowserBursts m_browserBursts;
    Lifetime m_lifetime; // last: it ends first
};

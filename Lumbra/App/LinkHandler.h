#pragma once

#include <QList>
#include <QObject>
#include <QUrl>
#include <qcoro/qcorotask.h>

#include "LumbraCore/ItemLink.h"
#include "Reader/Lifetime.h"

class Reader;
class WindowActivator;

// Opens item links (tavo://lumbra/item/<id>) delivered to the application, and makes the
// first Lumbra of a desktop session the one that receives them: it owns a well-known name
// on the user's own session bus (org.freedesktop.Application on app.lumbra.Lumbra), and a
// later `lumbra <link>` hands its link over there and exits. Another user, or another
// session, has another bus and cannot reach it.
class LinkHandler final : public QObject {
    Q_OBJECT

public:
    LinkHandler(Reader& reader, WindowActivator& activator, QObject* parent = nullptr);

    // An invalid or foreign URL changes nothing and does not raise the window. Until
    // `startOpening`, links wait (a few, repeats dropped).
    void open(const QUrl& url);
    // Opens the links that waited, and from then on each at once, as soon as the stored
    // account's first refresh has ended (at once without an account).
    void startOpening();

    // Hands `url` (maybe empty: only raise the window) to the Lumbra that owns `name`;
    // false when none does or there is no session bus.
    static bool handOver(const QUrl& url, const QString& name = busName());
    // Owns `name` and receives links; false when another owns it or there is no bus.
    bool listen(const QString& name = busName());
    static QString busName();

    // Raises the window once for any number of calls in one turn of the event loop.
    void activate();

    // Links of unlisted articles waiting for their look-up: any program of the user can
    // call, so repeats are dropped and only a few wait.
    static constexpr qsizetype mostWaiting = 8;

private:
    void openNow(const QUrl& url);
    void openNow(const LumbraLink& link);
    QCoro::Task<> lookUpWaiting();

    Reader& m_reader;
    WindowActivator& m_activator;
    bool m_opening = false;
    QList<LumbraLink> m_waiting; // until startOpening; as few as m_lookUps
    QList<LumbraLink> m_lookUps; // the first is in flight
    bool m_activating = false;
    Lifetime m_lifetime; // last: it ends first
};

#pragma once

#include "LumbraCore/Records.h"
#include "Reader/ServerChanges.h"

#include <QObject>
#include <stop_token>

class Session;
class Subscriptions;
class Timeline;

// Marks items read, unread, starred or unstarred: the local state changes at once, the
// server is told in the background and the change is undone when it refuses.
class Marker final : public QObject {
    Q_OBJECT

public:
    Marker(Session& session, Subscriptions& subscriptions, Timeline& timeline,
           QObject* parent = nullptr);
    ~Marker() override;
    Q_DISABLE_COPY_MOVE(Marker)

    // Items come by value: marking one changes the list a reference would point into.
    void toggleRead(Item item);
    void toggleStarred(Item item);
    // Marks every listed item read; with a search, only the shown ones.
    void markAllRead();
    // An article chosen in the list is read.
    void markChosenRead(qsizetype index);

private:
    void setRead(Item item, bool read);
    void markShownRead();
    void send(ServerChanges::Call call, std::function<void()> undo);

    Session& m_session;
    Subscriptions& m_subscriptions;
    Timeline& m_timeline;
    ServerChanges m_changes;
    Lifetime m_lifetime; // last: it ends first
};

#pragma once

#include "LumbraCore/Arrivals.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;
class Reader;
class Source;

// New articles told as one desktop notification (org.freedesktop.Notifications): how many
// and in which feeds, with an action that shows them. Arrivals while it is still up join
// it, so a busy feed never stacks notifications; none while the window is active, none when
// the user turned them off. Do-not-disturb is the notification daemon's to keep.
class ArrivalNotice final : public QObject {
    Q_OBJECT

public:
    // `show` brings the window up on a source.
    ArrivalNotice(Reader& reader, QWidget& window, std::function<void(const Source&)> show,
                  QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(ArrivalNotice)

    // What the notification up now tells; empty when none is.
    const QList<FeedArrival>& told() const { return m_told; }

    // The words of a notification for `arrivals`: its summary and its body.
    static QString summary(const QList<FeedArrival>& arrivals);
    static QString body(const QList<FeedArrival>& arrivals);

private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void closed(uint id, uint reason);

private:
    void arrived(const QList<FeedArrival>& arrivals);
    void send();

    Reader& m_reader;
    QPointer<QWidget> m_window;
    std::function<void(const Source&)> m_show;
    QList<FeedArrival> m_told;
    uint m_id = 0;         // of the notification up, 0 when none is
    bool m_markup = false; // the daemon reads the body as markup
    bool m_sending = false;
    bool m_sendAgain = false;
};

#pragma once

#include <QLocalServer>
#include <QObject>
#include <QUrl>

class Reader;
class WindowActivator;

// Opens item links (tavo://lumbra/item/<id>) delivered to the application, and makes the
// first Lumbra process the one that receives them: a later `lumbra <link>` hands its link
// over and exits.
class LinkHandler final : public QObject {
    Q_OBJECT

public:
    LinkHandler(Reader& reader, WindowActivator& activator, QObject* parent = nullptr);

    // An invalid or foreign URL changes nothing and does not raise the window.
    void open(const QUrl& url);

    // Hands `url` (maybe empty) to a running Lumbra; false when none is running.
    static bool handOver(const QUrl& url, const QString& channel = channelName());
    // Starts receiving links from later processes.
    bool listen(const QString& channel = channelName());
    static QString channelName();

private:
    Reader& m_reader;
    WindowActivator& m_activator;
    QLocalServer m_server;
};

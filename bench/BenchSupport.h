#pragma once

// What the benchmarks that drive a real Reader share: a sandbox in its own process, an
// account store that holds its account, and a world in which nobody answers.

#include "Reader/Reader.h"
#include "Views/FeedIcons.h"
#include "Views/ItemActions.h"
#include "Views/Style.h"
#include "Views/TimelineView.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <ctime>
#include <functional>

namespace bench {

class NoStore final : public AccountStore {
public:
    explicit NoStore(Account account) : m_account(std::move(account)) {}
    QCoro::Task<std::optional<Account>> load() override { co_return m_account; }
    QCoro::Task<> save(Account) override { co_return; }
    QCoro::Task<> remove() override { co_return; }

private:
    Account m_account;
};

class Nowhere final : public Browser, public WindowActivator, public Clock, public FolderChooser {
public:
    void open(const QUrl&, NothingOpens) override {}
    void activate() override {}
    qint64 now() const override { return QDateTime::currentSecsSinceEpoch(); }
    std::optional<QString> chooseVault(const QString&) override { return std::nullopt; }
};

// Starts lumbra-sandbox with `arguments` on a free port, user "demo", password "bench";
// returns its address, empty when it did not start.
inline QString startSandbox(QProcess& sandbox, QStringList arguments)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    sandbox.setProgram(QStringLiteral(LUMBRA_SANDBOX));
    arguments << QStringLiteral("--port") << QString::number(port) << QStringLiteral("--no-demo")
              << QStringLiteral("--app-password") << QStringLiteral("bench");
    sandbox.setArguments(arguments);
    sandbox.start();
    if (!sandbox.waitForReadyRead(600000)) return QString();
    return QStringLiteral("http://127.0.0.1:") + QString::number(port);
}

// The network of a World: tells `started` of every reply as it is made.
class Network final : public QNetworkAccessManager {
public:
    std::function<void(QNetworkReply*)> started;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request,
                                 QIODevice* data) override
    {
        QNetworkReply* reply = QNetworkAccessManager::createRequest(op, request, data);
        if (started) started(reply);
        return reply;
    }
};

// A Reader of the sandbox's account at `server`, and what it needs around it.
struct World {
    explicit World(const QString& server)
        : store(Account{server, QStringLiteral("demo"), QStringLiteral("bench")}),
          reader(ReaderEnvironment{&store, &nowhere, &nowhere, &nowhere, &settings, &nowhere,
                                   session(), ReaderTiming{}})
    {
        loadTlsInBackground(); // as the app does
    }
    HttpSession session() { return HttpSession{&network, requestTimeout}; }

    Network network;
    NoStore store;
    Nowhere nowhere;
    QTemporaryDir settingsDir;
    QSettings settingsFile{settingsDir.filePath(QStringLiteral("lumbra.ini")),
                           QSettings::IniFormat};
    Settings settings{settingsFile};
    Reader reader;
};

// A World whose Reader is shown in the real TimelineView, 360 × 800 px.
struct TimelineWorld : World {
    explicit TimelineWorld(const QString& server)
        : World(server), icons(session()), actions(reader), view(reader, icons, actions)
    {
        Style::loadFontsInBackground(); // as the app does
        view.resize(360, 800);
        view.show();
    }

    FeedIcons icons;
    ItemActions actions;
    TimelineView view;
};

// Times every dispatch of the event loop and remembers the longest, with what it was.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        // Only the window's thread: Qt's network thread has events of its own.
        if (QThread::currentThread() != thread()) return QApplication::notify(receiver, event);
        if (m_depth++ > 0) {
            const bool handled = QApplication::notify(receiver, event);
            --m_depth;
            return handled;
        }
        // Named before the dispatch: it may delete the receiver (and the event).
        const char* const name = receiver->metaObject()->className();
        const char* const parent =
            receiver->parent() ? receiver->parent()->metaObject()->className() : nullptr;
        const int type = int(event->type());
        QElapsedTimer clock;
        clock.start();
        const qint64 cpuBefore = threadCpuMs();
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        const qint64 took = clock.elapsed();
        if (took > longest) {
            longest = took;
            longestCpu = threadCpuMs() - cpuBefore;
            what = QString::fromLatin1(name) + u" event " + QString::number(type);
            if (parent) what += u" in " + QString::fromLatin1(parent);
        }
        return handled;
    }
    void reset()
    {
        longest = 0;
        longestCpu = 0;
        what.clear();
    }
    qint64 longest = 0;
    qint64 longestCpu = 0; // of the longest: the time the thread ran, not waited for a core
    QString what;

private:
    static qint64 threadCpuMs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
    }

    int m_depth = 0;
};

// The longest gap between two turns of a 5 ms timer.
struct Stalls {
    Stalls()
    {
        clock.start();
        QObject::connect(&timer, &QTimer::timeout,
                         [this] { longest = std::max(longest, clock.restart()); });
        timer.start(5);
    }
    QTimer timer;
    QElapsedTimer clock;
    qint64 longest = 0;
};

} // namespace bench

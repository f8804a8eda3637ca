// The timeline with a heavy source: 100,000 generated items from the sandbox shown in the
// real TimelineView (offscreen). Prints the time from the list's arrival to its first
// paint, and the time to page through every row.
//
//   QT_QPA_PLATFORM=offscreen bench_timeline [N]      (default: 100000)

#include "Await.h"
#include "Reader/Reader.h"
#include "Views/FeedIcons.h"
#include "Views/ItemActions.h"
#include "Views/TimelineView.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QListView>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QScrollBar>
#include <QTcpServer>
#include <cstdio>

namespace {

class NoStore final : public AccountStore {
public:
    explicit NoStore(Account account) : m_account(std::move(account)) {}
    QCoro::Task<std::optional<Account>> load() override { co_return m_account; }
    QCoro::Task<> save(Account) override { co_return; }
    QCoro::Task<> remove() override { co_return; }

private:
    Account m_account;
};

class Nowhere final : public Browser,
                      public WindowActivator,
                      public Clock,
                      public Preferences,
                      public FolderChooser {
public:
    void open(const QUrl&) override {}
    void activate() override {}
    qint64 now() const override { return QDateTime::currentSecsSinceEpoch(); }
    std::optional<QString> string(const QString&) const override { return std::nullopt; }
    void setString(const QString&, const std::optional<QString>&) override {}
    std::optional<QString> chooseFolder(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;

    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QProcess sandbox;
    sandbox.setProgram(QStringLiteral(LUMBRA_SANDBOX));
    sandbox.setArguments({QStringLiteral("--port"), QString::number(port),
                          QStringLiteral("--no-demo"), QStringLiteral("--items"),
                          QString::number(count), QStringLiteral("--app-password"),
                          QStringLiteral("bench")});
    sandbox.start();
    if (!sandbox.waitForReadyRead(600000)) return 1;

    QNetworkAccessManager network;
    NoStore store(Account{QStringLiteral("http://127.0.0.1:") + QString::number(port),
                          QStringLiteral("demo"), QStringLiteral("bench")});
    Nowhere nowhere;
    Reader reader(ReaderEnvironment{&store, &nowhere, &nowhere, &nowhere, &nowhere, &nowhere,
                                    HttpSession{&network, requestTimeout}, ReaderTiming{}});
    FeedIcons icons(HttpSession{&network, requestTimeout});
    ItemActions actions(reader);
    TimelineView view(reader, icons, actions);
    view.resize(360, 800);
    view.show();

    QElapsedTimer timer;
    qint64 firstPaint = -1;
    QObject::connect(&reader, &Reader::itemsChanged, &view, [&] {
        if (reader.items().isEmpty()) return;
        timer.start();
        view.grab(); // lays out and paints the visible rows
        firstPaint = timer.nsecsElapsed();
    });
    reader.selectSource(Source::all());
    await(reader.start(), std::chrono::minutes(10));
    while (firstPaint < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    QScrollBar* bar = view.list()->verticalScrollBar();
    timer.restart();
    int pages = 0;
    for (int value = 0; value <= bar->maximum(); value += bar->pageStep(), ++pages) {
        bar->setValue(value);
        view.list()->viewport()->grab();
    }
    const double scrollSeconds = timer.nsecsElapsed() / 1e9;

    std::printf("timeline %lld items: first paint %.1f ms after the list arrived; "
                "%d pages scrolled in %.2f s (%.2f ms a page)\n",
                static_cast<long long>(reader.items().size()), firstPaint / 1e6, pages,
                scrollSeconds, scrollSeconds * 1000 / std::max(pages, 1));
    sandbox.terminate();
    sandbox.waitForFinished();
    return 0;
}

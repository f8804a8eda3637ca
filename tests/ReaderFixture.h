#pragma once

// Test helper: a real Reader against a sandbox, with stand-ins only for what needs a
// person (the browser, the window) and an in-memory account store.

#include "Await.h"
#include "Reader/Reader.h"
#include "SandboxFixture.h"
#include "Views/Wording.h"

#include <QDateTime>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

class MemoryAccountStore final : public AccountStore {
public:
    QCoro::Task<std::optional<Account>> load() override { co_return stored; }
    QCoro::Task<> save(Account account) override
    {
        stored = std::move(account);
        ++saves;
        co_return;
    }
    QCoro::Task<> remove() override
    {
        stored.reset();
        ++removals;
        co_return;
    }
    std::optional<Account> stored;
    int saves = 0;
    int removals = 0;
};

class RecordingBrowser final : public Browser {
public:
    void open(const QUrl& url, NothingOpens nothingOpens) override
    {
        if (!handlesMail && url.scheme() == u"mailto") {
            if (nothingOpens) nothingOpens();
            return;
        }
        opened << url;
        if (onOpen) onOpen(url);
    }
    bool handlesMail = true;
    QList<QUrl> opened;
    std::function<void(const QUrl&)> onOpen;
};

class RecordingNoteOpener final : public NoteOpener {
public:
    void open(const QString& path, NothingOpens nothingOpens) override
    {
        if (handlesNotes)
            opened << path;
        else if (nothingOpens)
            nothingOpens();
    }
    void showInFolder(const QString& path) override { shown << path; }
    QStringList opened;
    QStringList shown;
    bool handlesNotes = true;
};

class CountingActivator final : public WindowActivator {
public:
    void activate() override { ++count; }
    int count = 0;
};

// The real time, moved by `ahead` seconds when a test needs a later hour.
class FixedClock final : public Clock {
public:
    qint64 now() const override { return QDateTime::currentSecsSinceEpoch() + ahead; }
    qint64 ahead = 0;
};

// Real settings in a throwaway file.
struct FileSettings {
    QTemporaryDir dir;
    QSettings store{dir.filePath(QStringLiteral("lumbra.ini")), QSettings::IniFormat};
    Settings settings{store};
};

// Answers the folder question as a person would have: with `answer`, or by cancelling.
class ScriptedFolderChooser final : public FolderChooser {
public:
    std::optional<QString> chooseVault(const QString& startFolder) override
    {
        ++asked;
        startedIn = startFolder;
        return answer;
    }
    std::optional<QString> answer;
    int asked = 0;
    QString startedIn;
};

struct ReaderFixture {
    explicit ReaderFixture(sandbox::Options options = {}, ReaderTiming timing = fastTiming(),
                           std::chrono::milliseconds timeout = requestTimeout,
                           const std::function<void(HttpSession&)>& tune = {})
        : sandbox(options), m_timing(timing), m_session(sandbox.session(timeout))
    {
        if (tune) tune(m_session);
        restart();
    }

    // A new Reader in place of the old one, with what it keeps: as Lumbra started again.
    void restart()
    {
        reader.reset();
        reader = std::make_unique<Reader>(environment());
    }

    // What a Reader is given: the stand-ins, the settings, the network and the timing.
    ReaderEnvironment environment()
    {
        return ReaderEnvironment{&accounts,      &browser,  &activator, &clock, &files.settings,
                                 &folderChooser, m_session, m_timing,   &notes};
    }

    ~ReaderFixture()
    {
        // The Reader aborts its requests as it goes; let them end before the network goes.
        reader.reset();
        (void)QTest::qWaitFor([this] { return sandbox.manager.idle(); }, 1000);
    }

    static ReaderTiming fastTiming()
    {
        ReaderTiming timing;
        timing.pollInterval = std::chrono::milliseconds(1);
        return timing;
    }

    // Starts the Reader with the demo account stored, as a relaunch would, and waits for the
    // first refresh and item load. False when they did not end in time. The requests a test
    // counts are those after it.
    bool startLoggedIn()
    {
        accounts.stored = sandbox.account();
        await(reader->start());
        const bool loaded = QTest::qWaitFor(
            [this] {
                // Items arrive in batches: a test must not start on half a list.
                return !reader->session().refreshing() && !reader->timeline().loadingItems() &&
                       !reader->timeline().items().isEmpty();
            },
            10000);
        sandbox.server->clearRequests();
        return loaded;
    }

    // Requests whose path starts with `prefix`, e.g. "/index.php/apps/news/api/v1-3/feeds".
    int count(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& request : sandbox.requests())
            n += request.target.rfind(prefix, 0) == 0;
        return n;
    }
    // POST requests to exactly `target`.
    int posted(const std::string& target) const
    {
        int n = 0;
        for (const auto& request : sandbox.requests())
            n += request.method == "POST" && request.target == target;
        return n;
    }
    QStringList targets() const
    {
        QStringList list;
        for (const auto& request : sandbox.requests())
            list << QString::fromStdString(request.target);
        return list;
    }

    SandboxFixture sandbox;
    MemoryAccountStore accounts;
    RecordingBrowser browser;
    RecordingNoteOpener notes;
    CountingActivator activator;
    FixedClock clock;
    FileSettings files;
    ScriptedFolderChooser folderChooser;
    std::unique_ptr<Reader> reader;

private:
    ReaderTiming m_timing;
    HttpSession m_session;
};

inline const std::string news = "/index.php/apps/news/api/v1-3";

// What the banner says now, in the user's words; none without a message.
inline std::optional<QString> said(const Reader& reader)
{
    const std::optional<Notice>& notice = reader.session().message();
    return notice ? std::optional(Wording::notice(*notice)) : std::nullopt;
}

// What the sources column says of the last refresh; none when it did not fail.
inline std::optional<QString> errorText(const Reader& reader)
{
    const std::optional<RefreshFailure>& error = reader.session().error();
    return error ? std::optional(Wording::refreshFailure(*error)) : std::nullopt;
}

// What the login view says of a failed login; "" while it has not failed.
inline QString loginText(const Reader& reader)
{
    const std::optional<LoginFailure>& failure = reader.session().login().failure();
    return failure ? Wording::loginFailure(*failure) : QString();
}

// A message to show, as the banner's tests need one: "Quote added to <note>".
inline Notice quoteAdded(const QString& note)
{
    return Notice(Notice::Kind::quoteAdded, note);
}

// Objects that go while their coroutines wait: nothing resumes into them, nothing they
// started changes the objects that stay, and what the user asked for is not lost.

#include "Reader/Lifetime.h"
#include "Reader/Marker.h"
#include "Reader/Organiser.h"
#include "Reader/Quotes.h"
#include "Reader/Session.h"
#include "Reader/Subscriptions.h"
#include "Reader/Timeline.h"
#include "ReaderFixture.h"

#include <QDir>
#include <QDirIterator>
#include <QTest>
#include <coroutine>
#include <qcoro/qcorosignal.h>

using namespace Qt::StringLiterals;

namespace {

class Gate final : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void opened(int value);
};

// Resumes its awaiter there and then as `stop` is requested, as an aborted reply may.
struct UntilStopped {
    std::stop_token stop;
    std::unique_ptr<std::stop_callback<std::function<void()>>> onStop;
    bool await_ready() const { return stop.stop_requested(); }
    void await_suspend(std::coroutine_handle<> awaiting)
    {
        onStop = std::make_unique<std::stop_callback<std::function<void()>>>(
            stop, [awaiting] { awaiting.resume(); });
    }
    void await_resume() const {}
};

// What the awaited work did, and what the owner's coroutine did after it.
struct Trace {
    int workEnded = 0;
    int resumed = 0;
    int caught = 0;
    int busyChanges = 0;
    bool busy = false;
};

enum class Work { value, failure, stopped };

QCoro::Task<int> work(Work kind, Gate* gate, std::stop_token stop, std::shared_ptr<Trace> trace)
{
    if (kind == Work::stopped) {
        UntilStopped stopped{stop, nullptr}; // named, not a temporary (GCC 12, see Worker.h)
        co_await std::move(stopped);
    } else {
        co_await qCoro(gate, &Gate::opened);
    }
    ++trace->workEnded;
    if (kind == Work::failure) throw NetworkError(QNetworkReply::HostNotFoundError, u"no host"_s);
    co_return 7;
}

class Owner final : public QObject {
public:
    explicit Owner(std::shared_ptr<Trace> trace) : m_trace(std::move(trace)) {}

    QCoro::Task<> run(Work kind, Gate* gate)
    {
        const BusyWhile busy(m_lifetime, this, &Owner::setBusy, m_running);
        QCoro::Task<int> waiting = work(kind, gate, m_lifetime.token(), m_trace);
        try {
            co_await guarded(m_lifetime, std::move(waiting));
            ++m_trace->resumed;
        } catch (const LumbraError&) {
            ++m_trace->caught;
        }
    }

private:
    void setBusy(bool busy)
    {
        m_trace->busy = busy;
        ++m_trace->busyChanges;
    }

    std::shared_ptr<Trace> m_trace;
    int m_running = 0;
    Lifetime m_lifetime;
};

enum class Step { loadItems, star, addFeed, makeFolder, refresh, logIn, writeQuote };

// The state objects, each on its own so that one can go while the others stay, given what
// a Reader is given.
struct Parts {
    explicit Parts(const QString& vault)
    {
        world.files.settings.setVault(vault);
        world.accounts.stored = world.sandbox.account();
    }
    ~Parts() { drop(Step::refresh); }

    // Destroys the object that takes `step`, after those that refer to it, as the Reader's
    // members go: the marker, organiser and quotes refer to the timeline, all to the session.
    void drop(Step step)
    {
        switch (step) {
        case Step::star:
            return marker.reset();
        case Step::addFeed:
        case Step::makeFolder:
            return organiser.reset();
        case Step::writeQuote:
            return quotes.reset();
        default:
            quotes.reset();
            organiser.reset();
            marker.reset();
            timeline.reset();
            if (step != Step::loadItems) session.reset();
        }
    }

    ReaderFixture world;
    ReaderEnvironment env = world.environment();
    Subscriptions subscriptions;
    std::unique_ptr<Session> session = std::make_unique<Session>(env, subscriptions);
    std::unique_ptr<Timeline> timeline =
        std::make_unique<Timeline>(*session, subscriptions, world.clock);
    std::unique_ptr<Marker> marker = std::make_unique<Marker>(*session, subscriptions, *timeline);
    std::unique_ptr<Organiser> organiser =
        std::make_unique<Organiser>(*session, subscriptions, *timeline);
    std::unique_ptr<Quotes> quotes =
        std::make_unique<Quotes>(env, *session, subscriptions, *timeline);
};

} // namespace

Q_DECLARE_METATYPE(Work)
Q_DECLARE_METATYPE(Step)

class LifetimesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void awaitsResumeOnlyIntoALivingOwner_data()
    {
        QTest::addColumn<Work>("work");
        QTest::addColumn<bool>("ownerGoes");
        QTest::newRow("a value, owner stays") << Work::value << false;
        QTest::newRow("a value, owner gone") << Work::value << true;
        QTest::newRow("a failure, owner stays") << Work::failure << false;
        QTest::newRow("a failure, owner gone") << Work::failure << true;
        QTest::newRow("ended by the owner going, there and then") << Work::stopped << true;
    }

    void awaitsResumeOnlyIntoALivingOwner()
    {
        QFETCH(Work, work);
        QFETCH(bool, ownerGoes);
        auto trace = std::make_shared<Trace>();
        Gate gate;
        auto owner = std::make_unique<Owner>(trace);
        owner->run(work, &gate);
        QVERIFY(trace->busy);
        if (ownerGoes) owner.reset();
        if (work != Work::stopped) {
            Q_EMIT gate.opened(7);
            QVERIFY(QTest::qWaitFor([&] { return trace->workEnded == 1; }));
        }
        QCOMPARE(trace->workEnded, 1);
        const bool alive = !ownerGoes;
        QCOMPARE(trace->resumed, alive && work == Work::value ? 1 : 0);
        QCOMPARE(trace->caught, alive && work == Work::failure ? 1 : 0);
        // The busy flag is cleared only while there is an owner to clear it on.
        QCOMPARE(trace->busy, !alive);
        QCOMPARE(trace->busyChanges, alive ? 2 : 1);
    }

    void stateObjectsGoWhileTheirRequestsAreInFlight_data()
    {
        QTest::addColumn<Step>("step");
        QTest::addColumn<QString>("route"); // held back while the object goes
        QTest::addColumn<QString>("path");  // where that request goes
        const QString api = QString::fromStdString(news);
        QTest::newRow("timeline, loading") << Step::loadItems << u"items"_s << api + u"/items"_s;
        QTest::newRow("marker, a star the server refuses")
            << Step::star << u"item-star"_s << api + u"/items/"_s;
        QTest::newRow("organiser, a feed")
            << Step::addFeed << u"feed-create"_s << api + u"/feeds"_s;
        QTest::newRow("organiser, a folder")
            << Step::makeFolder << u"folder-create"_s << api + u"/folders"_s;
        QTest::newRow("session, refreshing")
            << Step::refresh << u"folders"_s << api + u"/folders"_s;
        QTest::newRow("session, logging in")
            << Step::logIn << u"login-poll"_s << u"/index.php/login/v2/poll"_s;
        QTest::newRow("quotes, writing") << Step::writeQuote << QString() << QString();
    }

    void stateObjectsGoWhileTheirRequestsAreInFlight()
    {
        QFETCH(Step, step);
        QFETCH(QString, route);
        QFETCH(QString, path);
        QTemporaryDir vault;
        QVERIFY(QDir(vault.path()).mkdir(u".obsidian"_s));
        Parts parts(vault.path());
        await(parts.session->start());
        QVERIFY(QTest::qWaitFor([&] { return !parts.session->refreshing(); }));
        await(parts.timeline->load());
        QVERIFY(!parts.timeline->items().isEmpty());
        const Item first = parts.timeline->items().constFirst();
        const qsizetype feeds = parts.subscriptions.feeds().size();
        const qsizetype folders = parts.subscriptions.folders().size();

        sandbox::Fault heldBack;
        heldBack.delayMs = 500;
        heldBack.status = step == Step::star ? 500 : 0;
        if (!route.isEmpty()) parts.world.sandbox.server->setFault(route.toStdString(), heldBack);
        parts.world.sandbox.server->clearRequests();
        const auto arrived = [&] {
            for (const sandbox::LoggedRequest& request : parts.world.sandbox.requests())
                if (QString::fromStdString(request.target).startsWith(path)) return true;
            return false;
        };

        const QString server = QString::fromStdString(parts.world.sandbox.server->baseUrl());
        switch (step) {
        case Step::loadItems:
            parts.timeline->load();
            break;
        case Step::star:
            parts.marker->toggleStarred(first);
            break;
        case Step::addFeed:
            parts.organiser->addFeed(server + u"/subscribable/field-notes.xml"_s, std::nullopt);
            break;
        case Step::makeFolder:
            parts.organiser->createFolder(u"Later"_s);
            break;
        case Step::refresh:
            parts.session->refresh();
            break;
        case Step::logIn:
            parts.session->startLogin(server);
            break;
        case Step::writeQuote:
            parts.quotes->writeQuote(u"A sentence worth keeping."_s, first);
            break;
        }
        if (!path.isEmpty()) QVERIFY(QTest::qWaitFor(arrived));
        parts.drop(step);

        // The gone object's requests ended with it, and whatever waited on them has run.
        QTRY_VERIFY(parts.world.sandbox.manager.idle());

        if (parts.session) {
            QCOMPARE(parts.session->message(), std::optional<Notice>());
            QCOMPARE(parts.session->refreshing(), false);
        }
        QCOMPARE(parts.subscriptions.feeds().size(), feeds);
        QCOMPARE(parts.subscriptions.folders().size(), folders);
        if (parts.timeline) {
            // The local star stays: nobody is left to undo it, and the server is asked again
            // on the next refresh.
            const Item* kept = nullptr;
            for (const Item& item : parts.timeline->items())
                if (item.id == first.id) kept = &item;
            QVERIFY(kept);
            QCOMPARE(kept->starred, step == Step::star ? !first.starred : first.starred);
        }
        if (step == Step::writeQuote) {
            // Written before the quotes went: a quote is never lost to quitting.
            QDirIterator notes(vault.path(), {u"*.md"_s}, QDir::Files,
                               QDirIterator::Subdirectories);
            QVERIFY(notes.hasNext());
            QFile note(notes.next());
            QVERIFY(note.open(QIODevice::ReadOnly));
            QVERIFY(note.readAll().contains("A sentence worth keeping."));
        }
    }
};

QTEST_MAIN(LifetimesTest)
#include "tst_lifetimes.moc"

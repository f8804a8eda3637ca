#include "Await.h"
#include "LumbraCore/ItemLink.h"
#include "LumbraCore/WebAddress.h"
#include "LumbraCore/Worker.h"
#include "Reader/Subscriptions.h"
#include "Reader/TimelineSearch.h"
#include "ReaderFixture.h"
#include "Views/Wording.h"

#include <QSignalSpy>
#include <QTest>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class ReaderActionsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ReaderFixture> f;

    void showSource(const Source& source)
    {
        f->reader->timeline().selectSource(source);
        QTRY_VERIFY(!f->reader->timeline().loadingItems());
        f->sandbox.server->clearRequests();
    }
    Item item(qint64 id) const
    {
        for (const Item& item : f->reader->timeline().items())
            if (item.id == id) return item;
        qFatal("item %lld is not shown", static_cast<long long>(id));
    }
    qint64 unread(qint64 feedId) const
    {
        return f->reader->subscriptions().count(Source::feed(feedId));
    }
    QList<qint64> shownIds() const
    {
        QList<qint64> ids;
        for (const Item& item : f->reader->timeline().items())
            ids << item.id;
        return ids;
    }

    QStringList shownTitles() const
    {
        QStringList titles;
        for (qsizetype row = 0; row < f->reader->timeline().search().shownCount(); ++row)
            titles << f->reader->timeline().search().shownItem(row).title.value_or(QString());
        return titles;
    }
    QList<qint64> shownRowIds() const
    {
        QList<qint64> ids;
        for (qsizetype row = 0; row < f->reader->timeline().search().shownCount(); ++row)
            ids << f->reader->timeline().search().shownItem(row).id;
        return ids;
    }

private Q_SLOTS:
    void init()
    {
        f = std::make_unique<ReaderFixture>();
        QVERIFY(f->startLoggedIn());
    }
    void cleanup() { f.reset(); }

    void selectingMarksReadOnce()
    {
        QCOMPARE(unread(1), 2);
        QSignalSpy changed(&f->reader->timeline(), &Timeline::itemChanged);
        f->reader->timeline().select(1);
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(1));
        QVERIFY(!item(1).unread);
        QCOMPARE(unread(1), 1);
        QCOMPARE(changed.count(), 1);
        f->reader->timeline().select(1);
        f->reader->timeline().select(std::nullopt);
        f->reader->timeline().select(1);
        QTRY_VERIFY(f->sandbox.manager.idle());
        QVERIFY(!f->sandbox.server->store().itemState(1)->unread);
        QCOMPARE(f->count(news + "/items/1/read"), 1);
    }

    void successfulChangesReachTheServer()
    {
        showSource(Source::all());
        f->reader->marker().toggleStarred(item(5));
        QCOMPARE(f->reader->subscriptions().starredCount(), 4);
        QTRY_VERIFY(f->sandbox.server->store().itemState(5)->starred);
        f->reader->marker().toggleRead(item(3)); // read → unread
        QCOMPARE(unread(1), 3);
        QTRY_VERIFY(f->sandbox.server->store().itemState(3)->unread);
        QVERIFY(!said(*f->reader));
    }

    void unreadCountsNeverGoBelowZero()
    {
        f->reader->subscriptions().adjustUnread(5, -50);
        QCOMPARE(unread(5), 0);
        f->reader->subscriptions().adjustUnread(7, 2); // unknown count counts as 0
        QCOMPARE(unread(7), 2);
        const qint64 everything = f->reader->subscriptions().count(Source::allUnread());
        f->reader->subscriptions().adjustUnread(999, 1); // no such feed: nothing
        QCOMPARE(f->reader->subscriptions().count(Source::allUnread()), everything);
    }

    void steppingStopsAtTheEnds()
    {
        showSource(Source::all());
        const QList<qint64> ids = shownIds();
        f->reader->timeline().selectPrevious();
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids.first()));
        f->reader->timeline().selectPrevious();
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids.first()));
        f->reader->timeline().selectNext();
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids[1]));
        f->reader->timeline().select(ids.last());
        f->reader->timeline().selectNext();
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids.last()));
        f->reader->timeline().select(12345); // not in the list: next starts at the top
        f->reader->timeline().selectNext();
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids.first()));
    }

    void nextUnreadDoesNotWrap()
    {
        showSource(Source::all());
        const QList<qint64> ids = shownIds();
        f->reader->timeline().selectNextUnread();
        const qint64 firstUnread = *f->reader->timeline().selectedId();
        QVERIFY(!item(firstUnread).unread); // selecting marked it read
        // From the last item nothing follows, even with unread items above.
        f->reader->timeline().select(ids.last());
        f->reader->timeline().selectNextUnread();
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids.last()));
    }

    void markAllReadSendsTheLargestId()
    {
        showSource(Source::feed(1));     // unread 1, 2
        f->reader->timeline().select(1); // read locally, still listed
        QTRY_COMPARE(f->count(news + "/items/1/read"), 1);
        f->sandbox.server->clearRequests();
        f->reader->marker().markAllRead();
        QVERIFY(!item(2).unread);
        QCOMPARE(unread(1), 0);
        QTRY_COMPARE(f->sandbox.requests().size(), size_t(1));
        QCOMPARE(f->sandbox.requests().front().target, news + "/feeds/1/read");
        QCOMPARE(f->sandbox.requests().front().body, R"({"newestItemId":2})");
    }

    void markAllReadWithNothingSendsNothing()
    {
        showSource(Source::feed(7)); // no items
        const int sent = f->sandbox.manager.sent;
        f->reader->marker().markAllRead();
        f->reader->timeline().selectSource(std::nullopt);
        f->reader->marker().markAllRead();
        QCOMPARE(f->sandbox.manager.sent, sent);
        QVERIFY(f->sandbox.requests().empty());
    }

    void markAllReadOnStarredNamesItsItems()
    {
        showSource(Source::starred()); // 2 and 17 (unread), 7 (read)
        f->reader->marker().markAllRead();
        QVERIFY(!item(2).unread && !item(17).unread);
        QTRY_VERIFY(!f->sandbox.server->store().itemState(17)->unread);
        QCOMPARE(f->count(news + "/items/read/multiple"), 1);
        for (const sandbox::LoggedRequest& request : f->sandbox.requests())
            if (request.target == news + "/items/read/multiple")
                QCOMPARE(QString::fromStdString(request.body), u"{\"itemIds\":[2,17]}"_s);
        // No mark-all call, and no call per item.
        QCOMPARE(f->count(news + "/items/read"), 1);
        QCOMPARE(f->count(news + "/items/2/read"), 0);
    }

    void openLinkUsesTheServersItem()
    {
        showSource(Source::feed(1));
        const QList<Item> items = f->reader->timeline().items();
        await(f->reader->openLink(LumbraLink(5, std::nullopt)));
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(5));
        QCOMPARE(f->reader->timeline().selectedItem()->title,
                 std::optional(u"Tardigrades survive the vacuum of space"_s));
        QCOMPARE(f->reader->timeline().items(), items);
        QCOMPARE(f->reader->timeline().source(), std::optional(Source::feed(1)));
        QVERIFY(f->sandbox.server->store().itemState(5)->unread); // not marked read

        // Shown both in the list and as linked: starring changes both copies.
        f->reader->timeline().selectSource(Source::feed(2));
        QTRY_VERIFY(!f->reader->timeline().loadingItems() && shownIds().contains(5));
        f->reader->timeline().select(5);
        f->reader->marker().toggleStarred(item(5));
        QVERIFY(item(5).starred);
        QVERIFY(f->reader->timeline().linked()->starred);
    }

    void openLinkFallsBack()
    {
        const QUrl article(u"https://example.org/gone"_s);
        await(f->reader->openLink(LumbraLink(999, article)));
        QCOMPARE(f->browser.opened, QList<QUrl>{article});
        QVERIFY(!said(*f->reader));
        await(f->reader->openLink(LumbraLink(999, std::nullopt)));
        QCOMPARE(said(*f->reader), std::optional(u"Can't find that article in News any more."_s));
        f->sandbox.server->setFault("items", {500, 0, {}, -1}); // a failed lookup too
        await(f->reader->openLink(LumbraLink(5, article)));     // the same address: once a minute
        const QUrl other(u"https://example.org/other"_s);
        await(f->reader->openLink(LumbraLink(5, other)));
        QCOMPARE(f->browser.opened, (QList<QUrl>{article, other}));
    }

    // Every path that hands an address to the desktop: open in browser, a clicked link (and
    // the share menu's mail), an item link's fallback and the login page a server names.
    void theDesktopGetsOnlyWebAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("opened");
        QTest::newRow("https") << u"https://example.org/a"_s << true;
        QTest::newRow("http") << u"http://example.org/a"_s << true;
        QTest::newRow("file") << u"file:///etc/passwd"_s << false;
        QTest::newRow("smb") << u"smb://evil.example/share/payload.desktop"_s << false;
        QTest::newRow("javascript") << u"javascript:alert(1)"_s << false;
        QTest::newRow("custom scheme") << u"steam://run/1"_s << false;
        QTest::newRow("no host") << u"https:///path"_s << false;
        QTest::newRow("not a url") << u"not a url"_s << false;
    }

    void mailLinksCarryOnlyAddressesSubjectBodyAndCc_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("opened"); // encoded; empty when nothing opens
        const QString to = u"mailto:editor@example.org"_s;
        QTest::newRow("plain") << to + u"?subject=Hi"_s << to + u"?subject=Hi"_s;
        QTest::newRow("attach") << to + u"?subject=Hi&attach=/etc/passwd"_s
                                << to + u"?subject=Hi"_s;
        QTest::newRow("attachment, any case")
            << to + u"?ATTACHMENT=%2Fetc%2Fpasswd&Attach=~/.ssh/id_rsa&body=text"_s
            << to + u"?body=text"_s;
        QTest::newRow("encoded header name")
            << to + u"?%61ttach=/etc/passwd&%73ubject=x"_s << to + u"?subject=x"_s;
        QTest::newRow("bcc, from, in-reply-to, unknown")
            << to + u"?bcc=spy@example.net&from=me@example.org&in-reply-to=%3Cid%3E&x-y=1"
                    u"&cc=boss@example.org"_s
            << to + u"?cc=boss@example.org"_s;
        QTest::newRow("& smuggled inside a value")
            << to + u"?subject=Hi%26attach%3D%2Fetc%2Fpasswd"_s
            << to + u"?subject=Hi%26attach%3D%2Fetc%2Fpasswd"_s;
        QTest::newRow("? smuggled inside the address")
            << u"mailto:a@example.org%3Fattach%3D%2Fetc%2Fpasswd"_s << QString();
        QTest::newRow("header in an address")
            << u"mailto:a@example.org,b%0D%0Abcc:spy@example.net?subject=x"_s
            << u"mailto:a@example.org?subject=x"_s;
        QTest::newRow("repeated parameters keep the first")
            << to + u"?subject=one&subject=two&body=a&body=b"_s << to + u"?subject=one&body=a"_s;
        QTest::newRow("several recipients")
            << u"mailto:a@example.org,b@example.org?to=c@example.org,a@example.org"_s
            << u"mailto:a@example.org,b@example.org,c@example.org"_s;
        QTest::newRow("very long body")
            << to + u"?body="_s + QString(20000, u'x') << to + u"?body="_s + QString(8000, u'x');
        QTest::newRow("a link sent by mail")
            << u"mailto:?body=https%3A%2F%2Fexample.org%2Fa%3Fx%3D1%26y%3D2"_s
            << u"mailto:?body=https%3A%2F%2Fexample.org%2Fa%3Fx%3D1%26y%3D2"_s;
        QTest::newRow("only an attachment") << u"mailto:?attach=/etc/passwd"_s << QString();
        // A subject is one line of words; a body's lines end as RFC 6068 has them.
        QTest::newRow("headers and controls in the subject")
            << to + u"?subject=Hi%0D%0ABcc:spy@example.net%00%E2%80%AEtxt.exe%C2%85"_s
            << to + u"?subject=Hi%20%20Bcc%3Aspy%40example.nettxt.exe"_s;
        QTest::newRow("line breaks in the body")
            << to + u"?body=one%0Atwo%0Dthree%0D%0Afour%00%09five"_s
            << to + u"?body=one%0D%0Atwo%0D%0Athree%0D%0Afour%09five"_s;
        QTest::newRow("a bidi control or C1 control in an address")
            << u"mailto:a%E2%80%AE@example.org,b%C2%85@example.org,c@example.org"_s
            << u"mailto:c@example.org"_s;
    }

    // What reaches the mail program through every way out: a clicked link and the
    // article's own address.
    void mailLinksCarryOnlyAddressesSubjectBodyAndCc()
    {
        QFETCH(QString, link);
        QFETCH(QString, opened);
        const QUrl url(link);
        f->reader->openUrl(url);
        Item item{1, 1, {}, link, {}, {}, {}, true, false};
        f->reader->openInBrowser(item);
        if (opened.isEmpty()) {
            QVERIFY(f->browser.opened.isEmpty());
            QVERIFY(said(*f->reader)->contains(u"names no mail address"_s));
            return;
        }
        QCOMPARE(f->browser.opened.size(), 2);
        for (const QUrl& sent : std::as_const(f->browser.opened))
            QCOMPARE(QString::fromLatin1(sent.toEncoded()), opened);
    }

    void theDesktopGetsOnlyWebAddresses()
    {
        QFETCH(QString, address);
        QFETCH(bool, opened);
        const QUrl url(address, QUrl::StrictMode);
        const QList<QUrl> expected = opened ? QList<QUrl>{url} : QList<QUrl>{};

        Item item{1, 1, {}, address, {}, {}, {}, true, false};
        f->reader->openInBrowser(item);
        QCOMPARE(f->browser.opened, expected);
        QCOMPARE(articleUrl(item).has_value(), opened);
        if (!opened && url.isValid())
            QVERIFY(said(*f->reader)->startsWith(u"Lumbra opens only web and mail addresses"_s));

        f->browser.opened.clear();
        f->reader->openUrl(url);
        QCOMPARE(f->browser.opened, expected);

        f->browser.opened.clear();
        f->sandbox.server->setLoginPage(address.toStdString());
        f->reader->session().logOut();
        f->reader->session().startLogin(f->sandbox.account().server);
        QTRY_VERIFY(f->reader->session().login() != LoginState::waiting() ||
                    !f->browser.opened.isEmpty());
        QCOMPARE(f->browser.opened, expected);
        if (!opened)
            QCOMPARE(loginText(*f->reader), u"The server's login page is not a web address, so "
                                            "it was not opened."_s);
        f->reader->session().cancelLogin();
    }

    void mailGoesToTheMailProgram()
    {
        const QUrl mail(u"mailto:?body=https%3A%2F%2Fexample.org%2Fa"_s);
        f->reader->openUrl(mail);
        QCOMPARE(f->browser.opened, QList<QUrl>{mail});
        QVERIFY(!said(*f->reader));
        f->browser.handlesMail = false; // no mail program set up
        f->reader->openUrl(mail);
        QVERIFY(said(*f->reader)->startsWith(u"No mail program is set up"_s));
    }

    void aSearchNarrowsWhatIsShownAndWalked()
    {
        showSource(Source::all());
        const qsizetype all = f->reader->timeline().items().size();
        f->reader->timeline().search().setQuery(u"perez"_s); // "Ada Pérez"
        QCOMPARE(shownTitles(),
                 (QStringList{u"Structured concurrency in C++20"_s, u"Release notes 4.2"_s}));
        QCOMPARE(f->reader->timeline().items().size(), all); // a view of the list, not a new list
        const QList<qint64> ids = shownRowIds();
        f->reader->timeline().selectNext();
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids[0]));
        f->reader->timeline().selectNext();
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids[1]));
        f->reader->timeline().selectNext(); // the end of the shown rows
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids[1]));
        f->reader->timeline().selectPrevious();
        QCOMPARE(f->reader->timeline().selectedId(), std::optional(ids[0]));

        // Typing on narrows; clearing shows everything again.
        f->reader->timeline().search().setQuery(u"perez release"_s);
        QCOMPARE(shownTitles(), QStringList{u"Release notes 4.2"_s});
        f->reader->timeline().search().setQuery(u""_s);
        QVERIFY(!f->reader->timeline().search().searching());
        QCOMPARE(f->reader->timeline().search().shownCount(), all);
    }

    void nextUnreadWalksTheShownRows()
    {
        showSource(Source::all());
        f->reader->timeline().search().setQuery(u"dr lin wei"_s); // the science feed's author
        const QList<qint64> ids = shownRowIds();
        QVERIFY(ids.size() >= 2);
        f->reader->timeline().selectNextUnread();
        const std::optional<qint64> first = f->reader->timeline().selectedId();
        QVERIFY(first && ids.contains(*first));
        f->reader->timeline().selectNextUnread();
        QVERIFY(!f->reader->timeline().selectedId() ||
                ids.contains(*f->reader->timeline().selectedId()));
    }

    void markAllReadWithASearchMarksOnlyTheShown()
    {
        showSource(Source::all());
        const QList<qint64> before = shownIds();
        f->reader->timeline().search().setQuery(u"geneva"_s); // "Talks resume in Geneva", unread
        const QList<qint64> shown = shownRowIds();
        QCOMPARE(shown.size(), 1);
        QList<qint64> othersUnread;
        for (const Item& one : f->reader->timeline().items())
            if (one.unread && !shown.contains(one.id)) othersUnread << one.id;
        f->reader->marker().markAllRead();
        QVERIFY(!item(shown[0]).unread);
        QTRY_COMPARE(f->count("/index.php/apps/news/api/v1-3/items/read/multiple"), 1);
        QCOMPARE(f->sandbox.requests().back().body,
                 "{\"itemIds\":[" + std::to_string(shown[0]) + "]}");
        QCOMPARE(f->count("/index.php/apps/news/api/v1-3/items/read"), 1); // no mark-all
        for (const qint64 id : othersUnread)
            QVERIFY(item(id).unread);
        QCOMPARE(shownIds(), before);
        // The server changed exactly that item.
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QVERIFY(!item(shown[0]).unread);
        for (const qint64 id : othersUnread)
            QVERIFY(item(id).unread);
    }

    void aRefusedBatchIsUndone()
    {
        showSource(Source::all());
        f->reader->timeline().search().setQuery(u"geneva"_s);
        const qint64 id = shownRowIds().value(0);
        f->sandbox.server->setFault("items-read-multiple", {500, 0, {}, -1});
        f->reader->marker().markAllRead();
        QVERIFY(!item(id).unread);
        QTRY_VERIFY(item(id).unread);
        QVERIFY(said(*f->reader).has_value());
    }

    void manyShownAreSentInBatches()
    {
        for (int n = 0; n < 2500; ++n) {
            f->sandbox.server->store().addItem({.id = 10'000 + n,
                                                .feedId = 1,
                                                .guid = "batch" + std::to_string(n),
                                                .title = "Batchword " + std::to_string(n),
                                                .pubDate = 1'700'000'000 - n},
                                               0);
        }
        showSource(Source::all());
        f->reader->timeline().search().setQuery(u"batchword"_s);
        QTRY_COMPARE(f->reader->timeline().search().shownCount(),
                     2500); // texts of a long list are made on a worker
        f->reader->marker().markAllRead();
        QTRY_COMPARE(f->count("/index.php/apps/news/api/v1-3/items/read/multiple"), 3);
        for (qsizetype row = 0; row < f->reader->timeline().search().shownCount(); ++row)
            QVERIFY(!f->reader->timeline().search().shownItem(row).unread);
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QTRY_COMPARE(f->reader->timeline().search().shownCount(), 2500);
        for (qsizetype row = 0; row < f->reader->timeline().search().shownCount(); ++row)
            QVERIFY(!f->reader->timeline().search().shownItem(row).unread);
    }

    // Texts made on a worker while the list changes: a flag changed meanwhile keeps every
    // text in its row, and a list replaced meanwhile has its texts lined up again.
    void textsMadeWhileTheListChanges()
    {
        Subscriptions subscriptions;
        QList<Item> items;
        for (int n = 0; n < 10'000; ++n) // 10 MB of text: made on a worker
            items.append({.id = n + 1,
                          .feedId = 1,
                          .title = u"Title%1 of many"_s.arg(n),
                          .body = ArticleBody(QByteArray(1000, 'x'))});
        TimelineSearch search(items, subscriptions);
        await(search.prepareTexts()); // a first load
        search.setQuery(u"title7"_s);
        const auto shownTitles = [&] {
            QStringList titles;
            for (qsizetype row = 0; row < search.shownCount(); ++row)
                titles << *search.shownItem(row).title;
            return titles;
        };
        const QStringList before = shownTitles();
        QCOMPARE(before.size(), 1111); // 7, 70 to 79, 700 to 799, 7000 to 7999

        QCoro::Task<> making = search.prepareTexts(); // a refresh: every text known
        QVERIFY(!search.ready());
        items[70].unread = true;
        items[7001].starred = true;
        await(std::move(making));
        QCOMPARE(shownTitles(), before);

        making = search.prepareTexts();
        std::reverse(items.begin(), items.end());
        search.listReplaced();
        await(std::move(making));
        QStringList reversed = before;
        std::reverse(reversed.begin(), reversed.end());
        QCOMPARE(shownTitles(), reversed);

        // A body or a title changed on the server is searched as it now reads.
        items[0].body = ArticleBody(QByteArray("<p>A zebra crossing</p>"));
        items[1].title = u"Zebra"_s;
        items[2].body = ArticleBody(QByteArray(1000, 'x')); // the same text, read anew
        search.listReplaced();
        await(search.prepareTexts());
        search.setQuery(u"zebra"_s);
        QCOMPARE(shownTitles(), QStringList({*items[0].title, u"Zebra"_s}));
        search.setQuery(u"title7"_s);
        QCOMPARE(shownTitles().size(), 1111);
    }

    // A list whose items and texts are those of the last, only flags changed (articles read
    // elsewhere), keeps every search text; anything a text is made of makes them again.
    void aListWithOtherFlagsKeepsItsTexts_data()
    {
        using Change = std::function<void(QList<Item>&)>;
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("kept");
        QTest::newRow("nothing") << Change([](QList<Item>&) {}) << true;
        QTest::newRow("read, starred") << Change([](QList<Item>& items) {
            items[0].unread = false;
            items[1].starred = true;
        }) << true;
        QTest::newRow("the same body, sent again")
            << Change([](QList<Item>& items) { items[1].body = ArticleBody("<p>Two</p>"); })
            << true;
        QTest::newRow("a body") << Change([](QList<Item>& items) {
            items[1].body = ArticleBody("<p>Zwei</p>");
        }) << false;
        QTest::newRow("a title") << Change([](QList<Item>& items) { items[0].title = u"Eins"_s; })
                                 << false;
        QTest::newRow("an author")
            << Change([](QList<Item>& items) { items[0].author = u"B"_s; }) << false;
        QTest::newRow("moved to another feed")
            << Change([](QList<Item>& items) { items[0].feedId = 2; }) << false;
        QTest::newRow("another order")
            << Change([](QList<Item>& items) { std::swap(items[0], items[1]); }) << false;
        QTest::newRow("one more") << Change([](QList<Item>& items) {
            items.append({.id = 3, .feedId = 1});
        }) << false;
    }

    void aListWithOtherFlagsKeepsItsTexts()
    {
        QFETCH(std::function<void(QList<Item>&)>, change);
        QFETCH(bool, kept);
        const QList<Item> before{
            {.id = 1, .feedId = 1, .title = u"One"_s, .author = u"A"_s, .unread = true},
            {.id = 2, .feedId = 1, .title = u"Two"_s, .body = ArticleBody("<p>Two</p>")}};
        QList<Item> after = before;
        change(after);
        QCOMPARE(TimelineSearch::sameTexts(before, after), kept);

        if (!kept) return;
        QList<Item> items = before;
        Subscriptions subscriptions;
        TimelineSearch search(items, subscriptions);
        await(search.prepareTexts());
        search.setQuery(u"o"_s);
        QCOMPARE(search.shownUnreadCount(), 1);
        items = after;
        search.flagsReplaced();
        QCOMPARE(search.shownCount(), 2);
        QCOMPARE(search.shownUnreadCount(), after[0].unread ? 1 : 0);
    }

    // Work nobody waits on runs below the window's thread and the article's renderer; the
    // shared pool's threads, which the window waits on, stay where they were.
    void unhurriedWorkYieldsTheCores()
    {
        const auto nice = [] { return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())); };
        const int here = nice();
        QCOMPARE(await(unhurriedWhenLarge(1, 2, nice)), here); // small: done at once
        for (int run = 0; run < 4; ++run)                      // every thread the pool may start
            QCOMPARE(await(unhurriedWhenLarge(2, 2, nice)), std::max(here, 10));
        for (int run = 0; run < 4; ++run)
            QCOMPARE(await(onWorker(nice)), here);
    }

    void theSearchOutlivesRefreshesAndSources()
    {
        showSource(Source::all());
        f->reader->timeline().search().setQuery(u"dr lin wei"_s);
        const QStringList titles = shownTitles();
        f->reader->session().refresh();
        QTRY_VERIFY(!f->reader->session().refreshing());
        QCOMPARE(f->reader->timeline().search().query(), u"dr lin wei"_s);
        QCOMPARE(shownTitles(), titles);
        showSource(Source::feed(1)); // Planet Code: nothing by that author
        QCOMPARE(f->reader->timeline().search().query(), u"dr lin wei"_s);
        QVERIFY(f->reader->timeline().search().searching());
        QCOMPARE(f->reader->timeline().search().shownCount(), 0);
        showSource(Source::feed(2));
        QCOMPARE(shownTitles().size(), titles.size());
        // ...but not a log out: the next account starts unsearched.
        f->reader->session().logOut();
        QCOMPARE(f->reader->timeline().search().query(), QString());
        QVERIFY(!f->reader->timeline().search().searching());
    }

    void derivedValues_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<QString>("title");
        QTest::addColumn<qint64>("count");
        QTest::newRow("all unread") << Source::allUnread() << u"All Unread"_s << qint64(11);
        QTest::newRow("all") << Source::all() << u"All Articles"_s << qint64(11);
        QTest::newRow("starred") << Source::starred() << u"Starred"_s << qint64(3);
        QTest::newRow("folder") << Source::folder(1) << u"Tech & Science"_s << qint64(4);
        QTest::newRow("empty folder") << Source::folder(3) << u"Empty Folder"_s << qint64(0);
        QTest::newRow("unknown folder") << Source::folder(99) << u"Folder"_s << qint64(0);
        QTest::newRow("feed") << Source::feed(4) << u"日本語ニュース"_s << qint64(1);
        QTest::newRow("feed without count") << Source::feed(7) << u"Just Added"_s << qint64(0);
        QTest::newRow("unknown feed") << Source::feed(99) << u"Feed"_s << qint64(0);
    }

    void derivedValues()
    {
        QFETCH(Source, source);
        QFETCH(QString, title);
        QFETCH(qint64, count);
        QCOMPARE(Wording::sourceTitle(source, f->reader->subscriptions().name(source)), title);
        QCOMPARE(f->reader->subscriptions().count(source), count);
    }

    void choosingTheSameSourceChangesNothing()
    {
        f->reader->timeline().select(1);
        QSignalSpy items(&f->reader->timeline(), &Timeline::itemsChanged);
        f->reader->timeline().selectSource(Source::allUnread());
        QCOMPARE(items.count(), 0);
        QCOMPARE(f->reader->timeline().selectedId(), std::optional<qint64>(1));
        f->reader->timeline().selectSource(Source::starred());
        QVERIFY(f->reader->timeline().items().isEmpty());
        QVERIFY(!f->reader->timeline().selectedId());
    }
};

QTEST_GUILESS_MAIN(ReaderActionsTest)
#include "tst_reader_actions.moc"

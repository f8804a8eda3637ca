#include "DemoData.h"

#include <algorithm>
#include <array>
#include <random>

namespace sandbox {

std::string_view demoImage()
{
    static constexpr unsigned char png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x02, 0x00, 0x00,
        0x00, 0x90, 0x91, 0x68, 0x36, 0x00, 0x00, 0x00, 0x16, 0x49, 0x44, 0x41, 0x54, 0x78,
        0xda, 0x63, 0xd8, 0xe2, 0xae, 0x4d, 0x12, 0x62, 0x18, 0xd5, 0x30, 0xaa, 0x61, 0xf8,
        0x6a, 0x00, 0x00, 0xd6, 0x6e, 0x26, 0x10, 0x3d, 0x65, 0xf3, 0x69, 0x00, 0x00, 0x00,
        0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    return {reinterpret_cast<const char*>(png), sizeof png};
}

namespace {

constexpr int64_t minute = 60;
constexpr int64_t hour = 60 * minute;
constexpr int64_t day = 24 * hour;

struct DemoArticle {
    int64_t feedId;
    const char* title;
    const char* author; // nullptr: none
    int64_t age;        // seconds before now; negative is in the future
    const char* body;
    bool unread;
    bool starred;
};

} // namespace

const std::vector<SubscribableFeed>& subscribableFeeds()
{
    static const std::vector<SubscribableFeed> feeds{
        {"field-notes",
         "Field Notes",
         {{0, 0, "field-notes-1", "https://field.example/moss", "Moss on the north side",
           "Ana Ruiz", std::nullopt, "<p>Moss grows where the sun stays away longest.</p>",
           std::nullopt, std::nullopt, true, false},
          {0, 0, "field-notes-2", "https://field.example/tides", "Reading the tides", "Ana Ruiz",
           std::nullopt, "<p>Twice a day the bay empties and fills.</p>", std::nullopt,
           std::nullopt, true, false}}},
        {"release-log",
         "Release Log",
         {{0, 0, "release-log-1", "https://releases.example/2-0", "Version 2.0 is out",
           std::nullopt, std::nullopt, "<p>Faster start, fewer surprises.</p>", std::nullopt,
           std::nullopt, true, false}}},
    };
    return feeds;
}

std::string subscribableDocument(const SubscribableFeed& feed, const std::string& baseUrl)
{
    std::string document = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\">"
                           "<channel><title>" +
                           feed.title + "</title><link>" + baseUrl + "/subscribable/</link>";
    for (const ItemRecord& item : feed.items)
        document += "<item><title>" + item.title.value_or("") + "</title><link>" +
                    item.url.value_or("") + "</link><guid>" + item.guid + "</guid></item>";
    return document + "</channel></rss>\n";
}

std::string subscribableSite(const std::string& baseUrl)
{
    std::string links;
    for (const SubscribableFeed& feed : subscribableFeeds())
        links += "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"" + feed.title +
                 "\" href=\"" + baseUrl + "/subscribable/" + feed.slug + ".xml\">";
    return "<!doctype html><html><head><title>Subscribable feeds</title>" + links +
           "</head><body><h1>Feeds to subscribe to</h1></body></html>";
}

std::string subscribableRelativeSite(const std::string& baseUrl)
{
    return "<!doctype html><html><head><title>A site with feeds</title>"
           "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"Field Notes (RSS)\" "
           "href=\"../field-notes.xml\">"
           "<link rel=\"alternate\" type=\"application/atom+xml\" title=\"Releases \u2014 Atom\" "
           "href=\"" +
           baseUrl +
           "/subscribable/release-log.xml\">"
           "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"Field Notes again\" "
           "href=\"/subscribable/field-notes.xml\">"
           "<link rel=\"stylesheet\" href=\"style.css\"></head>"
           "<body><h1>Site</h1><p>No feed here, only links to them.</p></body></html>";
}

void seedDemo(NewsStore& store, const std::string& baseUrl, int64_t now)
{
    store.addFolder({1, "Tech & Science"});
    store.addFolder({2, "World"});
    store.addFolder({3, "Empty Folder"});

    const auto icon = [&](const char* name) { return baseUrl + "/favicons/" + name + ".png"; };
    store.addFeed({1, "https://code.example/feed.xml", "Planet Code", icon("code"),
                   "https://code.example/", 1, now - 90 * day});
    store.addFeed({2, "https://science.example/atom", "Science Notes", icon("science"),
                   "https://science.example/", 1, now - 80 * day});
    store.addFeed({3, "https://world.example/rss", "World Report", icon("world"),
                   "https://world.example/", 2, now - 70 * day});
    store.addFeed({4, "https://nihongo.example/feed", "日本語ニュース", icon("nihongo"),
                   "https://nihongo.example/", 2, now - 60 * day});
    store.addFeed({5, "https://links.example/rss", "Daily Links", std::nullopt,
                   "https://links.example/", std::nullopt, now - 50 * day});
    store.addFeed({6, "https://photo.example/feed", "Photo Walks", icon("photo"), std::nullopt,
                   std::nullopt, now - 40 * day});
    FeedRecord fresh{7,
                     "https://fresh.example/feed",
                     "Just Added",
                     std::nullopt,
                     "https://fresh.example/",
                     std::nullopt,
                     now - minute};
    fresh.unreadCountUnknown = true;
    store.addFeed(fresh);

    const std::string image = baseUrl + "/images/demo.png";
    const std::string pictureBody = "<p>The light this morning was soft.</p><img src=\"" + image +
                                    "\" alt=\"A red square\" width=\"320\"><p>More on the <a "
                                    "href=\"https://photo.example/walks\">walks page</a>.</p>";
    const std::string tardigradeBody =
        "<p>The tiny animals <b>endure</b> extremes: −272 °C, 150 °C and radiation.</p>"
        "<img src=\"" +
        image + "\" alt=\"tardigrade\">";
    const DemoArticle articles[] = {
        {1, "Structured concurrency in C++20", "Ada Pérez", 12 * minute,
         "<p>Coroutines make asynchronous code read top to bottom.</p>"
         "<pre><code>co_await reply;\nif (reply-&gt;error()) throw Failure{};</code></pre>"
         "<p>See the <a href=\"https://code.example/coroutines\">full write-up</a>.</p>",
         true, false},
        {1, "Why your build is slow &amp; what to do", "Planet Code", 3 * hour,
         "<p>Precompiled headers, unity builds &mdash; and <em>measuring first</em>.</p>"
         "<script>document.title='pwned'</script><p>Numbers &#8212; always numbers.</p>",
         true, true},
        {1, "Reading a 500 MB JSON reply", nullptr, 2 * day,
         "<p>SIMD parsers read gigabytes per second.</p><blockquote>Simplicity is "
         "prerequisite for reliability.</blockquote><p>&lt;not a tag&gt; stays text.</p>",
         false, false},
        {1, "Release notes 4.2", "Ada Pérez", 20 * day,
         "<ul><li>Faster start</li><li>Fewer crashes</li></ul>", false, false},
        {2, "Tardigrades survive the vacuum of space", "Dr. Lin Wei", 45 * minute,
         tardigradeBody.c_str(), true, false},
        {2, "A new look at dark matter", "Dr. Lin Wei", 5 * day,
         "<p>Three experiments, one puzzle. “Either the models are wrong, or we are.”</p>", true,
         false},
        {2, "The chemistry of coffee", nullptr, 40 * day,
         "<p>Over 800 aroma compounds &ndash; <i>roasting</i> makes most of them.</p>", false,
         true},
        {3, "Talks resume in Geneva", "World Desk", 30 * minute,
         "<p>Negotiators met again on Monday.</p><p>Quote: <q>We are closer.</q></p>", true, false},
        {3, "Elections: what to watch", "world report", 6 * hour,
         "<p>Turnout, coalitions and the youth vote.</p>", true, false},
        {3, "Markets close higher", nullptr, 3 * day, "<p>Stocks rose 1.2&nbsp;%.</p>", false,
         false},
        {3, "Embargoed: summit schedule", "World Desk", -2 * day,
         "<p>This piece is dated in the future and waits at the end of the list.</p>", true, false},
        {4, "東京で桜が満開", "山田太郎", 2 * hour,
         "<p>今年の桜は例年より早く満開になりました。</p><p>Ünïcödé — ÄÖÜ ß 🎉</p>", true, false},
        {4, "新しい駅が開業", nullptr, 9 * day, "<p>駅は午前6時に開業します。</p>", false, false},
        {5, "Ten links for the weekend", "Daily Links", 8 * minute,
         "<ol><li><a href=\"https://a.example/\">First</a></li><li><a "
         "href=\"https://b.example/\" target=\"_blank\">Second</a></li><li><a "
         "href=\"mailto:hello@links.example\">Write to us</a></li></ol>",
         true, false},
        {5, "An article without a title's body", nullptr, 4 * day, nullptr, true, false},
        {5, "", "Daily Links", 100 * day, "<p>Untitled on the server.</p>", false, false},
        {6, "Morning by the river", "Sam", 1 * day, pictureBody.c_str(), true, true},
        {6, "Fog, again", "Sam", 60 * day,
         "<p>Long exposure, f/8, 30 s.</p><table><tr><td>ISO</td><td>100</td></tr></table>", false,
         false},
    };

    int64_t id = 1;
    for (const DemoArticle& article : articles) {
        ItemRecord item;
        item.id = id++;
        item.feedId = article.feedId;
        item.guid = "demo-" + std::to_string(item.id);
        item.url = "https://feed" + std::to_string(article.feedId) + ".example/articles/" +
                   std::to_string(item.id);
        if (*article.title) item.title = article.title;
        if (article.author) item.author = article.author;
        item.pubDate = now - article.age;
        if (article.body) item.body = article.body;
        item.unread = article.unread;
        item.starred = article.starred;
        if (item.id == 2) {
            item.enclosureMime = "audio/mpeg";
            item.enclosureLink = "https://code.example/episode2.mp3";
        }
        // Fetched when published, or now for one dated ahead: a server never stamps the future.
        store.addItem(item, now - std::max<int64_t>(article.age, 0));
    }
}

void addLongRead(NewsStore& store, int64_t now)
{
    store.addFeed({900, "https://long.example/feed", "Long Reads", std::nullopt,
                   "https://long.example/", std::nullopt, now - 30 * day});
    static constexpr std::array<const char*, 4> headings = {"At dawn", "By noon", "At dusk",
                                                            "After dark"};
    static constexpr std::array<const char*, 6> sentences = {
        "The path climbs past the old mill and the river turns below it",
        "Nobody else is out yet so every sound carries across the valley",
        "A heron stands in the shallows and does not move for a long time",
        "The stones are wet and the moss on their north side is darker",
        "Somewhere behind the hill a bell rings the hour twice",
        "We stop to drink and watch the light change on the water"};
    std::string body;
    for (size_t h = 0; h < headings.size(); ++h) {
        body += std::string("<h2>") + headings[h] + "</h2>";
        for (size_t p = 0; p < 5; ++p) {
            body += "<p>";
            // Each paragraph numbered in its first sentence, so a reader can tell where it is.
            body += "Part " + std::to_string(h * 5 + p + 1) + ". ";
            for (size_t s = 0; s < 12; ++s)
                body += std::string(sentences[(h + p + s) % sentences.size()]) + ". ";
            body += "</p>";
        }
    }
    body += "<p>That is where the walk ends.</p>";
    ItemRecord item;
    item.id = 900;
    item.feedId = 900;
    item.guid = "long-read";
    item.url = "https://long.example/walk";
    item.title = "A walk of a day";
    item.author = "Ana Ruiz";
    item.pubDate = now - 5 * minute;
    item.body = std::move(body);
    item.unread = true;
    store.addItem(item, now - 5 * minute);
}

void generateItems(NewsStore& store, size_t count, uint64_t seed, int64_t now, int64_t firstId)
{
    static constexpr std::array<const char*, 32> words = {
        "reader",  "server",    "feed",     "article",  "quote",   "vault",  "note",   "link",
        "morning", "evening",   "science",  "code",     "river",   "market", "garden", "signal",
        "Zürich",  "café",      "naïve",    "東京",     "données", "λόγος",  "мир",    "فكرة",
        "quickly", "carefully", "together", "tomorrow", "and",     "the",    "of",     "with"};
    std::mt19937_64 random(seed);
    const auto pick = [&](uint64_t n) { return random() % n; };

    constexpr int folders = 6;
    constexpr int feeds = 24;
    for (int f = 0; f < folders; ++f)
        store.addFolder({100 + f, "Generated folder " + std::to_string(f + 1)});
    for (int f = 0; f < feeds; ++f) {
        const std::string host = "gen" + std::to_string(f + 1) + ".example";
        store.addFeed({100 + f, "https://" + host + "/feed",
                       "Generated feed " + std::to_string(f + 1),
                       "https://" + host + "/favicon.ico", "https://" + host + "/",
                       f % 8 == 7 ? std::nullopt : std::optional<int64_t>(100 + f % folders),
                       now - 365 * day});
    }

    for (size_t i = 0; i < count; ++i) {
        ItemRecord item;
        item.id = firstId + int64_t(i);
        item.feedId = 100 + int64_t(pick(feeds));
        item.guid = "gen-" + std::to_string(item.id);
        item.url = "https://gen" + std::to_string(item.feedId - 99) + ".example/a/" +
                   std::to_string(item.id);
        std::string title;
        for (int w = 0, n = 3 + int(pick(8)); w < n; ++w)
            title += std::string(w ? " " : "") + words[pick(words.size())];
        item.title = title;
        if (pick(4)) item.author = std::string("Author ") + std::to_string(pick(200));
        item.pubDate = now - int64_t(pick(uint64_t(400 * day)));

        std::string body;
        const size_t target = 500 + pick(9500);
        while (body.size() < target) {
            body += "<p>";
            for (int w = 0, n = 20 + int(pick(60)); w < n; ++w) {
                if (w) body += ' ';
                const uint64_t kind = pick(40);
                if (kind == 0)
                    body += "<a href=\"https://example.org/" + std::to_string(pick(100000)) +
                            "\">" + words[pick(words.size())] + "</a>";
                else if (kind == 1)
                    body += "<code>x &lt; y</code>";
                else
                    body += words[pick(words.size())];
            }
            body += ".</p>\n";
            if (pick(6) == 0)
                body += "<img src=\"https://example.org/i/" + std::to_string(pick(1000)) +
                        ".jpg\" alt=\"\">";
        }
        item.body = std::move(body);
        item.unread = pick(3) != 0;
        item.starred = pick(50) == 0;
        store.addItem(item, *item.pubDate); // fetched when published, like the demo's
    }
}

} // namespace sandbox

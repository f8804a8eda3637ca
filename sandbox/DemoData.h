#pragma once

#include "NewsStore.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sandbox {

// A small set of feeds and articles that reads like a real subscription list: folders,
// feeds with and without folder, favicons, HTML bodies with images, links, code, quotes,
// entities, non-Latin text and a script, dates from minutes to months old and one ahead.
// `baseUrl` is the sandbox's own address, which serves the favicons and images.
void seedDemo(NewsStore& store, const std::string& baseUrl, int64_t now);

// `count` articles spread over 24 feeds in 6 folders, with bodies of realistic size
// (about 5 KB on average), the same for the same `seed`. Item ids start above `firstId`.
void generateItems(NewsStore& store, size_t count, uint64_t seed, int64_t now,
                   int64_t firstId = 1000);

// The feed "Long Reads" (id 900, no folder) with one unread article (id 900) of 3,000
// words: four headings ("At dawn", "By noon", "At dusk", "After dark"), each over five
// paragraphs, ending with the sentence "That is where the walk ends."
void addLongRead(NewsStore& store, int64_t now);

// Feeds the sandbox serves itself, to be subscribed from a local address: each document at
// "/subscribable/<slug>.xml" of the sandbox, and a site page at "/subscribable/" that links
// to them as a web site does.
struct SubscribableFeed {
    std::string slug;
    std::string title;
    std::vector<ItemRecord> items;
};
const std::vector<SubscribableFeed>& subscribableFeeds();
std::string subscribableDocument(const SubscribableFeed& feed, const std::string& baseUrl);
std::string subscribableSite(const std::string& baseUrl);
// A second site, at "/subscribable/relative/", whose first link is relative (as the real
// server fails on) and whose others are absolute and root-relative.
std::string subscribableRelativeSite(const std::string& baseUrl);

// A 16 × 16 PNG served for favicons and article images.
std::string_view demoImage();

} // namespace sandbox

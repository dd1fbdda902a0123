// The help topic table against the manual as shipped beside the program: every topic's
// page and section exist, every link of every page leads somewhere, every page can be
// reached from the contents, and the URLs are well formed.
#include "shell/help_topics.h"

#include "platform/file_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

namespace tessaly {
namespace {

const std::string kHelpDir = std::string(TESSALY_BIN_DIR) + "/help/";

std::string PageText(const std::string &file) {
    std::string text;
    EXPECT_TRUE(ReadWholeFile(kHelpDir + file, text)) << file;
    return text;
}

std::set<std::string> Ids(const std::string &html) {
    std::set<std::string> ids;
    static const std::regex id(R"re(\bid="([^"]+)")re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), id); it != std::sregex_iterator(); ++it)
        ids.insert((*it)[1]);
    return ids;
}

std::vector<std::string> Links(const std::string &html) {
    std::vector<std::string> links;
    static const std::regex href(R"re(\bhref="([^"]+)")re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), href); it != std::sregex_iterator(); ++it)
        links.push_back((*it)[1]);
    return links;
}

std::vector<std::string> Pages() {
    std::vector<std::string> pages;
    for (const auto &entry : std::filesystem::directory_iterator(kHelpDir))
        if (entry.path().extension() == ".html")
            pages.push_back(entry.path().filename().string());
    return pages;
}

TEST(HelpTopics, EveryTopicLeadsToAnExistingSection) {
    std::set<int32_t> seen;
    for (const THelpPage &page : HelpTopicTable()) {
        EXPECT_TRUE(seen.insert(page.Topic).second) << "topic " << page.Topic << " twice";
        const std::string html = PageText(page.File);
        if (*page.Anchor) {
            EXPECT_EQ(Ids(html).count(page.Anchor), 1u) << page.File << "#" << page.Anchor;
        }
    }
    // The numbers the windows use.
    EXPECT_STREQ(HelpPageOf(htProperties).File, "properties.html");
    EXPECT_STREQ(HelpPageOf(2000).File, "properties.html");
    EXPECT_STREQ(HelpPageOf(7000).Anchor, "reference");
    EXPECT_STREQ(HelpPageOf(9000).Anchor, "segments");
    // Unknown numbers open the contents.
    EXPECT_STREQ(HelpPageOf(0).File, "index.html");
    EXPECT_STREQ(HelpPageOf(-5).File, "index.html");
    EXPECT_STREQ(HelpPageOf(4242).File, "index.html");
}

TEST(HelpTopics, EveryLinkResolvesAndEveryPageIsReachable) {
    std::map<std::string, std::set<std::string>> ids;
    std::map<std::string, std::vector<std::string>> links;
    for (const std::string &page : Pages()) {
        const std::string html = PageText(page);
        ids[page] = Ids(html);
        links[page] = Links(html);
        EXPECT_NE(html.find("<title>"), std::string::npos) << page;
        EXPECT_NE(html.find("charset=\"utf-8\""), std::string::npos) << page;
    }
    ASSERT_TRUE(ids.count("index.html"));
    for (const auto &[page, targets] : links)
        for (const std::string &link : targets) {
            EXPECT_EQ(link.find("://"), std::string::npos) << page << ": the manual links only to itself: " << link;
            const size_t hash = link.find('#');
            const std::string file = hash == 0 ? page : link.substr(0, hash);
            EXPECT_TRUE(FileExists(kHelpDir + file)) << page << " -> " << link;
            if (hash != std::string::npos && ids.count(file)) {
                EXPECT_EQ(ids[file].count(link.substr(hash + 1)), 1u) << page << " -> " << link;
            }
        }
    // Walk the links from the contents page.
    std::set<std::string> reached{"index.html"};
    std::vector<std::string> todo{"index.html"};
    while (!todo.empty()) {
        const std::string page = todo.back();
        todo.pop_back();
        for (const std::string &link : links[page]) {
            const std::string file = link.substr(0, link.find('#'));
            if (links.count(file) && reached.insert(file).second)
                todo.push_back(file);
        }
    }
    for (const auto &[page, unused] : links)
        EXPECT_TRUE(reached.count(page)) << page << " cannot be reached from the contents";
}

TEST(HelpTopics, UrlsArePercentEncodedWithTheirSection) {
    SetProgramDirOverride("/opt/my tools/tessaly#2/");
    EXPECT_EQ(HelpFolder(), "/opt/my tools/tessaly#2/help/");
    EXPECT_EQ(HelpFileOf(htProperties), "/opt/my tools/tessaly#2/help/properties.html");
    EXPECT_EQ(HelpUrlOf(htProperties), "file:///opt/my%20tools/tessaly%232/help/properties.html");
    EXPECT_EQ(HelpUrlOf(htReference), "file:///opt/my%20tools/tessaly%232/help/tool-windows.html#reference");
    SetProgramDirOverride("/usr/lib/tessaly/\xC3\xA4/");
    EXPECT_EQ(HelpUrlOf(htContents), "file:///usr/lib/tessaly/%C3%A4/help/index.html");
    SetProgramDirOverride("");
}

} // namespace
} // namespace tessaly

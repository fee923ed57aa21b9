// The one parser of a search's mode, for capacity (recorded tracks at least)
// and table (play back only too), and what a mode makes of a count.
#include <gtest/gtest.h>

#include "search/search_settings.h"

namespace {

TEST(SearchMode, OneParserForBothCommands)
{
    struct Case {
        const char* text;
        bool capacity;  // valid where a mode must record
        bool table;     // valid where play back only is allowed
        uint32_t playsFor8;
        uint32_t maxRecorded;  // of 4096 in all
    };
    const Case cases[] = {
        {"1:0", true, true, 0, 4096},    {"record", true, true, 0, 4096},
        {"1:3", true, true, 24, 1024},   {"2:3", true, true, 12, 1638},
        {"1000:3000", true, true, 24, 1024},
        {"play", false, true, 0, 0},     {"0:3", false, true, 0, 0},
        {"0:0", false, false, 0, 0},     {"1:", false, false, 0, 0},
        {"a:b", false, false, 0, 0},     {"13", false, false, 0, 0},
        {"10000:1", false, false, 0, 0}, {"-1:3", false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SearchMode mode{};
        EXPECT_EQ(parseSearchMode(c.text, false, mode), c.capacity) << c.text;
        EXPECT_EQ(parseSearchMode(c.text, true, mode), c.table) << c.text;
        if (!c.capacity) continue;
        EXPECT_EQ(playTracksFor(mode, 8), c.playsFor8) << c.text;
        EXPECT_EQ(maxRecordTracksFor(mode, 4096), c.maxRecorded) << c.text;
    }
    EXPECT_EQ(playTracksFor(SearchMode{2, 3}, 1), 2u);  // 1.5 rounds up
    EXPECT_EQ(searchModeText(SearchMode{1, 0}), "record only");
    EXPECT_EQ(searchModeText(SearchMode{0, 1}), "play back only");
    EXPECT_EQ(searchModeText(SearchMode{1, 3}), "overdub 1:3");
}

}  // namespace

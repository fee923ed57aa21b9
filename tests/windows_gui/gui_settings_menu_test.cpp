// The menu's command table and the check marks of the three settings.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "windows_gui/settings_menu.h"
#include "engine/settings.h"

namespace {

std::vector<std::pair<uint32_t, bool>> checkMarkCalls;
std::map<uint32_t, bool> checkMarks;

const std::vector<uint32_t> trackIds = {40005, 40012, 40006, 40007, 40008, 40009, 40010, 40011};
const std::vector<uint32_t> readIds = {40013, 40014, 40015, 40016, 40017};
const std::vector<uint32_t> writeIds = {40019, 40020, 40021, 40022, 40023};

int checkedCount(const std::vector<uint32_t>& ids)
{
    int count = 0;
    for (uint32_t id : ids) count += checkMarks[id] ? 1 : 0;
    return count;
}

class SettingsMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = TestSettings;
        checkMarkCalls.clear();
        checkMarks.clear();
    }
    void TearDown() override { TestSettings = saved; }
    TestSettingsRecord saved;
};

// The Windows program sets the mark with CheckMenuItem; here it is recorded.
void recordCheckMark(uint32_t id, bool checked)
{
    checkMarkCalls.emplace_back(id, checked);
    checkMarks[id] = checked;
}

TEST(MenuCommandTable, EveryItemDoesWhatItSays)
{
    struct Row {
        uint32_t id;
        MenuAction action;
        uint32_t value;
    };
    const Row rows[] = {
        {1010, menuWriteTest, 0},           {1020, menuReadTest, 0},
        {1080, menuExit, 0},                {40005, menuTrackCount, 1},
        {40012, menuTrackCount, 2},         {40006, menuTrackCount, 12},
        {40007, menuTrackCount, 24},        {40008, menuTrackCount, 36},
        {40009, menuTrackCount, 48},        {40010, menuTrackCount, 60},
        {40011, menuTrackCount, 72},        {40013, menuReadRequestSize, 32768},
        {40014, menuReadRequestSize, 65536}, {40015, menuReadRequestSize, 131072},
        {40016, menuReadRequestSize, 262144}, {40017, menuReadRequestSize, 524288},
        {40019, menuWriteRequestSize, 32768}, {40020, menuWriteRequestSize, 65536},
        {40021, menuWriteRequestSize, 131072}, {40022, menuWriteRequestSize, 262144},
        {40023, menuWriteRequestSize, 524288},
    };
    for (const Row& row : rows) {
        MenuCommand command = findMenuCommand(row.id);
        EXPECT_EQ(command.action, row.action) << "id " << row.id;
        EXPECT_EQ(command.value, row.value) << "id " << row.id;
    }
}

TEST(MenuCommandTable, IdsOutsideTheTableDoNothing)
{
    for (uint32_t id : {0u, 1u, 1000u, 1011u, 1079u, 40004u, 40018u, 40024u, 65535u, 0x10000u + 1010u})
        EXPECT_EQ(findMenuCommand(id).action, menuNoAction) << "id " << id;
}

TEST_F(SettingsMenuTest, TrackCountUnchecksAllInItsOrderThenChecksTheOne)
{
    selectTrackCount(2, recordCheckMark);
    EXPECT_EQ(TestSettings.trackCount, 2u);
    ASSERT_EQ(checkMarkCalls.size(), trackIds.size() + 1);
    for (size_t i = 0; i < trackIds.size(); ++i) {
        EXPECT_EQ(checkMarkCalls[i].first, trackIds[i]);
        EXPECT_FALSE(checkMarkCalls[i].second);
    }
    EXPECT_EQ(checkMarkCalls.back(), std::make_pair(40012u, true))
        << "\"2\" is the second item although its id is the group's highest";
}

TEST_F(SettingsMenuTest, RequestSizesMoveOnlyTheirOwnPopup)
{
    selectWriteRequestSize(131072, recordCheckMark);
    checkMarkCalls.clear();
    selectReadRequestSize(524288, recordCheckMark);
    EXPECT_EQ(TestSettings.readRequestSize, 524288u);
    EXPECT_EQ(TestSettings.writeRequestSize, 131072u);
    ASSERT_EQ(checkMarkCalls.size(), readIds.size() + 1);
    for (size_t i = 0; i < readIds.size(); ++i)
        EXPECT_EQ(checkMarkCalls[i], std::make_pair(readIds[i], false));
    EXPECT_EQ(checkMarkCalls.back(), std::make_pair(40017u, true));
    EXPECT_TRUE(checkMarks[40021]) << "the write popup keeps its mark";

    checkMarkCalls.clear();
    selectWriteRequestSize(32768, recordCheckMark);
    ASSERT_EQ(checkMarkCalls.size(), writeIds.size() + 1);
    for (size_t i = 0; i < writeIds.size(); ++i)
        EXPECT_EQ(checkMarkCalls[i], std::make_pair(writeIds[i], false));
    EXPECT_EQ(checkMarkCalls.back(), std::make_pair(40019u, true));
}

TEST_F(SettingsMenuTest, EachPopupEndsWithExactlyOneMarkOnItsValue)
{
    selectTrackCount(1, recordCheckMark);
    selectReadRequestSize(131072, recordCheckMark);
    selectWriteRequestSize(131072, recordCheckMark);
    const uint32_t commands[] = {40011, 40012, 40012, 40016, 40020, 40005, 40013, 40023, 40008};
    for (uint32_t id : commands) {
        MenuCommand command = findMenuCommand(id);
        if (command.action == menuTrackCount) selectTrackCount(command.value, recordCheckMark);
        if (command.action == menuReadRequestSize) selectReadRequestSize(command.value, recordCheckMark);
        if (command.action == menuWriteRequestSize) selectWriteRequestSize(command.value, recordCheckMark);
        EXPECT_EQ(checkedCount(trackIds), 1) << "after " << id;
        EXPECT_EQ(checkedCount(readIds), 1) << "after " << id;
        EXPECT_EQ(checkedCount(writeIds), 1) << "after " << id;
    }
    EXPECT_EQ(TestSettings.trackCount, 36u);
    EXPECT_TRUE(checkMarks[40008]);
    EXPECT_EQ(TestSettings.readRequestSize, 32768u);
    EXPECT_TRUE(checkMarks[40013]);
    EXPECT_EQ(TestSettings.writeRequestSize, 524288u);
    EXPECT_TRUE(checkMarks[40023]);
}

TEST_F(SettingsMenuTest, UnlistedValueIsStoredWithNoMark)
{
    selectTrackCount(12, recordCheckMark);
    selectTrackCount(5, recordCheckMark);
    EXPECT_EQ(TestSettings.trackCount, 5u);
    EXPECT_EQ(checkedCount(trackIds), 0);
}

}  // namespace

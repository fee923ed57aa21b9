// What the open and save dialogs remember between uses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "windows_gui/dialogs/dialog_memory.h"

namespace {

class DialogMemoryTest : public ::testing::Test {
protected:
    void SetUp() override { resetDialogMemory(); }
};

TEST_F(DialogMemoryTest, StartsWithNothingRememberedAndTheFirstFilter)
{
    std::strcpy(DialogMemory.lastFileName, "stale.wav");
    std::strcpy(DialogMemory.initialDirectory, "D:\\Old\\");
    resetDialogMemory();
    EXPECT_STREQ(DialogMemory.initialDirectory, "");
    EXPECT_STREQ(DialogMemory.lastFileName, "");
    EXPECT_STREQ(DialogMemory.lastExtension, ".*");
    EXPECT_EQ(DialogMemory.filterIndex, 1u);

    char extension[dialogTextSize];
    makeDefaultExtension(DialogMemory.lastExtension, extension, sizeof extension);
    EXPECT_STREQ(extension, "") << "the first dialog gets no default extension";
}

TEST(DefaultExtension, WildcardAndEmptyGiveNoneOthersAreCopied)
{
    char out[dialogTextSize];
    makeDefaultExtension(".wav", out, sizeof out);
    EXPECT_STREQ(out, ".wav");
    makeDefaultExtension(".*", out, sizeof out);
    EXPECT_STREQ(out, "");
    makeDefaultExtension(".*x", out, sizeof out);
    EXPECT_STREQ(out, "");
    std::strcpy(out, "junk");
    makeDefaultExtension("", out, sizeof out);
    EXPECT_STREQ(out, "");
    makeDefaultExtension(".trk", out, 3);
    EXPECT_STREQ(out, ".t") << "never more than the buffer holds";
}

TEST_F(DialogMemoryTest, ConfirmedPathGivesNameExtensionAndFilter)
{
    const char path[dialogTextSize] = "D:\\Audio\\take.wav";
    rememberDialogResult(path, 9, 14, 2);
    EXPECT_STREQ(DialogMemory.lastFileName, "take.wav");
    EXPECT_STREQ(DialogMemory.lastExtension, ".wav");
    EXPECT_EQ(DialogMemory.filterIndex, 2u);

    char extension[dialogTextSize];
    makeDefaultExtension(DialogMemory.lastExtension, extension, sizeof extension);
    EXPECT_STREQ(extension, ".wav") << "the next dialog's default extension";
}

TEST_F(DialogMemoryTest, CancelledDialogKeepsTheNameAndForgetsTheExtension)
{
    rememberDialogResult("D:\\Audio\\take.wav", 9, 14, 2);
    // The next dialog was preloaded with the remembered name and cancelled:
    // both offsets are still 0 from clearing the structure.
    char path[dialogTextSize];
    std::strcpy(path, DialogMemory.lastFileName);
    rememberDialogResult(path, 0, 0, 2);
    EXPECT_STREQ(DialogMemory.lastFileName, "take.wav");
    EXPECT_STREQ(DialogMemory.lastExtension, "");
    EXPECT_EQ(DialogMemory.filterIndex, 2u);
}

TEST_F(DialogMemoryTest, NameEndingInADotLeavesNoExtension)
{
    // The dialog gives 0, or the offset of the terminator (14), for such a name.
    for (uint32_t extensionOffset : {0u, 14u}) {
        resetDialogMemory();
        rememberDialogResult("D:\\Audio\\take.", 9, extensionOffset, 1);
        EXPECT_STREQ(DialogMemory.lastFileName, "take.");
        EXPECT_STREQ(DialogMemory.lastExtension, "") << "extension offset " << extensionOffset;
    }
}

TEST_F(DialogMemoryTest, OffsetsPastTheTextAreTakenAsEmpty)
{
    char path[dialogTextSize] = "D:\\a.wav";
    std::memset(path + 9, 'x', sizeof path - 9);  // stale bytes past the terminator
    rememberDialogResult(path, 200, 250, 3);
    EXPECT_STREQ(DialogMemory.lastFileName, "");
    EXPECT_STREQ(DialogMemory.lastExtension, "");
    EXPECT_EQ(DialogMemory.filterIndex, 3u);
}

TEST_F(DialogMemoryTest, LongestPathIsCopiedWhole)
{
    std::string name(250, 'n');
    std::string path = "C:\\" + name + ".wav";  // 257 characters
    ASSERT_LT(path.size(), dialogTextSize);
    rememberDialogResult(path.c_str(), 3, static_cast<uint32_t>(path.size() - 3), 1);
    EXPECT_EQ(std::string(DialogMemory.lastFileName), name + ".wav");
    EXPECT_STREQ(DialogMemory.lastExtension, ".wav");
}

TEST(TrailingBackslash, AppendedOnlyWhereMissing)
{
    char text[dialogTextSize];
    std::strcpy(text, "D:\\Work");
    ensureTrailingBackslash(text, sizeof text);
    EXPECT_STREQ(text, "D:\\Work\\");
    ensureTrailingBackslash(text, sizeof text);
    EXPECT_STREQ(text, "D:\\Work\\") << "never doubled";
    std::strcpy(text, "D:\\");
    ensureTrailingBackslash(text, sizeof text);
    EXPECT_STREQ(text, "D:\\");
    text[0] = '\0';
    ensureTrailingBackslash(text, sizeof text);
    EXPECT_STREQ(text, "");
}

TEST(TrailingBackslash, FullBufferIsLeftUnchanged)
{
    char text[dialogTextSize + 1];
    text[dialogTextSize] = '#';  // guard just past the buffer
    std::string longest(dialogTextSize - 1, 'd');
    std::strcpy(text, longest.c_str());
    ensureTrailingBackslash(text, dialogTextSize);
    EXPECT_EQ(std::string(text), longest);
    EXPECT_EQ(text[dialogTextSize], '#');

    std::string fits(dialogTextSize - 2, 'd');
    std::strcpy(text, fits.c_str());
    ensureTrailingBackslash(text, dialogTextSize);
    EXPECT_EQ(std::string(text), fits + "\\");
}

}  // namespace

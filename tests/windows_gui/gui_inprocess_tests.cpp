// The Windows program's own code, started in this process with
// initApplication(): the menu and its check marks (another process cannot read
// them under Wine), the main window's bands at a known size, and the progress
// window drawn for known step counts, all checked on the pixels drawn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "windows_gui/application.h"
#include "engine/front_end.h"
#include "engine/settings.h"
#include "windows_gui/progress/progress_window.h"
#include "tests/wine/wine_harness.h"

namespace {

const COLORREF black = RGB(0, 0, 0);
const COLORREF white = RGB(255, 255, 255);
const COLORREF emptyGrey = RGB(128, 128, 128);
const COLORREF windowGrey = RGB(192, 192, 192);

void pumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Gives the main window a client area of exactly width x height.
void setMainClientSize(int width, int height)
{
    ShowWindow(MainWindow, SW_RESTORE);
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(MainWindow, GWL_STYLE)), TRUE,
                       static_cast<DWORD>(GetWindowLongA(MainWindow, GWL_EXSTYLE)));
    SetWindowPos(MainWindow, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that wraps changes the client height: correct once.
    RECT client;
    GetClientRect(MainWindow, &client);
    if (client.bottom != height) {
        SetWindowPos(MainWindow, nullptr, 0, 0, frame.right - frame.left,
                     frame.bottom - frame.top + height - client.bottom,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    UpdateWindow(MainWindow);
    pumpMessages();
}

class ProgramEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        appInstance = GetModuleHandleA(nullptr);
        ASSERT_EQ(initApplication(), 0u);
        pumpMessages();
    }
    void TearDown() override
    {
        closeProgress();
        if (IsWindow(MainWindow)) SendMessageA(MainWindow, WM_CLOSE, 0, 0);
        pumpMessages();
        freeTransferBuffers();
    }
};

bool isChecked(UINT id)
{
    return (GetMenuState(GetMenu(MainWindow), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

// The checked items of popup `popup` by position, as their texts.
std::vector<std::string> checkedItems(int popup)
{
    HMENU menu = GetSubMenu(GetMenu(MainWindow), popup);
    std::vector<std::string> checked;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        if (GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED) {
            char text[64] = "";
            GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
            checked.push_back(text);
        }
    }
    return checked;
}

typedef std::vector<std::string> Texts;

void command(WPARAM wParam)
{
    EXPECT_EQ(SendMessageA(MainWindow, WM_COMMAND, wParam, 0), 0);
}

}  // namespace

// ---- Menu -------------------------------------------------------------------------

TEST(Menu, ResourceHasTheFourPopupsWithTheirItemsAndIds)
{
    HMENU bar = GetMenu(MainWindow);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 4);
    struct Item { const char* text; int id; };  // id 0: separator
    const std::vector<std::pair<const char*, std::vector<Item>>> expected = {
        {"&File", {{"", 0}, {"Disk Write Test", 1010}, {"", 0}, {"Disk Read Test", 1020}, {"", 0},
                   {"E&xit", 1080}}},
        {"Tracks", {{"1", 40005}, {"2", 40012}, {"12", 40006}, {"24", 40007}, {"36", 40008},
                    {"48", 40009}, {"60", 40010}, {"72", 40011}}},
        {"Read Request KBytes",
         {{"32", 40013}, {"64", 40014}, {"128", 40015}, {"256", 40016}, {"512", 40017}}},
        {"Write Request KBytes",
         {{"32", 40019}, {"64", 40020}, {"128", 40021}, {"256", 40022}, {"512", 40023}}},
    };
    for (int p = 0; p < 4; ++p) {
        char title[64] = "";
        GetMenuStringA(bar, p, title, sizeof title, MF_BYPOSITION);
        EXPECT_STREQ(title, expected[p].first);
        HMENU popup = GetSubMenu(bar, p);
        ASSERT_NE(popup, nullptr);
        const std::vector<Item>& items = expected[p].second;
        ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(items.size())) << title;
        for (size_t i = 0; i < items.size(); ++i) {
            UINT state = GetMenuState(popup, static_cast<UINT>(i), MF_BYPOSITION);
            if (items[i].id == 0) {
                EXPECT_TRUE(state & MF_SEPARATOR) << title << " item " << i;
                continue;
            }
            char text[64] = "";
            GetMenuStringA(popup, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            EXPECT_STREQ(text, items[i].text) << title << " item " << i;
            EXPECT_EQ(static_cast<int>(GetMenuItemID(popup, static_cast<int>(i))), items[i].id);
            EXPECT_FALSE(state & (MF_GRAYED | MF_DISABLED)) << title << " item " << i;
        }
    }
}

TEST(Menu, DefaultsAreCheckedAndNothingElse)
{
    // This test runs first among the settings tests (definition order).
    EXPECT_EQ(checkedItems(0), Texts{});
    EXPECT_EQ(checkedItems(1), Texts{"1"});
    EXPECT_EQ(checkedItems(2), Texts{"128"});
    EXPECT_EQ(checkedItems(3), Texts{"128"});
    EXPECT_EQ(TestSettings.trackCount, 1u);
    EXPECT_EQ(TestSettings.readRequestSize, 131072u);
    EXPECT_EQ(TestSettings.writeRequestSize, 131072u);
}

TEST(Menu, EveryTrackCommandChecksItsItemOnly)
{
    struct Choice { int id; const char* text; uint32_t tracks; } choices[] = {
        {40012, "2", 2},   {40006, "12", 12}, {40007, "24", 24}, {40008, "36", 36},
        {40009, "48", 48}, {40010, "60", 60}, {40011, "72", 72}, {40005, "1", 1}};
    for (const Choice& choice : choices) {
        command(static_cast<WPARAM>(choice.id));
        EXPECT_EQ(checkedItems(1), Texts{choice.text}) << "after " << choice.id;
        EXPECT_EQ(TestSettings.trackCount, choice.tracks);
        EXPECT_TRUE(isChecked(static_cast<UINT>(choice.id)));
    }
    // 40012 marks the second item although its id is the highest of the group.
    command(40012);
    HMENU tracks = GetSubMenu(GetMenu(MainWindow), 1);
    EXPECT_TRUE(GetMenuState(tracks, 1, MF_BYPOSITION) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(tracks, 7, MF_BYPOSITION) & MF_CHECKED);
    // The same item again keeps its mark.
    command(40012);
    EXPECT_EQ(checkedItems(1), Texts{"2"});
    command(40005);
}

TEST(Menu, ReadAndWriteRequestSizesAreIndependent)
{
    command(40017);  // read 512
    EXPECT_EQ(checkedItems(2), Texts{"512"});
    EXPECT_EQ(checkedItems(3), Texts{"128"});
    EXPECT_EQ(TestSettings.readRequestSize, 524288u);
    EXPECT_EQ(TestSettings.writeRequestSize, 131072u);
    command(40019);  // write 32
    EXPECT_EQ(checkedItems(2), Texts{"512"});
    EXPECT_EQ(checkedItems(3), Texts{"32"});
    EXPECT_EQ(TestSettings.writeRequestSize, 32768u);
    const struct { int id; const char* text; uint32_t bytes; } read[] = {
        {40013, "32", 32768}, {40014, "64", 65536}, {40015, "128", 131072},
        {40016, "256", 262144}, {40017, "512", 524288}};
    for (const auto& r : read) {
        command(static_cast<WPARAM>(r.id));
        EXPECT_EQ(checkedItems(2), Texts{r.text});
        EXPECT_EQ(TestSettings.readRequestSize, r.bytes);
        EXPECT_EQ(checkedItems(3), Texts{"32"});
    }
    const struct { int id; const char* text; uint32_t bytes; } write[] = {
        {40020, "64", 65536}, {40021, "128", 131072}, {40022, "256", 262144},
        {40023, "512", 524288}, {40019, "32", 32768}};
    for (const auto& w : write) {
        command(static_cast<WPARAM>(w.id));
        EXPECT_EQ(checkedItems(3), Texts{w.text});
        EXPECT_EQ(TestSettings.writeRequestSize, w.bytes);
        EXPECT_EQ(checkedItems(2), Texts{"512"});
    }
    command(40015);
    command(40021);
    EXPECT_EQ(checkedItems(2), Texts{"128"});
    EXPECT_EQ(checkedItems(3), Texts{"128"});
}

TEST(Menu, UnknownIdsChangeNothingAndHighWordIsIgnored)
{
    command(40006);  // 12 tracks
    for (WPARAM id : {40018u, 40004u, 40024u, 1000u, 0u, 1030u})
        command(id);
    EXPECT_EQ(checkedItems(1), Texts{"12"});
    EXPECT_EQ(checkedItems(2), Texts{"128"});
    EXPECT_EQ(checkedItems(3), Texts{"128"});
    EXPECT_EQ(TestSettings.trackCount, 12u);
    EXPECT_TRUE(IsWindow(MainWindow));
    // Only the low 16 bits are the id (a notification code may stand above).
    command(MAKEWPARAM(40011, 1));
    EXPECT_EQ(checkedItems(1), Texts{"72"});
    EXPECT_EQ(TestSettings.trackCount, 72u);
    command(40005);
    EXPECT_EQ(checkedItems(1), Texts{"1"});
}

// ---- Main window background -----------------------------------------------------------

TEST(Background, MaximisedWindowIsPaintedForItsOwnHeight)
{
    // Start-up painted the window at its first size, then maximised it: the
    // bands must follow the maximised height without any help.
    pumpMessages();
    RECT client;
    GetClientRect(MainWindow, &client);
    int bandHeight = client.bottom / 128;
    ASSERT_GT(bandHeight, 1);
    for (int i : {0, 1, 64, 127}) {
        COLORREF expected = RGB(255 - 2 * i, 0, 255 - 2 * i);
        EXPECT_EQ(clientPixel(MainWindow, 0, i * bandHeight), expected) << "band " << i;
        EXPECT_EQ(clientPixel(MainWindow, 0, i * bandHeight + bandHeight - 1), expected) << "band " << i;
    }
}

TEST(Background, BandsAtClient1024x700)
{
    setMainClientSize(1024, 700);
    RECT client;
    GetClientRect(MainWindow, &client);
    ASSERT_EQ(client.right, 1024);
    ASSERT_EQ(client.bottom, 700);
    InvalidateRect(MainWindow, nullptr, TRUE);
    UpdateWindow(MainWindow);
    // bandHeight 5: band i covers rows 5i .. 5i+4.
    struct Band { int index; int value; } bands[] = {{0, 255}, {1, 253}, {64, 127}, {127, 1}};
    for (const Band& band : bands)
        for (int y = band.index * 5; y < band.index * 5 + 5; ++y)
            for (int x : {0, 511, 1023})
                EXPECT_EQ(clientPixel(MainWindow, x, y), RGB(band.value, 0, band.value))
                    << "band " << band.index << " (" << x << "," << y << ")";
    for (int i = 0; i < 128; ++i)
        EXPECT_EQ(clientPixel(MainWindow, 700, i * 5 + 2), RGB(255 - 2 * i, 0, 255 - 2 * i))
            << "band " << i;
    for (int y = 640; y < 700; ++y)
        for (int x : {0, 512, 1023})
            EXPECT_EQ(clientPixel(MainWindow, x, y), black) << "(" << x << "," << y << ")";
}

TEST(Background, LowClientAreaStaysBlack)
{
    setMainClientSize(600, 100);
    RECT client;
    GetClientRect(MainWindow, &client);
    ASSERT_EQ(client.bottom, 100);
    InvalidateRect(MainWindow, nullptr, TRUE);
    UpdateWindow(MainWindow);
    for (int y = 0; y < 100; y += 9)
        EXPECT_EQ(clientPixel(MainWindow, 300, y), black) << "row " << y;
    setMainClientSize(1024, 700);
}

// ---- Progress window -----------------------------------------------------------------

namespace {

struct BarGeometry {
    int width, height;  // progress client area
    int barLeft, barWidth;
    RECT frame;
};

BarGeometry geometryFor(int barWidth)
{
    BarGeometry g{};
    RECT client;
    GetClientRect(progressWindowHandle(), &client);
    g.width = client.right;
    g.height = client.bottom;
    g.barWidth = barWidth;
    g.barLeft = (g.width - barWidth) / 2;
    g.frame = {g.barLeft - 2, g.height - 18, g.barLeft + barWidth + 2, g.height - 4};
    return g;
}

COLORREF progressPixel(int x, int y) { return clientPixel(progressWindowHandle(), x, y); }

// Columns of the bar area that are black in all 10 rows, counted from the left;
// every other column of the area must be all grey.
int blackColumns(const BarGeometry& g)
{
    int done = 0;
    bool gapSeen = false;
    for (int x = g.barLeft; x < g.barLeft + g.barWidth; ++x) {
        int blackRows = 0, greyRows = 0;
        for (int y = g.height - 16; y <= g.height - 7; ++y) {
            COLORREF c = progressPixel(x, y);
            if (c == black) ++blackRows;
            if (c == emptyGrey) ++greyRows;
        }
        if (blackRows == 10 && !gapSeen) {
            ++done;
        } else if (greyRows == 10) {
            gapSeen = true;
        } else {
            ADD_FAILURE() << "column " << x << " is neither done nor empty (" << blackRows
                          << " black, " << greyRows << " grey rows)";
            return -1;
        }
    }
    return done;
}

void expectBevel(const BarGeometry& g)
{
    const RECT& f = g.frame;
    int midX = (f.left + f.right) / 2, midY = (f.top + f.bottom) / 2;
    EXPECT_EQ(progressPixel(f.left, midY), black) << "outer left";
    EXPECT_EQ(progressPixel(midX, f.top), black) << "outer top";
    EXPECT_EQ(progressPixel(f.left + 1, midY), black) << "inner left";
    EXPECT_EQ(progressPixel(midX, f.top + 1), black) << "inner top";
    EXPECT_EQ(progressPixel(f.right - 1, midY), white) << "right edge";
    EXPECT_EQ(progressPixel(midX, f.bottom - 1), white) << "bottom edge";
    EXPECT_EQ(progressPixel(f.right - 2, midY), emptyGrey) << "inside right of the bar";
    EXPECT_EQ(progressPixel(midX, f.bottom - 2), emptyGrey) << "inside below the bar";
    EXPECT_EQ(progressPixel(f.left - 1, midY), windowGrey) << "left of the frame";
    EXPECT_EQ(progressPixel(f.right, midY), windowGrey) << "right of the frame";
    EXPECT_EQ(progressPixel(midX, f.top - 1), windowGrey) << "above the frame";
    EXPECT_EQ(progressPixel(midX, f.bottom), windowGrey) << "below the frame";
    EXPECT_EQ(progressPixel(2, g.height / 2), windowGrey) << "client background";
}

void advance(int times)
{
    for (int i = 0; i < times; ++i) advanceProgress();
}

class Progress : public testing::Test {
protected:
    void SetUp() override { setMainClientSize(1024, 700); }
    void TearDown() override
    {
        closeProgress();
        pumpMessages();
    }
};

}  // namespace

TEST_F(Progress, WindowIsCentredChildStandbyWithoutCloseBox)
{
    openProgress(MainWindow, appInstance, 760);
    HWND window = progressWindowHandle();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(className(window), "TRAKMON32MSG");
    EXPECT_EQ(windowText(window), "Standby...");
    EXPECT_EQ(GetParent(window), MainWindow);
    EXPECT_TRUE(IsWindowVisible(window));
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_FALSE(style & WS_SYSMENU) << "the window has a close box";
    // (WS_EX_TOPMOST, which the window is created with, is not kept by the
    // system for a child window, so it is not looked at.)
    RECT frame;
    GetWindowRect(window, &frame);
    POINT corner{frame.left, frame.top};
    ScreenToClient(MainWindow, &corner);
    EXPECT_EQ(corner.x, 352);
    EXPECT_EQ(corner.y, 300);
    EXPECT_EQ(frame.right - frame.left, 320);
    EXPECT_EQ(frame.bottom - frame.top, 100);
    // Dragging by the title bar does nothing.
    SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(frame.left + 40, frame.top + 5));
    RECT after;
    GetWindowRect(window, &after);
    EXPECT_EQ(after.left, frame.left);
    EXPECT_EQ(after.top, frame.top);
}

TEST_F(Progress, Steps760DrawExactly253Lines)
{
    openProgress(MainWindow, appInstance, 760);
    BarGeometry g = geometryFor(253);
    expectBevel(g);
    EXPECT_EQ(blackColumns(g), 0);
    advance(2);
    EXPECT_EQ(blackColumns(g), 0) << "a tick is every third step";
    advance(1);
    EXPECT_EQ(blackColumns(g), 1);
    advance(757 - 3);
    EXPECT_EQ(blackColumns(g), 252);
    advance(3);
    EXPECT_EQ(blackColumns(g), 253);
    expectBevel(g);
}

TEST_F(Progress, Steps144DrawTwoLinesPerStepTo288)
{
    openProgress(MainWindow, appInstance, 144);
    BarGeometry g = geometryFor(288);
    expectBevel(g);
    advance(1);
    EXPECT_EQ(blackColumns(g), 2);
    advance(143);
    EXPECT_EQ(blackColumns(g), 288);
}

TEST_F(Progress, ZeroStepsOneCallFillsTheWholeBar)
{
    openProgress(MainWindow, appInstance, 0);
    BarGeometry g = geometryFor(300);
    expectBevel(g);
    EXPECT_EQ(blackColumns(g), 0);
    advance(1);
    EXPECT_EQ(blackColumns(g), 300);
}

TEST_F(Progress, Steps300DrawHalfAsWideABar)
{
    openProgress(MainWindow, appInstance, 300);
    BarGeometry g = geometryFor(150);
    expectBevel(g);
    advance(1);
    EXPECT_EQ(blackColumns(g), 0);
    advance(1);
    EXPECT_EQ(blackColumns(g), 1);
    advance(298);
    EXPECT_EQ(blackColumns(g), 150);
}

TEST_F(Progress, CaptionCentredAtTheTopAndGoneAfterARepaint)
{
    openProgress(MainWindow, appInstance, 760);
    showProgressCaption("Writing: Test Files For 12 Track(s)");
    BarGeometry g = geometryFor(253);
    int left = g.width, right = -1, bottom = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < g.width; ++x)
            if (progressPixel(x, y) != windowGrey) {
                if (x < left) left = x;
                if (x > right) right = x;
                if (y > bottom) bottom = y;
            }
    ASSERT_GE(right, 0) << "no caption drawn";
    EXPECT_LE(std::abs((left + right + 1) - g.width), 3) << "caption spans " << left << ".." << right;
    EXPECT_GT(right - left, 100) << "too short for the caption text";
    advance(30);  // 10 ticks
    EXPECT_EQ(blackColumns(g), 10);
    // A repaint covers the caption and redraws exactly the ticked columns.
    InvalidateRect(progressWindowHandle(), nullptr, TRUE);
    UpdateWindow(progressWindowHandle());
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < g.width; x += 3)
            ASSERT_EQ(progressPixel(x, y), windowGrey) << "caption left at (" << x << "," << y << ")";
    expectBevel(g);
    EXPECT_EQ(blackColumns(g), 10);
    advance(3);
    EXPECT_EQ(blackColumns(g), 11) << "the next tick does not continue after a repaint";
}

TEST_F(Progress, RestartEmptiesTheBarAndKeepsTheCaption)
{
    openProgress(MainWindow, appInstance, 144);
    showProgressCaption("Reading: Test Files For 72 Track(s)");
    BarGeometry g = geometryFor(288);
    COLORREF captionSample = windowGrey;
    int captionX = -1, captionY = -1;
    for (int y = 0; y < 20 && captionX < 0; ++y)
        for (int x = 0; x < g.width; ++x)
            if (progressPixel(x, y) != windowGrey) {
                captionX = x;
                captionY = y;
                captionSample = progressPixel(x, y);
                break;
            }
    ASSERT_GE(captionX, 0);
    advance(50);
    EXPECT_EQ(blackColumns(g), 100);
    restartProgress();
    EXPECT_EQ(blackColumns(g), 0);
    expectBevel(g);
    EXPECT_EQ(progressPixel(captionX, captionY), captionSample) << "the caption went";
    advance(1);
    EXPECT_EQ(blackColumns(g), 2) << "the first tick after a restart is not at the left edge";
    advance(143);
    EXPECT_EQ(blackColumns(g), 288);
}

TEST_F(Progress, CloseRemovesTheWindowAndIsHarmlessTwice)
{
    openProgress(MainWindow, appInstance, 760);
    HWND window = progressWindowHandle();
    ASSERT_NE(window, nullptr);
    closeProgress();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(progressWindowHandle(), nullptr);
    EXPECT_EQ(FindWindowExA(MainWindow, nullptr, "TRAKMON32MSG", nullptr), nullptr);
    closeProgress();
    closeProgress();
    EXPECT_EQ(progressWindowHandle(), nullptr);
    // It opens again afterwards.
    openProgress(MainWindow, appInstance, 144);
    EXPECT_NE(progressWindowHandle(), nullptr);
}

TEST_F(Progress, CentringTruncatesTowardZero)
{
    setMainClientSize(301, 300);
    RECT client;
    GetClientRect(MainWindow, &client);
    if (client.right != 301) GTEST_SKIP() << "the window manager kept the width at " << client.right;
    openProgress(MainWindow, appInstance, 760);
    RECT frame;
    GetWindowRect(progressWindowHandle(), &frame);
    POINT corner{frame.left, frame.top};
    ScreenToClient(MainWindow, &corner);
    EXPECT_EQ(corner.x, -9);
    EXPECT_EQ(corner.y, 100);
}

// ---- Pictures for the documentation --------------------------------------------------

TEST_F(Progress, ScreenshotMidTest)
{
    const char* folder = std::getenv("TRAKMON_SCREENSHOT_DIR");
    if (folder == nullptr) GTEST_SKIP() << "TRAKMON_SCREENSHOT_DIR not set";
    openProgress(MainWindow, appInstance, 720);
    showProgressCaption("Writing: Test Files For 12 Track(s)");
    advance(430);
    // The screen gets the window's picture when the message loop runs.
    for (int i = 0; i < 20; ++i) {
        pumpMessages();
        Sleep(20);
    }
    RECT area;
    GetWindowRect(MainWindow, &area);
    if (area.left < 0) area.left = 0;
    if (area.top < 0) area.top = 0;
    EXPECT_TRUE(saveScreenBitmap(area, std::string(folder) + "\\progress-window.bmp"));
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new ProgramEnvironment);
    installWatchdogListener(60000);
    return RUN_ALL_TESTS();
}

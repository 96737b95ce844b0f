// test_progressui.cpp -- the progress bar, the progress page's path
// shortening and the replace-file query's decisions: the file lines and the
// proposal as plain functions, the bar's arithmetic, and a real "IFPB" window
// painted and run back to empty. The pages and the query dialog themselves
// are driven end to end by the wizard scenarios.
//
// Windows need an X display: run under xvfb-run.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/engine.h"
#include "ui/progressbar.h"
#include "ui/progresspage.h"
#include "ui/replacequery.h"

namespace {

const DWORD kNone = 0xFFFFFFFF;   // version half: no version

FILETIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute)
{
    SYSTEMTIME st = {};
    FILETIME ft = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = 41;   // never shown
    SystemTimeToFileTime(&st, &ft);
    return ft;
}

FileInfo MakeInfo(const char *name, DWORD size, FILETIME time, DWORD high, DWORD low)
{
    FileInfo info;
    info.name = name;
    info.size = size;
    info.time = time;
    info.versionHigh = high;
    info.versionLow = low;
    return info;
}

// ---- file lines --------------------------------------------------------------

struct LineCase {
    const char *name;
    DWORD size;
    FILETIME time;
    DWORD high, low;
    const char *expected;
};

TEST(FileLine, FormatsNameVersionDateAndSize)
{
    FILETIME outOfRange = {0xFFFFFFFF, 0xFFFFFFFF};
    const LineCase cases[] = {
        {"C:\\Program Files\\Foo\\foo.dll", 110592, MakeTime(2001, 3, 24, 9, 5),
         0x00010002, 0x00030004, "foo.dll(1.2.3.4; 2001-3-24/9:05; 110,592Bytes)"},
        // No version: the version part is left out, not shown as 65535s.
        {"C:\\a\\readme.txt", 0, MakeTime(2023, 12, 1, 0, 0), kNone, kNone,
         "readme.txt(2023-12-1/0:00; 0Bytes)"},
        // Two-digit month, day and hour stay as they are; minutes always two digits.
        {"D:\\x\\big.bin", 1234567, MakeTime(2019, 11, 30, 23, 59), 0, 0,
         "big.bin(0.0.0.0; 2019-11-30/23:59; 1,234,567Bytes)"},
        // One half present counts as a version.
        {"half.ocx", 4294967295u, MakeTime(1999, 1, 2, 12, 0), kNone, 0x00070008,
         "half.ocx(65535.65535.7.8; 1999-1-2/12:00; 4,294,967,295Bytes)"},
        {"top.dll", 999, MakeTime(2000, 2, 29, 7, 30), 0xFFFEFFFD, kNone,
         "top.dll(65534.65533.65535.65535; 2000-2-29/7:30; 999Bytes)"},
        // A time the system cannot convert shows zeros instead of stack garbage.
        {"odd.dat", 1, outOfRange, kNone, kNone, "odd.dat(0-0-0/0:00; 1Bytes)"},
    };
    for (const LineCase &c : cases) {
        char out[NVR_FILE_LINE_SIZE];
        FileInfo info = MakeInfo(c.name, c.size, c.time, c.high, c.low);
        int length = FormatFileLine(out, &info);
        EXPECT_STREQ(c.expected, out) << c.name;
        EXPECT_EQ((int)strlen(c.expected), length) << c.name;
    }
}

// ---- proposal -----------------------------------------------------------------

struct OlderCase {
    DWORD packageHigh, packageLow;
    FILETIME packageTime;
    DWORD existingHigh, existingLow;
    FILETIME existingTime;
    int older;
    const char *what;
};

TEST(ReplaceProposal, NoForAnOlderPackageFile)
{
    FILETIME early = MakeTime(2001, 3, 24, 9, 5);
    FILETIME late = MakeTime(2001, 3, 24, 9, 6);
    const OlderCase cases[] = {
        {0x00010000, 0, late, 0x00020000, 0, early, 1, "lower version, later time"},
        {0x00010002, 3, early, 0x00010002, 4, late, 1, "lower low half"},
        {0x00010002, 3, early, 0x00010002, 3, late, 1, "same version, earlier time"},
        {0x00010002, 3, early, 0x00010002, 3, early, 0, "same version and time"},
        {0x00010002, 3, late, 0x00010002, 3, early, 0, "same version, later time"},
        {0x00030000, 0, early, 0x00020000, 0, late, 0, "higher version, earlier time"},
        {kNone, kNone, early, 0x00020000, 0, late, 1, "package without version, earlier"},
        {kNone, kNone, late, 0x00020000, 0, early, 0, "package without version, later"},
        {0x00010000, 0, late, kNone, kNone, early, 0, "existing without version, later"},
        {0x00010000, 0, early, kNone, kNone, late, 1, "existing without version, earlier"},
    };
    for (const OlderCase &c : cases) {
        FileInfo package = MakeInfo("p", 1, c.packageTime, c.packageHigh, c.packageLow);
        FileInfo existing = MakeInfo("e", 1, c.existingTime, c.existingHigh, c.existingLow);
        EXPECT_EQ(c.older, IsPackageFileOlder(&package, &existing)) << c.what;
    }
}

// ---- bar arithmetic -----------------------------------------------------------

struct FractionCase {
    DWORD done, total;
    int percent;         // shown percentage
    int filled;          // filled pixels of a 283-pixel bar
};

TEST(ProgressArithmetic, FractionPercentAndFilledWidth)
{
    const FractionCase cases[] = {
        {0, 1000, 0, 0},
        {250, 1000, 25, 70},
        {500, 1000, 50, 141},
        {999, 1000, 99, 282},              // truncated, not rounded
        {1000, 1000, 100, 283},
        {1120, 1000, 112, 283},            // over-full: true ratio, bar just full
        {5, 0, 100, 283},                  // SpaceNeeded 0: full
        {0xFFFFFFFF, 0xFFFFFFFF, 100, 283},
        {0x80000000, 0xFFFFFFFF, 50, 141}, // above 2 GiB, unsigned
        {0xFFFFFFFF, 0x10000000, 1599, 283},
        {0xFFFFFFFF, 1, 0x7FFFFFFF, 283},  // beyond an int: capped, no garbage
    };
    for (const FractionCase &c : cases) {
        double fraction = ProgressFraction(c.done, c.total);
        EXPECT_EQ(c.percent, ProgressPercent(fraction)) << c.done << "/" << c.total;
        EXPECT_EQ(c.filled, FilledWidth(fraction, 283)) << c.done << "/" << c.total;
    }
    EXPECT_DOUBLE_EQ(0.25, ProgressFraction(250, 1000));
    EXPECT_DOUBLE_EQ(1.0, ProgressFraction(7, 0));
}

// ---- windows --------------------------------------------------------------------

class BarWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent_ = CreateWindowExA(0, "STATIC", "Nuvar bar test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  20, 20, 420, 200, NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_TRUE(parent_ != NULL);
    }
    void TearDown() override
    {
        DestroyProgressBar();
        if (parent_)
            DestroyWindow(parent_);
    }

    // Creates the bar at (10, 10), 283 x 25 client pixels plus its edge.
    HWND MakeBar()
    {
        RECT rect = {10, 10, 10 + 287, 10 + 29};
        EXPECT_EQ(1, CreateProgressBar(GetModuleHandleA(NULL), parent_, &rect));
        return ProgressBarWindow();
    }

    static void Paint(HWND bar)
    {
        InvalidateRect(bar, NULL, FALSE);
        UpdateWindow(bar);
        GdiFlush();
    }

    static COLORREF Pixel(HWND bar, int x, int y)
    {
        HDC dc = GetDC(bar);
        COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(bar, dc);
        return colour;
    }

    // Pixels of colour within the client rectangle.
    static int Count(HWND bar, COLORREF colour)
    {
        RECT client;
        int n = 0;
        GetClientRect(bar, &client);
        HDC dc = GetDC(bar);
        for (int y = 0; y < client.bottom; y++)
            for (int x = 0; x < client.right; x++)
                n += GetPixel(dc, x, y) == colour;
        ReleaseDC(bar, dc);
        return n;
    }

    static int Width(HWND bar)
    {
        RECT client;
        GetClientRect(bar, &client);
        return client.right;
    }

    static int StepsToEmpty()
    {
        int steps = 0;
        while (StepProgressBack() && steps < 100000)
            steps++;
        return steps;
    }

    HWND parent_ = NULL;
};

TEST_F(BarWindow, CreatedAsSpecifiedAndDestroyedCleanly)
{
    HWND bar = MakeBar();
    ASSERT_TRUE(bar != NULL);
    char name[16] = "";
    GetClassNameA(bar, name, sizeof name);
    EXPECT_STREQ("IFPB", name);
    EXPECT_EQ(WS_CHILD | WS_VISIBLE, GetWindowLongA(bar, GWL_STYLE) & (WS_CHILD | WS_VISIBLE));
    EXPECT_TRUE(GetWindowLongA(bar, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(parent_, GetParent(bar));
    EXPECT_EQ(283, Width(bar));

    // A second bar cannot be made while the class is registered; after
    // DestroyProgressBar the class is gone and a new bar can be made.
    RECT rect = {0, 0, 50, 20};
    EXPECT_EQ(0, CreateProgressBar(GetModuleHandleA(NULL), parent_, &rect));
    DestroyProgressBar();
    DestroyProgressBar();
    EXPECT_FALSE(IsWindow(bar));
    WNDCLASSA info;
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(NULL), "IFPB", &info));
    EXPECT_TRUE(MakeBar() != NULL);
}

TEST_F(BarWindow, PaintsFilledPartEmptyPartAndDigits)
{
    HWND bar = MakeBar();
    ASSERT_TRUE(bar != NULL);
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    ASSERT_NE(highlight, window);

    // Empty: window colour, digits in the highlight colour.
    Paint(bar);
    EXPECT_EQ(window, Pixel(bar, 2, 12));
    EXPECT_EQ(window, Pixel(bar, 280, 12));
    EXPECT_GT(Count(bar, highlight), 0);

    // Half: the left half filled, the right half empty.
    SetProgressFraction(500, 1000);
    Paint(bar);
    EXPECT_EQ(highlight, Pixel(bar, 2, 12));
    EXPECT_EQ(highlight, Pixel(bar, 140, 1));
    EXPECT_EQ(window, Pixel(bar, 142, 1));
    EXPECT_EQ(window, Pixel(bar, 280, 12));

    // Full (and over-full): all filled, digits in the highlight text colour.
    SetProgressFraction(1120, 1000);
    Paint(bar);
    EXPECT_EQ(highlight, Pixel(bar, 2, 12));
    EXPECT_EQ(highlight, Pixel(bar, 282, 24));
    EXPECT_GT(Count(bar, highlightText), 0);
    if (highlightText != window)
        EXPECT_EQ(0, Count(bar, window));
}

TEST_F(BarWindow, RepaintsOnlyWhenSomethingVisibleChanged)
{
    HWND bar = MakeBar();
    ASSERT_TRUE(bar != NULL);
    UpdateWindow(bar);

    // 1/1,000,000 moves neither a pixel nor the percentage.
    SetProgressFraction(1, 1000000);
    EXPECT_FALSE(GetUpdateRect(bar, NULL, FALSE));
    SetProgressFraction(20000, 1000000);   // 2 %, 5 pixels
    EXPECT_TRUE(GetUpdateRect(bar, NULL, FALSE));
    UpdateWindow(bar);
    SetProgressFraction(20001, 1000000);
    EXPECT_FALSE(GetUpdateRect(bar, NULL, FALSE));
    SetProgressFraction(30000, 1000000);   // 3 %, 8 pixels
    EXPECT_TRUE(GetUpdateRect(bar, NULL, FALSE));
}

TEST_F(BarWindow, StepsBackOnePixelAtATimeToEmpty)
{
    EXPECT_EQ(0, StepProgressBack());   // no bar
    HWND bar = MakeBar();
    ASSERT_TRUE(bar != NULL);
    EXPECT_EQ(0, StepProgressBack());   // empty bar

    SetProgressFraction(1, 1);
    int full = StepsToEmpty();
    EXPECT_GE(full, 283);
    EXPECT_LE(full, 284);
    EXPECT_EQ(0, StepProgressBack());

    // Half a bar takes half the steps, and the bar shows 0 % at the end.
    SetProgressFraction(1, 2);
    int half = StepsToEmpty();
    EXPECT_GE(half, 141);
    EXPECT_LE(half, 143);
    Paint(bar);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), Pixel(bar, 2, 12));

    // An over-full bar runs back from its right end, not from millions of
    // pixels beyond it.
    SetProgressFraction(0xFFFFFFFF, 1);
    int over = StepsToEmpty();
    EXPECT_GE(over, 283);
    EXPECT_LE(over, 284);

    DestroyProgressBar();
    EXPECT_EQ(0, StepProgressBack());
}

TEST_F(BarWindow, ShortensPathFromTheFront)
{
    HWND label = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 5, 60, 380, 14, parent_,
                                 NULL, GetModuleHandleA(NULL), NULL);
    ASSERT_TRUE(label != NULL);
    auto width = [&](const char *text) {
        SIZE size;
        HDC dc = GetDC(label);
        GetTextExtentPoint32A(dc, text, (int)strlen(text), &size);
        ReleaseDC(label, dc);
        return (int)size.cx;
    };
    const char *path = "C:\\Program Files\\Foo\\Bar\\sub\\file.dll";
    struct {
        int limit;
        const char *expected;
    } cases[] = {
        {width(path) + 1, path},                                  // fits: unchanged
        {width(path), "...\\Program Files\\Foo\\Bar\\sub\\file.dll"}, // equal is too wide
        {width("Bar\\sub\\file.dll") + 1, "...\\Bar\\sub\\file.dll"},
        {width("Foo\\Bar\\sub\\file.dll"), "...\\Bar\\sub\\file.dll"},
        {1, "...\\file.dll"},                                       // last part stays whole
    };
    for (const auto &c : cases)
        EXPECT_STREQ(c.expected, ShortenPathToWidth(label, path, c.limit)) << c.limit;
    EXPECT_STREQ("file.dll", ShortenPathToWidth(label, "file.dll", 1));
    EXPECT_STREQ("", ShortenPathToWidth(label, "", 1));

    // A 259-character path keeps the result within its 260-byte buffer.
    std::string longPath = "C:";
    while (longPath.size() < 257)
        longPath += "\\d";
    longPath += "x";
    EXPECT_EQ(259u, strlen(ShortenPathToWidth(label, longPath.c_str(), 100000)));
    EXPECT_STREQ("...\\dx", ShortenPathToWidth(label, longPath.c_str(), 1));
    DestroyWindow(label);
}

}  // namespace

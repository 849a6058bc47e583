#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "progress.h"

namespace {

// The progress line written to a memory stream, on a clock the test turns.
struct Screen {
    char* text = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&text, &size);
    double now = 100;
    ~Screen()
    {
        std::fclose(stream);
        std::free(text);
    }
    std::string Shown()
    {
        std::fflush(stream);
        return std::string(text, size);
    }
};

TEST(Progress, OnATerminalOneLineRewrittenAFewTimesASecond)
{
    Screen screen;
    Progress progress(screen.stream, true, false, [&screen] { return screen.now; });
    progress.SetTotals(10, 4 << 20);
    progress.Update(1, 1 << 20);
    screen.now += 0.5;
    progress.Update(2, 1 << 20);
    EXPECT_EQ(screen.Shown(), "") << "a short build shows nothing";
    screen.now += 0.6;
    progress.Update(3, 2 << 20);
    EXPECT_EQ(screen.Shown(), "\rquillex: 3/10 files, 2.0 MiB of 4.0 MiB (50%)");
    screen.now += 0.1;
    progress.Update(4, 3 << 20);
    EXPECT_EQ(screen.Shown(), "\rquillex: 3/10 files, 2.0 MiB of 4.0 MiB (50%)") << "too soon for another";
    screen.now += Progress::TerminalInterval;
    progress.Update(10, 4 << 20);
    progress.Finish();
    EXPECT_EQ(screen.Shown(),
              "\rquillex: 3/10 files, 2.0 MiB of 4.0 MiB (50%)"
              "\rquillex: 10/10 files, 4.0 MiB of 4.0 MiB (100%)"
              "\rquillex: 10/10 files, 4.0 MiB of 4.0 MiB (100%)\n");
}

TEST(Progress, AShorterLineBlanksWhatTheLongerOneLeft)
{
    Screen screen;
    Progress progress(screen.stream, true, false, [&screen] { return screen.now; });
    progress.SetTotals(100, 2048);
    screen.now += 2;
    progress.Update(10, 1024);
    screen.now += 1;
    progress.Update(100, 2048);
    std::string shown = screen.Shown();
    std::string first = "\rquillex: 10/100 files, 1.0 KiB of 2.0 KiB (50%)";
    ASSERT_EQ(shown.substr(0, first.size()), first);
    std::string second = shown.substr(first.size());
    EXPECT_EQ(second, "\rquillex: 100/100 files, 2.0 KiB of 2.0 KiB (100%)");
    EXPECT_GE(second.size(), first.size());
}

TEST(Progress, IntoALogPlainLinesNowAndThen)
{
    Screen screen;
    Progress progress(screen.stream, false, false, [&screen] { return screen.now; });
    progress.SetTotals(3, 3000);
    screen.now += 1.5;
    progress.Update(1, 1000);
    screen.now += 1;
    progress.Update(2, 2000);
    screen.now += Progress::LogInterval;
    progress.Update(3, 3000);
    progress.Finish();
    EXPECT_EQ(screen.Shown(),
              "quillex: 1/3 files, 1000 bytes of 2.9 KiB (33%)\n"
              "quillex: 3/3 files, 2.9 KiB of 2.9 KiB (100%)\n");
}

TEST(Progress, QuietShowsNothing)
{
    Screen screen;
    Progress progress(screen.stream, true, true, [&screen] { return screen.now; });
    progress.SetTotals(1, 1);
    screen.now += 60;
    progress.Update(1, 1);
    progress.Finish();
    EXPECT_EQ(screen.Shown(), "");
}

}  // namespace

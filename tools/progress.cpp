#include "progress.h"

#include <chrono>
#include <string>

namespace {

std::string Amount(uint64_t bytes)
{
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%u bytes", unsigned(bytes));
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", double(bytes) / 1024);
    else if (bytes < uint64_t(1024) * 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / (1024 * 1024));
    else
        std::snprintf(text, sizeof text, "%.2f GiB", double(bytes) / (1024 * 1024 * 1024));
    return text;
}

}  // namespace

Progress::Progress(FILE* out, bool terminal, bool quiet, std::function<double()> clock)
    : out_(out), terminal_(terminal), quiet_(quiet), clock_(std::move(clock))
{
    if (!clock_) {
        clock_ = [] {
            using namespace std::chrono;
            return duration<double>(steady_clock::now().time_since_epoch()).count();
        };
    }
    start_ = clock_();
}

void Progress::SetTotals(uint64_t files, uint64_t bytes)
{
    totalFiles_ = files;
    totalBytes_ = bytes;
}

void Progress::Update(uint64_t files, uint64_t bytes)
{
    files_ = files;
    bytes_ = bytes;
    if (quiet_)
        return;
    double now = clock_();
    if (now - start_ < QuietStart)
        return;
    if (shown_ >= 0 && now - shown_ < (terminal_ ? TerminalInterval : LogInterval))
        return;
    shown_ = now;
    Show();
}

void Progress::Show()
{
    std::string line = "quillex: " + std::to_string(files_) + "/" + std::to_string(totalFiles_) +
                       " files, " + Amount(bytes_) + " of " + Amount(totalBytes_);
    if (totalBytes_ > 0)
        line += " (" + std::to_string(bytes_ * 100 / totalBytes_) + "%)";
    if (terminal_) {
        size_t width = line.size();
        if (width < width_)
            line.append(width_ - width, ' ');
        width_ = width;
        std::fprintf(out_, "\r%s", line.c_str());
    } else {
        std::fprintf(out_, "%s\n", line.c_str());
    }
    std::fflush(out_);
}

void Progress::Finish()
{
    if (quiet_ || shown_ < 0)
        return;
    if (terminal_) {
        Show();
        std::fputc('\n', out_);
        std::fflush(out_);
    }
    shown_ = -1;
}

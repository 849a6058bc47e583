// The progress line of a long build on stderr: files and bytes done. On a
// terminal it is one line rewritten in place a few times a second; into a
// file or a pipe it is a plain line now and then, so logs stay readable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

class Progress {
public:
    // `clock` gives seconds from any fixed start; the default is the
    // system's monotonic clock.
    Progress(FILE* out, bool terminal, bool quiet, std::function<double()> clock = {});
    void SetTotals(uint64_t files, uint64_t bytes);
    // Tells how far the build is; shows it when the build has run long
    // enough and the last line is old enough.
    void Update(uint64_t files, uint64_t bytes);
    // Ends the line in place, when one was shown.
    void Finish();

    // A build shorter than this shows no progress at all.
    static constexpr double QuietStart = 1.0;
    static constexpr double TerminalInterval = 0.25;
    static constexpr double LogInterval = 5.0;

private:
    void Show();
    FILE* out_;
    bool terminal_;
    bool quiet_;
    std::function<double()> clock_;
    double start_;
    double shown_ = -1;
    size_t width_ = 0;   // of the line on screen, to blank what a shorter one leaves
    uint64_t files_ = 0, bytes_ = 0, totalFiles_ = 0, totalBytes_ = 0;
};

// Shared pieces of the qxpack subcommands: messages,
// exit codes, whole-file input and the progress bar.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "InputFile.h"

// Exit codes: 0 success, 1 the work failed, 2 the command line was wrong.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// "qxpack COMMAND: message" on stderr; answers kExitFailed.
int Fail(const char* command, const std::string& message);
// Same with a hint to --help; answers kExitUsage. An empty command stands
// for qxpack itself.
int UsageError(const std::string& command, const std::string& message);

// The progress line for done of total bytes after seconds: bar, percent,
// bytes, rate and label, as much as fits in columns - 1 characters (the last
// column would make some terminals wrap).
std::string ProgressLine(uint64_t done, uint64_t total, double seconds, const std::string& label,
                         int columns);

// A progress line on stderr, drawn only when enabled (stderr a terminal, no
// --quiet), as wide as the terminal (COLUMNS or 80 when it cannot tell).
class ProgressBar {
public:
    ProgressBar(uint64_t total, bool enabled);
    ~ProgressBar();
    void update(uint64_t done, const std::string& label = {});
    void finish();

private:
    uint64_t total_;
    bool enabled_;
    int columns_ = 80;
    bool shown_ = false;
    std::string lastLabel_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDrawn_;
};
bool ProgressWanted();

// Shared pieces of the qxpack subcommands: messages,
// exit codes, whole-file input and the progress bar.
#pragma once

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

// A one-line bar on stderr, drawn only when stderr is a terminal.
class ProgressBar {
public:
    ProgressBar(uint64_t total, bool enabled);
    ~ProgressBar();
    void update(uint64_t done, const std::string& label = {});
    void finish();

private:
    uint64_t total_;
    bool enabled_;
    int lastShown_ = -1;
    std::string lastLabel_;
};
bool ProgressWanted();

// Shared pieces of the qxpack subcommands: argument handling, messages,
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

// Options and operands of one subcommand. Options may come anywhere before
// "--"; "--name=value" and "--name value" are the same.
struct Arguments {
    std::vector<std::string> operands;
    std::vector<std::pair<std::string, std::string>> options; // name without dashes, value
    bool help = false;
};

// valued lists the options that take a value, flags those that take none.
// On a wrong option, prints the usage error and answers false.
bool ParseArguments(const char* command, int argc, char** argv,
                    const std::vector<std::string>& valued, const std::vector<std::string>& flags,
                    Arguments* out);
bool HasOption(const Arguments& args, const std::string& name);
// The last value given for name, or fallback.
std::string OptionValue(const Arguments& args, const std::string& name,
                        const std::string& fallback = {});

// "qxpack COMMAND: message" on stderr; answers kExitFailed.
int Fail(const char* command, const std::string& message);
// Same with a hint to --help; answers kExitUsage.
int UsageError(const char* command, const std::string& message);

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

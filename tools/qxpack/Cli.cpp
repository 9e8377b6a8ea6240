#include "Cli.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "HostPlatform.h"

int Fail(const char* command, const std::string& message) {
    std::fprintf(stderr, "qxpack %s: %s\n", command, message.c_str());
    return kExitFailed;
}

int UsageError(const std::string& command, const std::string& message) {
    const std::string name = command.empty() ? "qxpack" : "qxpack " + command;
    std::fprintf(stderr, "%s: %s (see '%s --help')\n", name.c_str(), message.c_str(), name.c_str());
    return kExitUsage;
}

ProgressBar::ProgressBar(uint64_t total, bool enabled) : total_(total), enabled_(enabled) {}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(uint64_t done, const std::string& label) {
    if (!enabled_) return;
    const int percent = total_ == 0 ? 100 : int(std::min<uint64_t>(done, total_) * 100 / total_);
    if (percent == lastShown_ && label == lastLabel_) return;
    lastShown_ = percent;
    lastLabel_ = label;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::string shown = label.size() > 40 ? "..." + label.substr(label.size() - 37) : label;
    std::fprintf(stderr, "\r[%s%s] %3d%% %-40s", std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(kWidth - filled), ' ').c_str(), percent, shown.c_str());
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!enabled_ || lastShown_ < 0) return;
    // Clear the line so that messages after it start clean.
    std::fprintf(stderr, "\r%80s\r", "");
    std::fflush(stderr);
    lastShown_ = -1;
}

bool ProgressWanted() {
    return IsTerminal(stderr);
}

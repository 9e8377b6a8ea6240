#include "Cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Commands.h"
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

namespace {

std::string ByteText(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    size_t unit = 0;
    while (bytes >= 1024 && unit + 1 < sizeof units / sizeof *units) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

} // namespace

std::string ProgressLine(uint64_t done, uint64_t total, double seconds, const std::string& label,
                         int columns) {
    const size_t width = size_t(columns > 1 ? columns - 1 : 0); // the last column would wrap
    done = std::min(done, total);
    const int percent = total == 0 ? 100 : int(done * 100 / total);
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%3d%% %s of %s", percent,
                  ByteText(double(done)).c_str(), ByteText(double(total)).c_str());
    std::string text = numbers;
    if (seconds > 0.05) text += "  " + ByteText(double(done) / seconds) + "/s";
    if (text.size() >= width) return text.substr(0, width);
    // A bar only where the widest figures (43 columns) and 16 of the label
    // fit beside it, so that it keeps its width; the label takes the rest,
    // shortened at its start so that the member's own name stays.
    size_t room = width - text.size();
    const size_t bar = width >= 64 + 8 ? std::min<size_t>(30, width - 64) : 0;
    std::string line;
    if (bar > 0 && room >= bar + 3) {
        const size_t filled = total == 0 ? bar : size_t(done * bar / total);
        line = "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "] ";
        room -= bar + 3;
    }
    line += text;
    if (!label.empty() && room >= 6) {
        const size_t keep = room - 2;
        line +=
            "  " + (label.size() <= keep ? label : "..." + label.substr(label.size() - (keep - 3)));
    }
    return line;
}

ProgressBar::ProgressBar(uint64_t total, bool enabled)
    : total_(total), enabled_(enabled), start_(std::chrono::steady_clock::now()) {
    if (!enabled_) return;
    columns_ = TerminalColumns(stderr);
    if (columns_ <= 0) {
        const char* env = std::getenv("COLUMNS");
        columns_ = env ? std::atoi(env) : 0;
    }
    if (columns_ <= 0) columns_ = 80;
}

ProgressBar::~ProgressBar() {
    finish();
}

void ProgressBar::update(uint64_t done, const std::string& label) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    // Redrawn for a new label, the end, or at most ten times a second.
    if (shown_ && label == lastLabel_ && done < total_ &&
        now - lastDrawn_ < std::chrono::milliseconds(100))
        return;
    shown_ = true;
    lastDrawn_ = now;
    lastLabel_ = label;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::string line = ProgressLine(done, total_, seconds, label, columns_);
    line.resize(size_t(columns_ > 1 ? columns_ - 1 : 0), ' '); // covers the longer line before
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
}

void ProgressBar::finish() {
    if (!enabled_ || !shown_) return;
    // Clear the line so that messages after it start clean.
    std::fprintf(stderr, "\r%s\r",
                 std::string(size_t(columns_ > 1 ? columns_ - 1 : 0), ' ').c_str());
    std::fflush(stderr);
    shown_ = false;
}

bool ProgressWanted() {
    return IsTerminal(stderr);
}

void AddJobsOption(CLI::App* command, int* jobs, const char* description) {
    *jobs = int(ProcessorCount());
    command->add_option("-j,--jobs", *jobs, description)
        ->type_name("N")
        ->check([](const std::string& value) {
            return value.find_first_not_of("0123456789") == std::string::npos && value.size() < 5 &&
                           std::stoi("0" + value) >= 1
                       ? std::string()
                       : "must be a number from 1 to 9999, not '" + value + "'";
        });
}

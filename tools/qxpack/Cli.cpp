#include "Cli.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "HostPlatform.h"

bool ParseArguments(const char* command, int argc, char** argv,
                    const std::vector<std::string>& valued, const std::vector<std::string>& flags,
                    Arguments* out) {
    auto known = [](const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out->operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            out->help = true;
            continue;
        }
        if (arg.compare(0, 2, "--") != 0) {
            UsageError(command, "unknown option '" + arg + "'");
            return false;
        }
        std::string name = arg.substr(2);
        std::string value;
        const size_t equals = name.find('=');
        const bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            value = name.substr(equals + 1);
            name.erase(equals);
        }
        if (known(valued, name)) {
            if (!inlineValue) {
                if (i + 1 >= argc) {
                    UsageError(command, "option '--" + name + "' needs a value");
                    return false;
                }
                value = argv[++i];
            }
        } else if (known(flags, name)) {
            if (inlineValue) {
                UsageError(command, "option '--" + name + "' takes no value");
                return false;
            }
        } else {
            UsageError(command, "unknown option '--" + name + "'");
            return false;
        }
        out->options.emplace_back(name, value);
    }
    return true;
}

bool HasOption(const Arguments& args, const std::string& name) {
    for (const auto& option : args.options)
        if (option.first == name) return true;
    return false;
}

std::string OptionValue(const Arguments& args, const std::string& name,
                        const std::string& fallback) {
    std::string value = fallback;
    for (const auto& option : args.options)
        if (option.first == name) value = option.second;
    return value;
}

int Fail(const char* command, const std::string& message) {
    std::fprintf(stderr, "qxpack %s: %s\n", command, message.c_str());
    return kExitFailed;
}

int UsageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "qxpack %s: %s (see 'qxpack %s --help')\n", command, message.c_str(),
                 command);
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

// A fresh directory for one test, removed with everything below it
// afterwards. path() is spelled as the file layer takes paths ("\"
// separators); native() as the standard library takes them.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#include <unistd.h>
#endif

class ScratchDir {
public:
    ScratchDir() {
#ifdef _WIN32
        char base[MAX_PATH + 1];
        GetTempPathA(sizeof base, base);
        static unsigned counter = 0;
        for (;;) {
            native_ = std::string(base) + "qxtest" + std::to_string(GetCurrentProcessId()) + "_" +
                      std::to_string(++counter);
            if (CreateDirectoryA(native_.c_str(), nullptr)) break;
        }
        path_ = native_;
#else
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/qxtest.XXXXXX";
        native_ = mkdtemp(pattern.data()) ? pattern : std::string();
        path_ = native_;
        for (char& c : path_)
            if (c == '/') c = '\\';
#endif
    }
    ~ScratchDir() {
        std::error_code ignored;
        // Read-only entries must become writable before they can be removed.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(native_, ignored))
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(native_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory itself, or a path below it: sub("a\\b").
    const std::string& path() const {
        return path_;
    }
    std::string sub(const std::string& relative) const {
        return path_ + "\\" + relative;
    }
    // The native spelling of a path in the layer's spelling.
    static std::string Native(const std::string& layerPath) {
        std::string result = layerPath;
#ifndef _WIN32
        for (char& c : result)
            if (c == '\\') c = '/';
#endif
        return result;
    }

private:
    std::string native_;
    std::string path_;
};

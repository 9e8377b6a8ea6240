// The link-free root and the created-file watch, for both platforms.
#include "FileIoInternal.h"

#include <atomic>
#include <cstring>

namespace {

std::string linkFreeRoot;       // as given
std::string linkFreeRootSystem; // the system's spelling, no trailing separator
std::string refusedLink;
// Members may be extracted on several threads; the refusal is noted under
// this small lock.
std::atomic_flag refusedLinkBusy = ATOMIC_FLAG_INIT;
CreatedFileWatch createdFileWatch = nullptr;
RefusedLinkWatch refusedLinkWatch = nullptr;

void NoteRefusedLink(const std::string& link) {
    while (refusedLinkBusy.test_and_set(std::memory_order_acquire)) {
    }
    refusedLink = link;
    refusedLinkBusy.clear(std::memory_order_release);
    if (refusedLinkWatch != nullptr) refusedLinkWatch(link);
}

bool IsSeparator(char c, const char* separators) {
    return c != '\0' && std::strchr(separators, c) != nullptr;
}

} // namespace

void SetLinkFreeRoot(const std::string& root) {
    if (root == linkFreeRoot) return; // nested guards keep what the inner one met
    linkFreeRoot = root;
    linkFreeRootSystem = SystemSpelling(root);
    while (linkFreeRootSystem.size() > 1 &&
           (linkFreeRootSystem.back() == '/' || linkFreeRootSystem.back() == '\\'))
        linkFreeRootSystem.pop_back();
    refusedLink.clear();
}

const std::string& LinkFreeRoot() {
    return linkFreeRoot;
}

const std::string& RefusedLink() {
    return refusedLink;
}

SysError CheckNoLinkBelowRoot(const std::string& systemPath, const char* separators,
                              EntryKind (*probe)(const std::string& systemPath)) {
    const std::string& root = linkFreeRootSystem;
    if (root.empty() || systemPath.size() <= root.size() ||
        systemPath.compare(0, root.size(), root) != 0)
        return 0;
    // "/" as the root: every absolute path lies below it.
    size_t at = root.size();
    if (!IsSeparator(root.back(), separators) && !IsSeparator(systemPath[at], separators)) return 0;
    while (at < systemPath.size()) {
        while (at < systemPath.size() && IsSeparator(systemPath[at], separators)) ++at;
        if (at == systemPath.size()) break;
        while (at < systemPath.size() && !IsSeparator(systemPath[at], separators)) ++at;
        const std::string prefix = systemPath.substr(0, at);
        switch (probe(prefix)) {
        case EntryKind::Missing: return 0; // nothing exists below it
        case EntryKind::Link: NoteRefusedLink(prefix); return kLinkInTheWay;
        case EntryKind::Other: break;
        }
    }
    return 0;
}

void WatchRefusedLinks(RefusedLinkWatch watch) {
    refusedLinkWatch = watch;
}

void WatchCreatedFiles(CreatedFileWatch watch) {
    createdFileWatch = watch;
}

void ReportCreatedFile(const char* systemPath) {
    if (createdFileWatch != nullptr) createdFileWatch(systemPath);
}

uint32_t DosDateTimeOf(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980) return kDosDateTimeEarliest;
    if (year > 2107) return kDosDateTimeLatest;
    const uint32_t date = uint32_t(year - 1980) << 9 | uint32_t(month) << 5 | uint32_t(day);
    const uint32_t time =
        uint32_t(hour) << 11 | uint32_t(minute) << 5 | uint32_t(second > 59 ? 59 : second) / 2;
    return date << 16 | time;
}

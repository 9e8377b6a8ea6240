// Removal of half-written files when the tool is interrupted. On SIGINT,
// SIGTERM and SIGHUP the handler removes every path registered at that
// moment and ends the process with 128 + the signal's number. The handler is
// installed with the first registration.
//
// Registrations come from one thread; threads that run while paths are
// registered should block these signals, so the handler runs on this one.
#pragma once

#include <string>

// A path removed on interruption while the object lives (none when empty).
class RemovedOnInterrupt {
public:
    RemovedOnInterrupt() = default;
    explicit RemovedOnInterrupt(const std::string& path) { set(path); }
    ~RemovedOnInterrupt() { clear(); }
    RemovedOnInterrupt(const RemovedOnInterrupt&) = delete;
    RemovedOnInterrupt& operator=(const RemovedOnInterrupt&) = delete;

    // path as the system spells it; a later set replaces it.
    void set(const char* path);
    void set(const std::string& path) { set(path.c_str()); }
    void clear();

private:
    int slot_ = -1;
};

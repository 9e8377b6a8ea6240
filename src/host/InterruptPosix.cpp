#include "Interrupt.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// Fixed storage: the handler may only read memory and call unlink and _exit.
struct Slot {
    std::atomic<bool> taken{false};
    std::atomic<bool> armed{false};
    char path[PATH_MAX];
};
constexpr int kSlots = 8;
Slot slots[kSlots];
static_assert(std::atomic<bool>::is_always_lock_free, "the handler reads these flags");

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveRegisteredAndExit(int signal) {
    for (Slot& slot : slots)
        if (slot.armed.load()) ::unlink(slot.path);
    ::_exit(128 + signal);
}

void InstallHandlerOnce() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = RemoveRegisteredAndExit;
    sigfillset(&action.sa_mask);
    for (const int signal : kSignals) {
        // A signal ignored when the tool started (nohup) stays ignored.
        struct sigaction previous;
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
}

// Keeps the handler out while a slot changes.
class BlockedSignals {
public:
    BlockedSignals() {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : kSignals) sigaddset(&set, signal);
        ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~BlockedSignals() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

private:
    sigset_t previous_;
};

} // namespace

void RemovedOnInterrupt::set(const char* path) {
    const BlockedSignals blocked;
    InstallHandlerOnce();
    if (slot_ < 0) {
        for (int i = 0; i < kSlots && slot_ < 0; ++i)
            if (!slots[i].taken.exchange(true)) slot_ = i;
        if (slot_ < 0) return; // more than the tool ever registers at once
    }
    Slot& slot = slots[slot_];
    slot.armed.store(false);
    const size_t length = std::strlen(path);
    if (length == 0 || length >= sizeof slot.path) return;
    std::memcpy(slot.path, path, length + 1);
    slot.armed.store(true);
}

void RemovedOnInterrupt::clear() {
    if (slot_ < 0) return;
    const BlockedSignals blocked;
    slots[slot_].armed.store(false);
    slots[slot_].taken.store(false);
    slot_ = -1;
}

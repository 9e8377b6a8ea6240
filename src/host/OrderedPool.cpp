#include "OrderedPool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "HostPlatform.h"

bool RunInOrder(size_t count, unsigned threads, size_t ahead,
                const std::function<void(size_t)>& work, const std::function<bool(size_t)>& consume,
                const std::function<void()>& tick, unsigned tickMilliseconds) {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<char> finished(count, 0);
    size_t nextToStart = 0;
    size_t nextToConsume = 0;
    bool stopping = false;
    ahead = std::max<size_t>(ahead, 1);

    auto worker = [&] {
        std::unique_lock<std::mutex> held(lock);
        for (;;) {
            changed.wait(held, [&] {
                return stopping || nextToStart == count || nextToStart < nextToConsume + ahead;
            });
            if (stopping || nextToStart == count) return;
            const size_t item = nextToStart++;
            held.unlock();
            work(item);
            held.lock();
            finished[item] = 1;
            changed.notify_all();
        }
    };
    std::vector<std::thread> pool;
    const size_t size = std::min<size_t>(std::max(threads, 1u), count);
    for (size_t t = 0; t < size; ++t) pool.emplace_back(worker);

    bool complete = true;
    for (size_t item = 0; item < count; ++item) {
        std::unique_lock<std::mutex> held(lock);
        while (!changed.wait_for(held, std::chrono::milliseconds(tickMilliseconds),
                                 [&] { return finished[item] != 0; })) {
            held.unlock();
            if (tick) tick();
            held.lock();
        }
        held.unlock();
        const bool taken = consume(item);
        held.lock();
        nextToConsume = item + 1;
        if (!taken) stopping = true;
        changed.notify_all();
        if (!taken) {
            complete = false;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> held(lock);
        stopping = true;
        changed.notify_all();
    }
    for (std::thread& t : pool) t.join();
    return complete;
}

unsigned DefaultThreadCount() {
    return ProcessorCount();
}

// A small pool of threads whose results are taken in order: the work items
// run side by side, the caller consumes them one after the other as if they
// had run in sequence.
#pragma once

#include <cstddef>
#include <functional>

// Runs work(i) for i from 0 to count - 1 on up to threads threads and hands
// each finished i to consume(i) on the calling thread, in increasing order.
// No item starts more than ahead places after the one that consume waits
// for, which bounds the finished results that wait for their turn. While it
// waits, the calling thread runs tick() about every tickMilliseconds. Once
// consume answers false no further item starts; the running ones are waited
// for. Answers whether every item was consumed.
bool RunInOrder(size_t count, unsigned threads, size_t ahead,
                const std::function<void(size_t)>& work, const std::function<bool(size_t)>& consume,
                const std::function<void()>& tick, unsigned tickMilliseconds = 100);

// The default number of threads: one per core.
unsigned DefaultThreadCount();

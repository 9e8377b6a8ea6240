// Explode over host callbacks (lambdas instead of C callbacks and a
// parameter), and the words for its results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Fills buffer with up to capacity bytes and answers the count; 0 ends the input.
using StreamRead = std::function<uint32_t(uint8_t* buffer, uint32_t capacity)>;
using StreamWrite = std::function<void(const uint8_t* data, uint32_t size)>;

// One decode with a work area of its own; answers the Explode result.
uint32_t ExplodeStream(const StreamRead& read, const StreamWrite& write);

// The 4-byte compressed form of an empty file: a valid header and the end
// marker. Explode answers ExplodeBadData for it (too short to decode), so
// readers take it as empty output themselves.
bool IsEmptyStream(const uint8_t* data, size_t size);

// "the end marker was decoded", "the stream ends before its end marker", ...
const char* ExplodeResultText(uint32_t result);
// Why a whole stream of size bytes starting with head (its first bytes, up
// to 2) did not decode to result: a stream of 4 bytes or fewer is named for
// its header when that is invalid, and for its length otherwise.
std::string StreamFaultText(const uint8_t* head, size_t headSize, size_t size, uint32_t result);

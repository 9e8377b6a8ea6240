// One member of an archive packed from its file: read in pieces, its
// encoding chosen and made, its packed data kept in a PackedBuffer. Members
// of one archive are packed on several threads at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "ArchiveLayout.h"
#include "ArchiveWriter.h"
#include "PackedBuffer.h"

// What the members of one archive share.
struct PackContext {
    const PackOptions* options = nullptr;
    std::string output; // the output's target: scratch files go beside it
    size_t memoryPerStream = 0;
    // A lower bound of the output's final size: the bytes already written,
    // the records' fixed parts and the packed data so far. Once it passes
    // options->sizeLimit the output can't fit.
    std::atomic<uint64_t> size{0};
    std::atomic<uint64_t> done{0}; // input bytes times encodings, for progress
    std::atomic<bool> cancelled{false};
};

struct PackResult {
    MemberHeader header{};
    ImplodeChoice choice;
    std::unique_ptr<PackedBuffer> data;
    std::string error; // empty on success
};

// Encodings of a member: every candidate when exhaustive, otherwise one.
size_t EncodingsPerMember(const PackOptions& options);

// The one-line reason for an output that would pass the size limit.
std::string TooLargeOutput(const std::string& output);

void PackMember(const PackSource& source, PackContext& context, PackResult* result);

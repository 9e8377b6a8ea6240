#include "MemberPacker.h"

#include <algorithm>
#include <vector>

#include "Crc32.h"
#include "StreamFiles.h"

namespace {

constexpr size_t kReadBlock = size_t(1) << 18;
// The sample whose byte statistics choose a member's encoding: slices spread
// evenly over the file, so a file whose content changes halfway is seen
// whole. Smaller files are taken whole.
constexpr size_t kSampleSlices = 8;
constexpr size_t kSliceBytes = 4096;

bool ReadSample(InputStream& in, uint64_t size, std::vector<uint8_t>* sample, std::string* error) {
    const size_t whole = kSampleSlices * kSliceBytes;
    sample->resize(size_t(std::min<uint64_t>(size, whole)));
    size_t got = 0;
    if (size <= whole) return in.read(sample->data(), sample->size(), &got, error);
    for (size_t k = 0; k < kSampleSlices; ++k) {
        const uint64_t at = (size - kSliceBytes) * k / (kSampleSlices - 1);
        if (!in.seek(at, error) ||
            !in.read(sample->data() + k * kSliceBytes, kSliceBytes, &got, error))
            return false;
    }
    return true;
}

std::vector<ImplodeChoice> ChooseEncodings(InputStream& in, const PackSource& source,
                                           const PackOptions& options, std::string* error) {
    if (options.exhaustive || options.candidates.size() <= 1) return options.candidates;
    std::vector<uint8_t> sample;
    if (!ReadSample(in, source.size, &sample, error) || !in.seek(0, error)) return {};
    return {LikelyImplodeChoice(sample.data(), sample.size(), options.candidates)};
}

// One encoding of the member into its own buffer.
struct Encoding {
    Encoding(ImplodeChoice c, const PackContext& context)
        : choice(c), data(std::make_unique<PackedBuffer>(context.memoryPerStream, context.output)),
          encoder(c, [this](const uint8_t* bytes, size_t size) {
              if (error.empty()) data->append(bytes, size, &error);
          }) {}

    ImplodeChoice choice;
    std::unique_ptr<PackedBuffer> data;
    std::string error; // of the scratch file
    ImplodeEncoder encoder;
};

// Adds the growth of the member's shortest encoding to the shared size;
// false once the output can no longer fit.
bool CountPacked(const std::vector<std::unique_ptr<Encoding>>& encodings, uint64_t* counted,
                 PackContext& context) {
    uint64_t shortest = UINT64_MAX;
    for (const auto& e : encodings) shortest = std::min(shortest, e->data->size());
    // Encodings only grow, so the shortest so far never exceeds the final one.
    const uint64_t growth = shortest - *counted;
    *counted = shortest;
    return context.size.fetch_add(growth) + growth <= context.options->sizeLimit;
}

bool FirstError(const std::vector<std::unique_ptr<Encoding>>& encodings, std::string* error) {
    for (const auto& e : encodings) {
        if (!e->error.empty()) {
            *error = e->error;
            return true;
        }
    }
    return false;
}

} // namespace

size_t EncodingsPerMember(const PackOptions& options) {
    return options.exhaustive ? std::max<size_t>(1, options.candidates.size()) : 1;
}

std::string TooLargeOutput(const std::string& output) {
    return output + ": the payload would reach 2 GiB, more than an installer holds";
}

void PackMember(const PackSource& source, PackContext& context, PackResult* result) {
    std::string& error = result->error;
    InputStream in;
    if (!in.open(source.path, &error)) return;
    std::vector<std::unique_ptr<Encoding>> encodings;
    for (const ImplodeChoice& c : ChooseEncodings(in, source, *context.options, &error))
        encodings.push_back(std::make_unique<Encoding>(c, context));
    if (encodings.empty()) {
        if (error.empty()) error = source.path + ": no literal mode and dictionary to encode with";
        return;
    }

    std::vector<uint8_t> block(kReadBlock);
    uint32_t crc = kCrcStart;
    uint64_t read = 0;
    uint64_t counted = 0;
    for (;;) {
        if (context.cancelled) {
            error = "cancelled";
            return;
        }
        size_t got = 0;
        if (!in.read(block.data(), block.size(), &got, &error)) return;
        if (got == 0) break;
        read += got;
        // The size was checked against the member limit; a file that grows
        // stops here, before it could pass it.
        if (read > source.size) break;
        crc = UpdateCrc32(block.data(), uint32_t(got), crc);
        for (const auto& e : encodings) e->encoder.write(block.data(), got);
        context.done += got * encodings.size();
        if (FirstError(encodings, &error)) return;
        if (!CountPacked(encodings, &counted, context)) {
            error = TooLargeOutput(context.output);
            return;
        }
    }
    if (read != source.size) {
        error = source.path + ": changed while it was packed";
        return;
    }
    for (const auto& e : encodings) e->encoder.finish();
    if (FirstError(encodings, &error)) return;
    if (!CountPacked(encodings, &counted, context)) {
        error = TooLargeOutput(context.output);
        return;
    }

    // The shortest, the first of equal ones: the same whatever the timing.
    size_t best = 0;
    for (size_t k = 1; k < encodings.size(); ++k)
        if (encodings[k]->data->size() < encodings[best]->data->size()) best = k;
    Encoding& chosen = *encodings[best];
    result->choice = chosen.choice;
    result->header.dosDateTime = source.dosDateTime;
    result->header.unpackedSize = uint32_t(read);
    result->header.attributes = source.attributes;
    result->header.packedSize = uint32_t(chosen.data->size());
    result->header.crc = crc;
    result->data = std::move(chosen.data);
}

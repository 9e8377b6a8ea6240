#include "ArchiveWriter.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <set>
#include <system_error>

#include "Crc32.h"
#include "DosTime.h"
#include "Encript.h"
#include "Global.h"
#include "HostPlatform.h"
#include "MemberPacker.h"
#include "OrderedPool.h"
#include "MemberName.h"
#include "PayloadEnd.h"
#include "ShortUtl.h"
#include "StreamFiles.h"

namespace fs = std::filesystem;

namespace {

// How much of the stub the PE header is looked for in.
constexpr size_t kStubHeadSize = 4096;

constexpr uint32_t kKeptAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

// The member name of a path below the packed folder, or a reason it has none.
bool MemberNameOf(const fs::path& relative, std::string* name, std::string* reason) {
    name->clear();
    for (const fs::path& part : relative) {
        const std::string text = part.string();
        if (text.find('\\') != std::string::npos) {
            *reason = "its name holds a backslash, which the installer reads as a folder break";
            return false;
        }
        if (!name->empty()) *name += '\\';
        *name += text;
    }
    if (name->size() > 0xFFFF) {
        *reason = "its member name is longer than 65535 bytes";
        return false;
    }
    if (!IsAcceptableMemberName(*name)) {
        *reason = "the installer refuses the member name '" + *name +
                  "' (a device name, a trailing dot or blank, a reserved or control character, "
                  "or tempfile.$$$ at the top)";
        return false;
    }
    return true;
}

} // namespace

bool CollectPackSources(const std::string& dir, std::vector<PackSource>* sources,
                        std::string* error, DosTimeZone zone) {
    sources->clear();
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        *error = dir + ": not a folder";
        return false;
    }
    int64_t epoch = 0;
    bool epochSet = false;
    if (!ReadSourceDateEpoch(&epoch, &epochSet, error)) return false;
    if (zone == DosTimeZone::Automatic) zone = epochSet ? DosTimeZone::Utc : DosTimeZone::Local;

    fs::recursive_directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        const std::string path = entry.path().string();
        std::error_code statusError;
        if (entry.is_symlink(statusError) && entry.is_directory(statusError)) {
            *error = path + ": a link to a folder is not packed (pack the folder itself)";
            return false;
        }
        if (entry.is_directory(statusError)) continue;
        if (!entry.is_regular_file(statusError)) {
            *error = path + ": " + KindOfFile(path) + ", not a regular file";
            return false;
        }
        PackSource source;
        std::string reason;
        if (!MemberNameOf(entry.path().lexically_relative(dir), &source.memberName, &reason)) {
            *error = path + ": " + reason;
            return false;
        }
        source.path = path;
        source.size = entry.file_size(statusError);
        if (statusError) {
            *error = path + ": cannot read its size: " + statusError.message();
            return false;
        }
        if (source.size > 0xFFFFFFFEu) {
            *error = path + ": too large for a member (4 GiB or more)";
            return false;
        }
        int64_t modified = 0;
        if (const SysError code = ModificationTime(path, &modified)) {
            *error = path + ": cannot read its modification time: " + SystemErrorText(code);
            return false;
        }
        if (epochSet && modified > epoch) modified = epoch;
        source.dosDateTime = DosDateTimeFromUnix(modified, zone);
        uint32_t attributes = 0;
        if (const SysError code = QueryFileAttributes(path, &attributes)) {
            *error = path + ": cannot read its attributes: " + SystemErrorText(code);
            return false;
        }
        source.attributes = attributes & kKeptAttributes;
        sources->push_back(std::move(source));
    }
    if (ec) {
        *error = dir + ": cannot list: " + ec.message();
        return false;
    }
    std::sort(sources->begin(), sources->end(),
              [](const PackSource& a, const PackSource& b) { return a.memberName < b.memberName; });
    // Windows file names ignore case: two such members would be one file.
    std::set<std::string> folded;
    for (const PackSource& s : *sources) {
        if (!folded.insert(UpperAscii(s.memberName)).second) {
            *error = s.path + ": its member name '" + s.memberName +
                     "' differs from another only in case";
            return false;
        }
    }
    return true;
}

bool WriteArchive(const std::vector<PackSource>& sources, const PackOptions& options,
                  OutputFile& out, std::vector<PackedMember>* packed, std::string* error) {
    if (packed) packed->clear();
    const size_t encodings = EncodingsPerMember(options);
    const unsigned threads = options.jobs != 0 ? options.jobs : DefaultThreadCount();
    // Room for members to finish ahead of a slow one before the threads wait.
    const size_t ahead = 4 * size_t(threads);

    PackContext context;
    context.options = &options;
    context.output = out.target();
    context.memoryPerStream = options.memoryBudget / (ahead * encodings);
    uint64_t total = 0;
    uint64_t fixed = out.written() + kArchiveChecksumSize;
    for (const PackSource& s : sources) {
        total += s.size * encodings;
        fixed += kNameLengthSize + s.memberName.size() + kMemberHeaderSize;
    }
    context.size = fixed;
    if (fixed > options.sizeLimit) {
        *error = TooLargeOutput(out.target());
        return false;
    }

    SetScrambleKey(options.key);
    uint32_t bodyCrc = kCrcStart;
    // Plain bytes in, scrambled bytes out: the stream is an XOR, so
    // descrambling scrambles.
    auto put = [&](uint8_t* data, size_t size) {
        bodyCrc = UpdateCrc32(data, uint32_t(size), bodyCrc);
        DescrambleBlock(data, int32_t(size));
        return out.write(data, size, error);
    };
    std::vector<PackResult> results(sources.size());
    size_t writing = 0;
    auto report = [&] {
        if (options.progress && writing < sources.size())
            options.progress(context.done, total, sources[writing].memberName);
    };
    auto writeMember = [&](size_t i) {
        PackResult r = std::move(results[i]);
        const PackSource& s = sources[i];
        if (!r.error.empty()) {
            *error = r.error;
            return false;
        }
        std::vector<uint8_t> record(kNameLengthSize + s.memberName.size() + kMemberHeaderSize);
        StoreLe16(record.data(), uint16_t(s.memberName.size()));
        std::copy(s.memberName.begin(), s.memberName.end(), record.begin() + kNameLengthSize);
        EncodeMemberHeader(r.header, record.data() + kNameLengthSize + s.memberName.size());
        if (out.written() + record.size() + r.header.packedSize + kArchiveChecksumSize >
            options.sizeLimit) {
            *error = TooLargeOutput(out.target());
            return false;
        }
        if (!put(record.data(), record.size()) || !r.data->drain(put, error)) return false;
        if (packed) packed->push_back({s.memberName, r.header, r.choice});
        ++writing;
        report();
        return true;
    };
    const bool written = RunInOrder(
        sources.size(), threads, ahead,
        [&](size_t i) { PackMember(sources[i], context, &results[i]); },
        [&](size_t i) {
            if (writeMember(i)) return true;
            context.cancelled = true;
            return false;
        },
        report);
    if (!written) return false;

    uint8_t checksum[kArchiveChecksumSize];
    StoreLe32(checksum, bodyCrc);
    if (options.progress) options.progress(total, total, {});
    return out.write(checksum, sizeof checksum, error);
}

std::string UpperPayloadMarker() {
    return UpperAscii(kPayloadMarkerLower);
}

bool WriteInstaller(const std::string& stubPath, const std::vector<PackSource>& sources,
                    PackOptions options, OutputFile& out, std::vector<PackedMember>* packed,
                    std::string* error) {
    const std::string marker = UpperPayloadMarker();
    InputStream stub;
    if (!stub.open(stubPath, error)) return false;
    // The stub is copied in blocks; the marker is looked for across their
    // seams in the last marker-length bytes kept from the block before.
    std::vector<uint8_t> seen;
    std::vector<uint8_t> head; // the first bytes, for the PE header
    std::vector<uint8_t> block(size_t(1) << 16);
    const uint64_t stubStart = out.written();
    size_t got = 0;
    do {
        if (!stub.read(block.data(), block.size(), &got, error)) return false;
        head.insert(head.end(), block.begin(),
                    block.begin() + ptrdiff_t(std::min(got, kStubHeadSize - head.size())));
        seen.insert(seen.end(), block.begin(), block.begin() + ptrdiff_t(got));
        if (std::search(seen.begin(), seen.end(), marker.begin(), marker.end()) != seen.end()) {
            *error = stubPath +
                     ": the stub already holds the payload marker (an installer, not a stub?)";
            return false;
        }
        seen.erase(seen.begin(), seen.end() - ptrdiff_t(std::min(seen.size(), marker.size())));
        if (out.written() + got > options.sizeLimit) {
            *error = TooLargeOutput(out.target());
            return false;
        }
        if (!out.write(block.data(), got, error)) return false;
    } while (got > 0);
    // A signature on the stub would name a table before the marker, and the
    // installer would refuse itself as damaged.
    const PayloadEnd signature =
        FindPayloadEnd(head.data(), uint32_t(head.size()), uint32_t(out.written() - stubStart),
                       uint32_t(out.written() - stubStart));
    if (signature.signatureOffset != 0 || signature.signatureSize != 0) {
        *error = stubPath + ": the stub is signed (it has a certificate table); sign the "
                            "finished installer instead";
        return false;
    }
    // The installer hands UnpackArchive no key.
    options.key.clear();
    const uint64_t stubEnd = out.written();
    if (!out.write(marker.data(), marker.size(), error) ||
        !WriteArchive(sources, options, out, packed, error))
        return false;
    // Zero bytes between the stub and the marker make the length a multiple
    // of 8, so that a signing tool appends its certificate table without
    // padding. The archive's length is known only now: it moves up.
    const uint32_t padding =
        uint32_t((kInstallerAlignment - out.written() % kInstallerAlignment) % kInstallerAlignment);
    if (out.written() + padding > options.sizeLimit) {
        *error = TooLargeOutput(out.target());
        return false;
    }
    return padding == 0 || out.insertZeros(stubEnd, padding, error);
}

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
#include "InputFile.h"
#include "QxUnZip.h"
#include "ShortUtl.h"

namespace fs = std::filesystem;

namespace {

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
            *error = path + ": not a regular file";
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
    uint64_t total = 0;
    for (const PackSource& s : sources) total += s.size * options.candidates.size();
    uint64_t doneBefore = 0;

    SetScrambleKey(options.key);
    uint32_t bodyCrc = kCrcStart;
    std::vector<uint8_t> plain;
    std::vector<uint8_t> record;
    for (const PackSource& s : sources) {
        if (options.progress) options.progress(doneBefore, total, s.memberName);
        if (!ReadWholeFile(s.path, &plain, error)) return false;
        if (plain.size() != s.size) {
            *error = s.path + ": changed while it was packed";
            return false;
        }
        ImplodeChoice choice;
        const std::vector<uint8_t> stream = ImplodeSmallest(
            plain.data(), plain.size(), options.candidates, &choice, [&](size_t done) {
                if (options.progress) options.progress(doneBefore + done, total, s.memberName);
            });
        doneBefore += s.size * options.candidates.size();

        MemberHeader header;
        header.dosDateTime = s.dosDateTime;
        header.unpackedSize = uint32_t(plain.size());
        header.attributes = s.attributes;
        header.packedSize = uint32_t(stream.size());
        header.crc = UpdateCrc32(plain.data(), uint32_t(plain.size()), kCrcStart);

        const size_t nameSize = s.memberName.size();
        record.resize(kNameLengthSize + nameSize + kMemberHeaderSize + stream.size());
        StoreLe16(record.data(), uint16_t(nameSize));
        std::copy(s.memberName.begin(), s.memberName.end(), record.begin() + kNameLengthSize);
        EncodeMemberHeader(header, record.data() + kNameLengthSize + nameSize);
        std::copy(stream.begin(), stream.end(),
                  record.begin() + ptrdiff_t(kNameLengthSize + nameSize + kMemberHeaderSize));

        if (out.written() + record.size() + kArchiveChecksumSize > kLargestInstaller) {
            *error = out.target() + ": the payload would reach 2 GiB, more than an installer holds";
            return false;
        }
        bodyCrc = UpdateCrc32(record.data(), uint32_t(record.size()), bodyCrc);
        // The stream is an XOR, so descrambling plain bytes scrambles them.
        DescrambleBlock(record.data(), int32_t(record.size()));
        if (!out.write(record.data(), record.size(), error)) return false;
        if (packed) packed->push_back({s.memberName, header, choice});
    }
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
    std::vector<uint8_t> stub;
    if (!ReadWholeFile(stubPath, &stub, error)) return false;
    const std::string marker = UpperPayloadMarker();
    if (std::search(stub.begin(), stub.end(), marker.begin(), marker.end()) != stub.end()) {
        *error =
            stubPath + ": the stub already holds the payload marker (an installer, not a stub?)";
        return false;
    }
    // The installer hands UnpackArchive no key.
    options.key.clear();
    return out.write(stub.data(), stub.size(), error) &&
           out.write(marker.data(), marker.size(), error) &&
           WriteArchive(sources, options, out, packed, error);
}

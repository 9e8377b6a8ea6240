// The archive reader through both of its callers, into fresh destinations:
// no crash, no sanitizer report, and nothing written beside a destination
// (the installer's temporary archive is gone afterwards).
//
// Input byte 0 chooses the form of the rest:
//   0    a whole archive file as it is, for UnpackArchive;
//   1    a plain body, scrambled with the empty key and given its checksum
//        here, so that mutations reach the member code, for UnpackArchive;
//   2, 3 an installer: a PE32 (2) or PE32+ (3) header whose security
//        directory comes from the next 9 bytes (offset from where a signature
//        would start, size, padding), the marker, the archive of a plain body
//        as for 1, that padding and a stand-in certificate table. It goes
//        through ExtractPayloadFrom, then through the host tool's way: the
//        payload located, a decoding check, and an unpacking of the scrambled
//        archive in place.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "Archive.h"
#include "ArchiveLayout.h"
#include "ArchiveReader.h"
#include "Crc32.h"
#include "Encript.h"
#include "FileIo.h"
#include "PayloadLocation.h"
#include "QxUnZip.h"
#include "ShortUtl.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string LayerPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// Below /dev/shm where there is one (the runs are file-heavy), else below
// the current directory; the fuzz run removes it.
const std::filesystem::path& Root() {
    static const std::filesystem::path root = [] {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::current_path();
        const std::filesystem::path path = base / ("qxfuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        std::atexit([] {
            static std::error_code ignored;
            std::filesystem::remove_all(Root(), ignored);
        });
        return path;
    }();
    return root;
}

void Clear(const std::filesystem::path& directory) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory, ignored))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    File file;
    file.open(path, FileOpen::CreateAlways);
    file.write(bytes.data(), uint32_t(bytes.size()));
    file.close();
    if (file.takeError() != 0) std::abort();
}

// Only the destination, and what the host tool's input is, may be there.
void CheckNothingBeside(const std::filesystem::path& root, const std::filesystem::path& allowed,
                        const std::filesystem::path& input) {
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        if (entry.path() != allowed && entry.path() != input) {
            std::fprintf(stderr, "written beside the destination: %s\n",
                         entry.path().string().c_str());
            std::abort();
        }
    }
}

Bytes ArchiveOfPlainBody(Bytes body) {
    const uint32_t crc = UpdateCrc32(body.data(), uint32_t(body.size()), kCrcStart);
    Scrambler scrambler;
    scrambler.setKey("");
    scrambler.apply(body.data(), int32_t(body.size()));
    body.resize(body.size() + kArchiveChecksumSize);
    StoreLe32(body.data() + body.size() - kArchiveChecksumSize, crc);
    return body;
}

uint32_t Le32(const uint8_t* p) {
    return LoadLe32(p);
}

// A minimal program image: the DOS header pointing at a PE header with an
// optional header of the given kind and 16 data directories.
Bytes ProgramImage(bool pe32Plus) {
    Bytes image(0x200, 0);
    image[0] = 'M';
    image[1] = 'Z';
    StoreLe32(&image[0x3C], 0x80);
    image[0x80] = 'P';
    image[0x81] = 'E';
    const uint32_t optional = 0x80 + 4 + 20;
    const uint16_t optionalSize = pe32Plus ? 240 : 224;
    StoreLe16(&image[0x80 + 4 + 16], optionalSize);
    StoreLe16(&image[optional], pe32Plus ? 0x20B : 0x10B);
    StoreLe32(&image[optional + (pe32Plus ? 108 : 92)], 16);
    return image;
}

void SetSecurityDirectory(Bytes& image, bool pe32Plus, uint32_t offset, uint32_t size) {
    const uint32_t directories = 0x80 + 4 + 20 + (pe32Plus ? 112 : 96);
    StoreLe32(&image[directories + 4 * 8], offset);
    StoreLe32(&image[directories + 4 * 8 + 4], size);
}

void FuzzInstaller(const uint8_t* data, size_t size, bool pe32Plus) {
    if (size < 9) return;
    const uint32_t offsetDelta = Le32(data);
    const uint32_t tableSize = Le32(data + 4) % 4096;
    const uint32_t padding = data[8] % 8;
    Bytes installer = ProgramImage(pe32Plus);
    const std::string marker = PayloadMarker();
    installer.insert(installer.end(), marker.begin(), marker.end());
    const Bytes archive = ArchiveOfPlainBody(Bytes(data + 9, data + size));
    installer.insert(installer.end(), archive.begin(), archive.end());
    installer.resize(installer.size() + padding, 0);
    const uint32_t tableStart = uint32_t(installer.size());
    installer.resize(installer.size() + tableSize, 0xA5);
    SetSecurityDirectory(installer, pe32Plus, tableStart + offsetDelta, tableSize);

    const std::filesystem::path& root = Root();
    Clear(root);
    const std::filesystem::path input = root / "setup.exe";
    const std::filesystem::path destination = root / "dest";
    WriteFile(LayerPath(input.string()), installer);
    std::filesystem::create_directory(destination);
    ExtractPayloadFrom(LayerPath(input.string()), LayerPath(destination.string()), nullptr);
    CheckNothingBeside(root, destination, input);

    // The host tool reads the installer where it lies.
    Clear(destination);
    File file;
    file.open(LayerPath(input.string()), FileOpen::ReadRegular);
    const PayloadLocation where = LocatePayload(file, marker, nullptr);
    if (where.end.fault != SignatureFault::None) return;
    const auto reader = std::make_unique<ArchiveReader>(file, where.span(), "", ArchiveObserver{});
    if (reader->check(true, nullptr).ok())
        reader->unpack(LayerPath(destination.string()), BodyState::Scrambled);
    CheckNothingBeside(root, destination, input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static bool initialised = [] {
        InitShortUtl();
        InitEncript();
        InitQxUnZip();
        InitArchive();
        return true;
    }();
    (void)initialised;
    if (data[0] >= 2) {
        FuzzInstaller(data + 1, size - 1, (data[0] & 1) != 0);
        return 0;
    }

    Bytes archive(data + 1, data + size);
    if (data[0] == 1) archive = ArchiveOfPlainBody(archive);
    const std::filesystem::path& root = Root();
    Clear(root);
    const std::filesystem::path destination = root / "dest";
    std::filesystem::create_directory(destination);
    const std::string archivePath = LayerPath((root / "input.qxz").string());
    WriteFile(archivePath, archive);
    UnpackArchive(archivePath.c_str(), LayerPath(destination.string()).c_str(), nullptr, nullptr);
    CheckNothingBeside(root, destination, destination);
    return 0;
}

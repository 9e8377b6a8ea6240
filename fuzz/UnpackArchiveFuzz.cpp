// UnpackArchive over an archive file made from the input, into a fresh
// destination: no crash, no sanitizer report, and nothing written beside the
// destination (the archive itself is gone afterwards).
//
// Input byte 0 chooses the form of the rest: 0 means a whole archive file as
// it is; any other value means a plain body, which is scrambled with the
// empty key and given its checksum here, so that mutations reach the member
// code instead of failing the checksum.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "ArchiveLayout.h"
#include "Crc32.h"
#include "Encript.h"
#include "FileIo.h"
#include "QxUnZip.h"

namespace {

std::string LayerPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// Below the current directory, which the fuzz run makes and removes.
const std::filesystem::path& Root() {
    static const std::filesystem::path root = [] {
        const std::filesystem::path path =
            std::filesystem::current_path() / ("qxfuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static bool initialised = [] {
        InitEncript();
        InitQxUnZip();
        return true;
    }();
    (void)initialised;

    std::vector<uint8_t> archive(data + 1, data + size);
    if (data[0] != 0) {
        const uint32_t crc = UpdateCrc32(archive.data(), uint32_t(archive.size()), kCrcStart);
        SetScrambleKey("");
        DescrambleBlock(archive.data(), int32_t(archive.size()));
        archive.resize(archive.size() + kArchiveChecksumSize);
        StoreLe32(archive.data() + archive.size() - kArchiveChecksumSize, crc);
    }

    const std::filesystem::path& root = Root();
    Clear(root);
    const std::filesystem::path destination = root / "dest";
    std::filesystem::create_directory(destination);
    const std::string archivePath = LayerPath((root / "input.qxz").string());
    {
        File file;
        file.open(archivePath, FileOpen::CreateAlways);
        file.write(archive.data(), uint32_t(archive.size()));
        file.close();
        if (file.takeError() != 0) std::abort();
    }

    UnpackArchive(archivePath.c_str(), LayerPath(destination.string()).c_str(), nullptr, nullptr);

    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        if (entry.path() != destination) {
            std::fprintf(stderr, "written beside the destination: %s\n",
                         entry.path().string().c_str());
            std::abort();
        }
    }
    return 0;
}

// UnpackArchive over the archive reader: the archive file is descrambled in
// place while it is checked, then unpacked from its plain body.
#include "QxUnZip.h"

#include <memory>

#include "ArchiveLayout.h"
#include "FileIo.h"
#include "ShortUtl.h"

namespace {

// The member progress callback as an observer of the reader: each member's
// start and each block of its output, then 100 at the end.
void RelayMemberProgress(void* context, ArchiveEvent event, const ArchiveReader& reader) {
    const MemberProgressCallback progress = *static_cast<const MemberProgressCallback*>(context);
    switch (event) {
    case ArchiveEvent::MemberStart:
    case ArchiveEvent::MemberBlock:
        progress(reader.memberPath().c_str(), reader.memberPercent());
        break;
    case ArchiveEvent::End: progress(reader.memberPath().c_str(), 100); break;
    case ArchiveEvent::Block:
    case ArchiveEvent::Member: break;
    }
}

std::string TextOf(const char* text) {
    return text != nullptr ? std::string(text, ZeroTerminatedLength(text)) : std::string();
}

// Closes the archive file and deletes it; leaves no error pending.
void CloseArchiveFiles(File& archive, const std::string& archivePath) {
    archive.close();
    if (archive.takeError() != 0) {
        archive.close();
        archive.takeError();
    }
    RemoveFile(archivePath);
}

} // namespace

void InitQxUnZip() {}

void DoneQxUnZip() {}

std::string CompleteArchiveName(const std::string& name, const std::string& defaultExtension) {
    std::string directory = PathOf(name);
    if (directory.empty()) {
        directory = CurrentDirectory();
        if (!directory.empty() && directory.back() != '\\') directory += '\\';
    }
    const std::string extension = ExtensionOf(name).empty() ? defaultExtension : std::string();
    return directory + NameOf(name) + extension;
}

ArchiveResult UnpackArchiveFile(const char* archiveName, const char* destination, const char* key,
                                ArchiveObserver observer, uint32_t maxPadding) {
    ArchiveResult result;
    if (archiveName == nullptr || destination == nullptr) {
        result.fault =
            archiveName == nullptr ? ArchiveFault::NoArchiveName : ArchiveFault::NoDestination;
        return result;
    }
    const std::string archivePath =
        CompleteArchiveName(TextOf(archiveName), kArchiveDefaultExtension);
    std::string destinationText = TextOf(destination);
    while (!destinationText.empty() && destinationText.back() == '\\') destinationText.pop_back();
    const LinkFreeBelow linkFree(destinationText);

    File archive;
    archive.open(archivePath, FileOpen::ReadWriteShared);
    const uint32_t size = archive.size();
    if (const SysError code = archive.takeError()) {
        CloseArchiveFiles(archive, archivePath);
        result.fault = ArchiveFault::OpenFailed;
        result.system = code;
        return result;
    }
    std::unique_ptr<ArchiveReader> reader(
        new ArchiveReader(archive, ArchiveSpan{0, size, maxPadding}, TextOf(key), observer));
    result = reader->check(false, &archive);
    if (result.ok()) result = reader->unpack(destinationText, BodyState::Plain);
    CloseArchiveFiles(archive, archivePath);
    return result;
}

int32_t UnpackArchive(const char* archiveName, const char* destination, const char* key,
                      MemberProgressCallback progress) {
    ArchiveObserver observer;
    if (progress != nullptr) observer = {RelayMemberProgress, &progress};
    return UnpackCode(UnpackArchiveFile(archiveName, destination, key, observer, 0));
}

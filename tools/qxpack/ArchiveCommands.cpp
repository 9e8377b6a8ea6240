// qxpack list / verify / extract: installers and bare archives. None of
// them changes or removes the file it is given.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>

#include "Archive.h"
#include "ArchiveReader.h"
#include "Cli.h"
#include "Commands.h"
#include "Encript.h"
#include "FileIo.h"
#include "Global.h"
#include "HostPlatform.h"
#include "InputFile.h"
#include "Interrupt.h"
#include "QxUnZip.h"
#include "ShortUtl.h"

namespace {

// The FILE operand and --key of list, verify and extract.
CLI::App* AddArchiveCommand(CLI::App& qxpack, const char* name, const char* summary,
                            const char* text, ArchiveOptions* o) {
    CLI::App* command = qxpack.add_subcommand(name, summary);
    command->footer(text);
    command->add_option("FILE", o->file, "the installer or bare archive")->required();
    command
        ->add_option("-k,--key", o->key, "scrambling key of a bare archive (installers have none)")
        ->type_name("KEY");
    return command;
}

std::string DosDateTimeText(uint32_t v) {
    const uint32_t date = v >> 16;
    const uint32_t time = v & 0xFFFF;
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", (date >> 9) + 1980,
                  date >> 5 & 15, date & 31, time >> 11, time >> 5 & 63, (time & 31) * 2);
    return text;
}

std::string AttributeText(uint32_t a) {
    std::string text = "----";
    if (a & kAttrReadOnly) text[0] = 'R';
    if (a & kAttrHidden) text[1] = 'H';
    if (a & kAttrSystem) text[2] = 'S';
    if (a & kAttrArchive) text[3] = 'A';
    return text;
}

// The archive found in FILE and the key it is read with (installers always
// carry the empty one). False with *exitCode set when the command is over
// already (unreadable FILE, a key for an installer).
bool OpenArchiveOperand(const char* command, const ArchiveOptions& o, ArchiveLocation* where,
                        int* exitCode) {
    std::string error;
    if (!LocateArchive(o.file, where, &error)) {
        *exitCode = Fail(command, error);
        return false;
    }
    if (where->installer && !o.key.empty()) {
        *exitCode = UsageError(command, where->path + " is an installer: it has no key");
        return false;
    }
    return true;
}

} // namespace

CLI::App* AddListCommand(CLI::App& qxpack, ArchiveOptions* o) {
    return AddArchiveCommand(
        qxpack, "list", "show the members of an installer or archive",
        "Shows the members of an installer or a bare archive: unpacked and packed\n"
        "size, DOS date and time, attributes (R read-only, H hidden, S system,\n"
        "A archive) and name. The checksum is checked first.",
        o);
}

CLI::App* AddVerifyCommand(CLI::App& qxpack, ArchiveOptions* o) {
    return AddArchiveCommand(
        qxpack, "verify", "check the checksum and every member",
        "Checks an installer or a bare archive as the installer would before and\n"
        "while unpacking it: the checksum, every record and name, and every\n"
        "member's packed data, size and CRC. Nothing is written.",
        o);
}

CLI::App* AddExtractCommand(CLI::App& qxpack, ArchiveOptions* o) {
    CLI::App* extract = AddArchiveCommand(
        qxpack, "extract", "unpack every member below a folder",
        "Unpacks every member of an installer or a bare archive below DIR (created\n"
        "when missing) with the installer's own unpacker: the archive is copied to\n"
        "DIR's \"tempfile.$$$\", descrambled, verified and unpacked from there, and\n"
        "the copy is deleted. FILE itself is left as it is: a DIR where the copy\n"
        "or a member would replace it is refused. Nothing is written through a\n"
        "link below DIR (DIR itself may be one); a link in the way is an error.\n"
        "Interrupted (SIGINT, SIGTERM, SIGHUP), it removes the copy and the member\n"
        "being written and exits with 128 + the signal's number.",
        o);
    extract->add_option("DIR", o->dir, "the folder to unpack into")->required();
    return extract;
}

int RunList(const ArchiveOptions& o) {
    const char* command = "list";
    int code = kExitOk;
    ArchiveLocation where;
    if (!OpenArchiveOperand(command, o, &where, &code)) return code;
    const std::string& key = o.key;
    std::string error;
    if (!CheckArchiveChecksum(where, key, &error)) return Fail(command, error);

    std::printf("%12s %12s  %-19s  %-4s  %s\n", "Size", "Packed", "Date", "Attr", "Name");
    uint64_t count = 0;
    uint64_t plain = 0;
    uint64_t packed = 0;
    const bool ok = ReadMembers(
        where, key, false,
        [&](const MemberReport& m) {
            std::printf("%12u %12u  %s  %s  %s\n", m.header.unpackedSize, m.header.packedSize,
                        DosDateTimeText(m.header.dosDateTime).c_str(),
                        AttributeText(m.header.attributes).c_str(), m.name.c_str());
            ++count;
            plain += m.header.unpackedSize;
            packed += m.header.packedSize;
        },
        &error);
    if (!ok) return Fail(command, error);
    std::printf("%llu members, %llu bytes packed into %llu (%s)\n",
                static_cast<unsigned long long>(count), static_cast<unsigned long long>(plain),
                static_cast<unsigned long long>(packed),
                where.installer ? "installer" : "bare archive");
    return kExitOk;
}

int RunVerify(const ArchiveOptions& o) {
    const char* command = "verify";
    int code = kExitOk;
    ArchiveLocation where;
    if (!OpenArchiveOperand(command, o, &where, &code)) return code;
    const std::string& key = o.key;
    std::string error;
    if (!CheckArchiveChecksum(where, key, &error)) return Fail(command, error);

    uint64_t count = 0;
    uint64_t bad = 0;
    const bool ok = ReadMembers(
        where, key, true,
        [&](const MemberReport& m) {
            ++count;
            if (m.problem.empty()) return;
            ++bad;
            Fail(command, where.path + ": member '" + m.name + "': " + m.problem);
        },
        &error);
    if (!ok) return Fail(command, error);
    if (bad != 0) return kExitFailed;
    std::printf("%s: checksum and all %llu members are sound\n", where.path.c_str(),
                static_cast<unsigned long long>(count));
    return kExitOk;
}

namespace {

ProgressBar* extractBar = nullptr;

void ExtractProgress(const char*, int32_t percent) {
    if (extractBar) extractBar->update(uint64_t(percent < 0 ? 0 : percent));
}

// "; LINK is a link ..." when the file layer refused a link below the
// destination, else the empty text.
std::string LinkRefusalNote() {
    if (RefusedLink().empty()) return std::string();
    return "; " + RefusedLink() +
           " is a link, and nothing is written through a link below the destination";
}

// Copies the archive part of the file into a new file of that name, as the
// installer's locator copies its payload (an existing one is removed first,
// never written through). Only the bytes found by LocateArchive are copied.
bool CopyArchive(const ArchiveLocation& where, const std::string& copyPath,
                 RemovedOnInterrupt& removeCopy, std::string* error) {
    InputFile in;
    if (!in.open(where.path, where.fileSize, "changed while it was read", error)) return false;
    ApplyAttributes(copyPath, 0);
    RemoveFile(copyPath);
    File copy;
    copy.open(copyPath, FileOpen::CreateNew);
    if (copy.pendingError() == 0) removeCopy.set(SystemSpelling(copyPath));
    std::vector<uint8_t> block(1 << 16);
    uint64_t skip = where.payloadStart;
    bool readFailed = false;
    while (copy.pendingError() == 0) {
        size_t n = 0;
        if (!in.read(block.data(), block.size(), &n, error)) {
            readFailed = true;
            break;
        }
        if (n == 0) break;
        const size_t dropped = size_t(std::min<uint64_t>(skip, n));
        skip -= dropped;
        copy.write(block.data() + dropped, uint32_t(n - dropped));
    }
    copy.close();
    if (const SysError code = copy.takeError()) {
        *error = SystemSpelling(copyPath) +
                 ": cannot write the archive copy: " + SystemErrorText(code) + LinkRefusalNote();
        return false;
    }
    return !readFailed;
}

// Whether some name below destination could be the input: it lies below it,
// or has other hard links. Otherwise the members need not be read twice.
bool MemberCouldBeInput(const std::string& input, const std::string& destination) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(SystemSpelling(destination), ec);
    if (ec || !fs::exists(folder, ec)) return false;
    const fs::path file = fs::weakly_canonical(input, ec);
    if (ec || fs::hard_link_count(file, ec) != 1 || ec) return true;
    const auto below = std::mismatch(folder.begin(), folder.end(), file.begin(), file.end());
    return below.first == folder.end();
}

// Refuses, before anything is written, an extraction that would replace its
// own input: FILE as DIR's archive copy, or under a member's name (the same
// file, whatever the name, as the system compares files).
bool CheckInputSurvives(const ArchiveLocation& where, const std::string& key,
                        const std::string& destination, std::string* error) {
    auto isInput = [&](const std::string& path) {
        std::error_code ec;
        return std::filesystem::equivalent(SystemSpelling(path), where.path, ec);
    };
    const std::string copyPath = destination + kTemporaryArchiveSuffix;
    if (isInput(copyPath)) {
        *error = SystemSpelling(copyPath) +
                 " is the input file itself: extract would replace it with its archive copy "
                 "(choose another DIR); nothing was written";
        return false;
    }
    if (!MemberCouldBeInput(where.path, destination)) return true;
    bool survives = true;
    std::string unread; // an unreadable archive is refused later, before any member
    ReadMembers(
        where, key, false,
        [&](const MemberReport& m) {
            const std::string path = destination + "\\" + m.name;
            if (!survives || !isInput(path)) return;
            survives = false;
            *error = SystemSpelling(path) + " is the input file itself: the member '" + m.name +
                     "' would overwrite it (choose another DIR); nothing was written";
        },
        &unread);
    return survives;
}

RemovedOnInterrupt* memberBeingWritten = nullptr;

// The file layer reports each member file while it is open for writing.
void WatchMemberFile(const char* systemPath) {
    if (memberBeingWritten == nullptr) return;
    if (systemPath != nullptr)
        memberBeingWritten->set(systemPath);
    else
        memberBeingWritten->clear();
}

// While it lives, the file being written below DIR is removed on interruption.
class MemberFilesWatched {
public:
    MemberFilesWatched() {
        memberBeingWritten = &removeMember_;
        WatchCreatedFiles(WatchMemberFile);
    }
    ~MemberFilesWatched() {
        WatchCreatedFiles(nullptr);
        memberBeingWritten = nullptr;
    }
    MemberFilesWatched(const MemberFilesWatched&) = delete;
    MemberFilesWatched& operator=(const MemberFilesWatched&) = delete;

private:
    RemovedOnInterrupt removeMember_;
};

} // namespace

int RunExtract(const ArchiveOptions& o) {
    const char* command = "extract";
    int code = kExitOk;
    ArchiveLocation where;
    if (!OpenArchiveOperand(command, o, &where, &code)) return code;
    const std::string& key = o.key;
    std::string error;

    std::string destination = o.dir;
    while (destination.size() > 1 && (destination.back() == '/' || destination.back() == '\\'))
        destination.pop_back();
    if (!CheckInputSurvives(where, key, destination, &error)) return Fail(command, error);
    std::error_code ec;
    std::filesystem::create_directories(destination, ec);
    if (ec || !std::filesystem::is_directory(destination, ec))
        return Fail(command, destination + ": cannot create the folder" +
                                 (ec ? ": " + ec.message() : std::string()));

    // Below DIR no link is followed; an interruption removes the archive copy
    // and the member being written.
    const LinkFreeBelow linkFree(destination);
    RemovedOnInterrupt removeCopy;
    const MemberFilesWatched watched;
    const std::string copyPath = destination + kTemporaryArchiveSuffix;
    if (!CopyArchive(where, copyPath, removeCopy, &error)) {
        RemoveFile(copyPath);
        return Fail(command, error);
    }
    InitShortUtl();
    InitEncript();
    InitQxUnZip();
    ProgressBar bar(100, ProgressWanted());
    extractBar = &bar;
    const int32_t result =
        UnpackArchive(copyPath.c_str(), destination.c_str(), key.c_str(), ExtractProgress);
    extractBar = nullptr;
    bar.finish();
    RemoveFile(copyPath);
    DoneQxUnZip();
    DoneEncript();
    DoneShortUtl();
    if (result != kUnpackOk) {
        std::string detail;
        // Name the member at fault when the reader can see it.
        if (result == kUnpackBadMember || result == kUnpackBadChecksum) {
            std::string reason;
            if (!CheckArchiveChecksum(where, key, &reason) ||
                !ReadMembers(
                    where, key, true,
                    [&](const MemberReport& m) {
                        if (detail.empty() && !m.problem.empty())
                            detail = "; member '" + m.name + "': " + m.problem;
                    },
                    &reason))
                detail = "; " + reason;
        }
        return Fail(command, where.path + ": unpacking into " + destination + " failed: " +
                                 "UnpackArchive result " + std::to_string(result) + " (" +
                                 UnpackResultText(result) + ")" + detail + LinkRefusalNote());
    }
    return kExitOk;
}

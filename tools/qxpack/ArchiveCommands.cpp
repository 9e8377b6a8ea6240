// qxpack list / verify / extract: installers and bare archives. None of
// them changes or removes the file it is given.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "Archive.h"
#include "ArchiveReader.h"
#include "Cli.h"
#include "CodePage1252.h"
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

// "2001-02-03 04:05:06", or with separator 'T' the ISO 8601 form.
std::string DosDateTimeText(uint32_t v, char separator = ' ') {
    const uint32_t date = v >> 16;
    const uint32_t time = v & 0xFFFF;
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u%c%02u:%02u:%02u", (date >> 9) + 1980,
                  date >> 5 & 15, date & 31, separator, time >> 11, time >> 5 & 63,
                  (time & 31) * 2);
    return text;
}

// One member as list --json shows it.
nlohmann::ordered_json MemberJson(const MemberReport& m) {
    nlohmann::ordered_json attributes = nlohmann::ordered_json::array();
    const std::pair<uint32_t, const char*> names[] = {{kAttrReadOnly, "read-only"},
                                                      {kAttrHidden, "hidden"},
                                                      {kAttrSystem, "system"},
                                                      {kAttrArchive, "archive"}};
    for (const auto& [bit, name] : names)
        if (m.header.attributes & bit) attributes.push_back(name);
    char crc[16];
    std::snprintf(crc, sizeof crc, "0x%08X", m.header.crc);
    nlohmann::ordered_json member = {
        {"name", Utf8FromCodePage1252(m.name)},
        {"size", m.header.unpackedSize},
        {"packed_size", m.header.packedSize},
        {"modified", DosDateTimeText(m.header.dosDateTime, 'T')},
        {"attributes", attributes},
        {"crc", crc},
        {"mode", nullptr},
        {"dictionary", nullptr},
    };
    // The stream's first two bytes; other values are left null (a damaged stream).
    if (m.streamHeadSize == 2) {
        if (m.streamHead[0] <= 1) member["mode"] = m.streamHead[0] == 0 ? "binary" : "ascii";
        if (m.streamHead[1] >= 4 && m.streamHead[1] <= 6)
            member["dictionary"] = 1024 << (m.streamHead[1] - 4);
    }
    return member;
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
    std::error_code ec;
    if (std::filesystem::is_directory(o.file, ec)) {
        *exitCode = Fail(command, o.file + ": is a folder, not an installer or archive");
        return false;
    }
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

// After the checksum failed with checksumError: a file without the marker
// whose records do not even read is no archive at all; otherwise the
// archive is damaged (or scrambled with another key) and checksumError says so.
std::string ChecksumFailure(const ArchiveLocation& where, const std::string& key,
                            const std::string& checksumError, bool* recordsRead) {
    std::string ignored;
    *recordsRead = ReadMembers(
        where, key, false, [](const MemberReport&) {}, &ignored);
    if (where.installer || *recordsRead) return checksumError;
    return where.path + ": not an installer or archive (nor a bare archive with " +
           (key.empty() ? "the empty key" : "this key") + ")";
}

// The archive's bytes as the progress line counts them.
uint64_t ArchiveBytes(const ArchiveLocation& where) {
    return where.fileSize - where.payloadStart;
}

} // namespace

CLI::App* AddListCommand(CLI::App& qxpack, ArchiveOptions* o) {
    CLI::App* list = AddArchiveCommand(
        qxpack, "list", "show the members of an installer or archive",
        "Shows the members of an installer or a bare archive: unpacked and packed\n"
        "size, DOS date and time, attributes (R read-only, H hidden, S system,\n"
        "A archive) and name. The checksum is checked first. Names are shown in\n"
        "UTF-8, converted from the Windows code page 1252 that the archive uses.\n"
        "\n"
        "With --json the listing is one JSON object: \"file\", \"type\" (installer\n"
        "or bare archive) and \"members\", an array of one object per member with\n"
        "\"name\", \"size\", \"packed_size\", \"modified\" (ISO 8601 date and time,\n"
        "as recorded: no time zone), \"attributes\" (an array of read-only,\n"
        "hidden, system, archive), \"crc\" (hexadecimal), \"mode\" (binary or\n"
        "ascii) and \"dictionary\" (1024, 2048 or 4096).",
        o);
    list->add_flag("--json", o->json, "the listing as JSON");
    return list;
}

CLI::App* AddVerifyCommand(CLI::App& qxpack, ArchiveOptions* o) {
    CLI::App* verify = AddArchiveCommand(
        qxpack, "verify", "check the checksum and every member",
        "Checks an installer or a bare archive as the installer would before and\n"
        "while unpacking it: the checksum, every record and name, and every\n"
        "member's packed data, size and CRC, and names every damaged member.\n"
        "Nothing is written.",
        o);
    verify->add_flag("-q,--quiet", o->quiet, "no progress and no summary");
    return verify;
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
        "When unpacking fails, the folders that extract created go again if they\n"
        "are still empty. Interrupted (SIGINT, SIGTERM, SIGHUP), it removes the copy\n"
        "and the member being written and exits with 128 + the signal's number.",
        o);
    extract->add_option("DIR", o->dir, "the folder to unpack into")->required();
    extract->add_flag("-q,--quiet", o->quiet, "no progress and no summary");
    return extract;
}

int RunList(const ArchiveOptions& o) {
    const char* command = "list";
    int code = kExitOk;
    ArchiveLocation where;
    if (!OpenArchiveOperand(command, o, &where, &code)) return code;
    const std::string& key = o.key;
    std::string error;
    if (!CheckArchiveChecksum(where, key, &error)) {
        bool recordsRead = false;
        return Fail(command, ChecksumFailure(where, key, error, &recordsRead));
    }

    if (!o.json)
        std::printf("%12s %12s  %-19s  %-4s  %s\n", "Size", "Packed", "Date", "Attr", "Name");
    nlohmann::ordered_json members = nlohmann::ordered_json::array();
    uint64_t count = 0;
    uint64_t plain = 0;
    uint64_t packed = 0;
    const bool ok = ReadMembers(
        where, key, false,
        [&](const MemberReport& m) {
            if (o.json)
                members.push_back(MemberJson(m));
            else
                std::printf("%12u %12u  %s  %s  %s\n", m.header.unpackedSize, m.header.packedSize,
                            DosDateTimeText(m.header.dosDateTime).c_str(),
                            AttributeText(m.header.attributes).c_str(),
                            Utf8FromCodePage1252(m.name).c_str());
            ++count;
            plain += m.header.unpackedSize;
            packed += m.header.packedSize;
        },
        &error);
    if (!ok) return Fail(command, error);
    if (o.json) {
        const nlohmann::ordered_json listing = {
            {"file", where.path},
            {"type", where.installer ? "installer" : "bare archive"},
            {"members", members},
        };
        // Member names are UTF-8 by now; FILE's own name may not be.
        std::printf(
            "%s\n",
            listing.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
        return kExitOk;
    }
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
    // A wrong checksum is reported, then each member is checked all the same
    // so that the damaged ones are named, as long as the records still read.
    bool sound = CheckArchiveChecksum(where, key, &error);
    if (!sound) {
        bool recordsRead = false;
        error = ChecksumFailure(where, key, error, &recordsRead);
        if (!recordsRead) return Fail(command, error);
        Fail(command, error);
    }

    uint64_t count = 0;
    ProgressBar progress(ArchiveBytes(where), !o.quiet && ProgressWanted());
    const bool ok = ReadMembers(
        where, key, true,
        [&](const MemberReport& m) {
            ++count;
            progress.update(m.recordOffset + m.header.packedSize, m.name);
            if (m.problem.empty()) return;
            sound = false;
            progress.finish();
            Fail(command, where.path + ": member '" + m.name + "' is damaged: " + m.problem);
        },
        &error);
    progress.finish();
    if (!ok) return Fail(command, error);
    if (!sound) return kExitFailed;
    if (!o.quiet)
        std::printf("%s: checksum and all %llu members are sound\n", where.path.c_str(),
                    static_cast<unsigned long long>(count));
    return kExitOk;
}

namespace {

// The unpacker reports the member it writes, once at its start and once per
// 4096-byte block it writes; with the members' sizes read beforehand that
// gives the bytes written so far.
struct ExtractProgressState {
    ProgressBar* bar = nullptr;
    size_t destinationLength = 0; // of "DIR/" before each member's path
    std::vector<uint64_t> sizes;  // of the members, in archive order
    std::string member;           // the one being written
    uint64_t members = 0;         // begun so far
    uint64_t doneBefore = 0;      // bytes of the members before it
    uint64_t blocks = 0;          // reports of the current member
};
ExtractProgressState extractProgress;

void ExtractProgress(const char* memberPath, int32_t) {
    ExtractProgressState& state = extractProgress;
    if (!state.bar) return;
    const std::string path = memberPath;
    const std::string member =
        path.size() > state.destinationLength ? path.substr(state.destinationLength) : path;
    if (member != state.member || state.members == 0) {
        if (state.members > 0 && state.members <= state.sizes.size())
            state.doneBefore += state.sizes[state.members - 1];
        state.member = member;
        ++state.members;
        state.blocks = 0;
    } else {
        ++state.blocks;
    }
    const uint64_t size = state.members <= state.sizes.size() ? state.sizes[state.members - 1] : 0;
    state.bar->update(state.doneBefore + std::min<uint64_t>(state.blocks * 4096, size), member);
}

// The folders of path that do not exist yet, deepest first.
std::vector<std::filesystem::path> MissingFolders(const std::filesystem::path& path) {
    std::vector<std::filesystem::path> missing;
    std::error_code ec;
    for (std::filesystem::path p = path; !p.empty() && !std::filesystem::exists(p, ec);
         p = p.parent_path()) {
        missing.push_back(p);
        if (p == p.parent_path()) break;
    }
    return missing;
}

// After a failed extract: the folders it created go again while empty.
void RemoveCreatedFolders(const std::vector<std::filesystem::path>& created) {
    std::error_code ec;
    for (const std::filesystem::path& folder : created)
        if (!std::filesystem::is_empty(folder, ec) || !std::filesystem::remove(folder, ec)) return;
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
    const std::vector<std::filesystem::path> created = MissingFolders(destination);
    std::error_code ec;
    std::filesystem::create_directories(destination, ec);
    if (ec || !std::filesystem::is_directory(destination, ec))
        return Fail(command, destination + ": cannot create the folder" +
                                 (ec ? ": " + ec.message() : std::string()));
    auto failed = [&](const std::string& message) {
        RemoveCreatedFolders(created);
        return Fail(command, message);
    };

    // Below DIR no link is followed; an interruption removes the archive copy
    // and the member being written.
    const LinkFreeBelow linkFree(destination);
    RemovedOnInterrupt removeCopy;
    const MemberFilesWatched watched;
    const std::string copyPath = destination + kTemporaryArchiveSuffix;
    if (!CopyArchive(where, copyPath, removeCopy, &error)) {
        RemoveFile(copyPath);
        return failed(error);
    }
    InitShortUtl();
    InitEncript();
    InitQxUnZip();
    ExtractProgressState progress;
    uint64_t total = 0;
    const bool wanted = !o.quiet && ProgressWanted();
    std::string unread; // a damaged archive is reported by the unpacker
    if (wanted)
        ReadMembers(
            where, key, false,
            [&](const MemberReport& m) {
                progress.sizes.push_back(m.header.unpackedSize);
                total += m.header.unpackedSize;
            },
            &unread);
    ProgressBar bar(total, wanted);
    progress.bar = &bar;
    progress.destinationLength = destination.size() + 1;
    extractProgress = progress;
    const int32_t result =
        UnpackArchive(copyPath.c_str(), destination.c_str(), key.c_str(), ExtractProgress);
    const std::string lastMember = extractProgress.member;
    const uint64_t members = extractProgress.members;
    extractProgress = {};
    bar.finish();
    RemoveFile(copyPath);
    DoneQxUnZip();
    DoneEncript();
    DoneShortUtl();
    if (result == kUnpackOk) {
        if (!o.quiet)
            std::printf("%s: %llu members extracted into %s\n", where.path.c_str(),
                        static_cast<unsigned long long>(members), destination.c_str());
        return kExitOk;
    }

    // Say what failed in words, naming the member at fault where the reader
    // can see it, or else the member being written.
    const std::string reason = UnpackResultText(result);
    if (result == kUnpackBadChecksum && !where.installer) {
        std::string checksumError;
        bool recordsRead = true;
        if (!CheckArchiveChecksum(where, key, &checksumError)) {
            const std::string why = ChecksumFailure(where, key, checksumError, &recordsRead);
            if (!recordsRead) return failed(why);
        }
    }
    std::string damaged;
    if (result == kUnpackBadMember || result == kUnpackBadChecksum) {
        std::string ignored;
        ReadMembers(
            where, key, true,
            [&](const MemberReport& m) {
                if (!m.problem.empty() && damaged.empty())
                    damaged = "member '" + m.name + "' is damaged: " + m.problem;
            },
            &ignored);
    }
    // A member that cannot be created fails before the unpacker reports it:
    // it is the one after the last member reported.
    if (damaged.empty() && result == kUnpackDestinationFailed) {
        std::string ignored;
        bool next = lastMember.empty();
        ReadMembers(
            where, key, false,
            [&](const MemberReport& m) {
                if (next && damaged.empty()) damaged = "member '" + m.name + "'";
                next = m.name == lastMember;
            },
            &ignored);
    }
    if (damaged.empty() && !lastMember.empty() && result != kUnpackBadChecksum)
        damaged = "member '" + lastMember + "'";
    return failed(where.path + ": cannot extract into " + destination + ": " +
                  (result == kUnpackBadMember && !damaged.empty() ? damaged
                   : damaged.empty()                              ? reason
                                                                  : reason + "; " + damaged) +
                  LinkRefusalNote());
}

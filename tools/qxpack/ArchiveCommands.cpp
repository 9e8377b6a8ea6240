// qxpack list / verify / extract: installers and bare archives. None of
// them changes or removes the file it is given.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "ArchiveMessages.h"
#include "ArchiveReader.h"
#include "ArchiveWriter.h"
#include "Cli.h"
#include "CodePage1252.h"
#include "Commands.h"
#include "ExtractRuns.h"
#include "FileIo.h"
#include "Global.h"
#include "HostPlatform.h"
#include "PayloadLocation.h"
#include "SignatureFaultText.h"

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
nlohmann::ordered_json MemberJson(const ArchiveMember& m) {
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

// FILE opened once, and where its archive lies.
struct ArchiveInput {
    std::string path;
    File file;
    PayloadLocation where;
    ArchiveSpan span;
    bool installer() const { return where.marker; }
};

// Opens FILE and finds its archive. False with *exitCode set when the
// command is over already (unreadable FILE, a key for an installer).
bool OpenArchiveOperand(const char* command, const ArchiveOptions& o, ArchiveInput* in,
                        int* exitCode) {
    in->path = o.file;
    auto fail = [&](const std::string& message) {
        *exitCode = Fail(command, o.file + ": " + message);
        return false;
    };
    std::error_code ec;
    if (std::filesystem::is_directory(o.file, ec))
        return fail("is a folder, not an installer or archive");
    in->file.open(o.file, FileOpen::ReadRegular);
    if (const SysError code = in->file.takeError()) {
        // A socket cannot even be opened; it is refused by its kind as well.
        const bool special =
            std::filesystem::exists(o.file, ec) && !std::filesystem::is_regular_file(o.file, ec);
        return fail(code == kNotRegularFile || special ? KindOfFile(o.file) + ", not a regular file"
                                                       : "cannot open: " + SystemErrorText(code));
    }
    const uint32_t size = in->file.size();
    if (in->file.takeError() != 0 || size > kLargestInstaller)
        return fail("2 GiB or larger, more than an installer can be");
    in->where = LocatePayload(in->file, UpperPayloadMarker(), nullptr);
    if (const SysError code = in->file.takeError())
        return fail("cannot read: " + SystemErrorText(code));
    const PayloadLocation& where = in->where;
    if (where.end.fault != SignatureFault::None)
        return fail(SignatureFaultText(where.end, where.fileSize, where.start));
    in->span = where.span();
    if (where.marker && !o.key.empty()) {
        *exitCode = UsageError(command, o.file + " is an installer: it has no key");
        return false;
    }
    const uint32_t length = in->span.end - in->span.start;
    if (!where.marker && length < kArchiveChecksumSize)
        return fail("the archive is " + std::to_string(length) +
                    " bytes long, shorter than its 4-byte checksum");
    return true;
}

// A failed check in words: a file without the marker whose records do not
// even read is no archive at all.
std::string CheckFailure(const ArchiveInput& in, const std::string& key,
                         const ArchiveReader& reader, const ArchiveResult& result) {
    if (result.fault == ArchiveFault::BadChecksum && !in.installer() && !reader.recordsRead())
        return in.path + ": not an installer or archive (nor a bare archive with " +
               (key.empty() ? "the empty key" : "this key") + ")";
    return in.path + ": " + ArchiveFaultText(result, reader.member(), ChecksumWording::WithValues);
}

// The signature line of list and verify; nothing for a bare archive.
void PrintSignature(const ArchiveInput& in) {
    if (!in.installer()) return;
    const PayloadEnd& end = in.where.end;
    if (end.signatureSize == 0)
        std::printf("signature: none\n");
    else
        std::printf("signature: a certificate table of %u bytes at offset %u (the certificate "
                    "chain is not checked)\n",
                    end.signatureSize, end.signatureOffset);
}

std::unique_ptr<ArchiveReader> MakeReader(ArchiveInput& in, const std::string& key,
                                          ArchiveObserver observer) {
    return std::unique_ptr<ArchiveReader>(new ArchiveReader(in.file, in.span, key, observer));
}

// Collects what a check reports of each member.
struct MemberLog {
    std::vector<ArchiveMember> members;
    ProgressBar* bar = nullptr;
};

void LogMember(void* context, ArchiveEvent event, const ArchiveReader& reader) {
    if (event != ArchiveEvent::Member) return;
    MemberLog& log = *static_cast<MemberLog*>(context);
    const ArchiveMember& m = reader.member();
    log.members.push_back(m);
    if (log.bar != nullptr) log.bar->update(m.recordOffset + m.header.packedSize, m.name);
}

} // namespace

CLI::App* AddListCommand(CLI::App& qxpack, ArchiveOptions* o) {
    CLI::App* list = AddArchiveCommand(
        qxpack, "list", "show the members of an installer or archive",
        "Shows the members of an installer or a bare archive: unpacked and packed\n"
        "size, DOS date and time, attributes (R read-only, H hidden, S system,\n"
        "A archive) and name, once the checksum has been checked. Names are shown\n"
        "in UTF-8, converted from the Windows code page 1252 that the archive uses.\n"
        "For an installer it also says whether it carries an Authenticode\n"
        "signature and how large its certificate table is; the certificate chain\n"
        "is not checked (use osslsigncode verify or signtool verify for that).\n"
        "\n"
        "With --json the listing is one JSON object: \"file\", \"type\" (installer\n"
        "or bare archive) and \"members\", an array of one object per member with\n"
        "\"name\", \"size\", \"packed_size\", \"modified\" (ISO 8601 date and time,\n"
        "as recorded: no time zone), \"attributes\" (an array of read-only,\n"
        "hidden, system, archive), \"crc\" (hexadecimal), \"mode\" (binary or\n"
        "ascii) and \"dictionary\" (1024, 2048 or 4096); for an installer also\n"
        "\"signature\": null, or an object with the certificate table's \"offset\"\n"
        "and \"size\".",
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
        "It reads FILE once and writes nothing. For an installer it also reports\n"
        "its Authenticode signature's certificate table, without checking the\n"
        "certificate chain (use osslsigncode verify or signtool verify).",
        o);
    verify->add_flag("-q,--quiet", o->quiet, "no progress and no summary");
    return verify;
}

CLI::App* AddExtractCommand(CLI::App& qxpack, ArchiveOptions* o) {
    CLI::App* extract = AddArchiveCommand(
        qxpack, "extract", "unpack every member below a folder",
        "Unpacks every member of an installer or a bare archive below DIR (created\n"
        "when missing) with the installer's own archive reader: FILE is read once\n"
        "to check the checksum, every record and name, and once more to unpack\n"
        "each member, checking its size and CRC. Nothing is written before the\n"
        "check has passed, and no copy of the archive is made. Members are\n"
        "unpacked on several cores (--jobs); the result, and the member that an\n"
        "error names, are those of unpacking front to back. FILE itself is\n"
        "left as it is: a DIR where a member would replace it is refused. Nothing\n"
        "is written through a link below DIR (DIR itself may be one); a link in\n"
        "the way is an error. A member that fails is removed; when unpacking\n"
        "fails, the folders that extract created go again if they are still\n"
        "empty. Interrupted (SIGINT, SIGTERM, SIGHUP), it removes the members\n"
        "being written and exits with 128 + the signal's number.",
        o);
    extract->add_option("DIR", o->dir, "the folder to unpack into")->required();
    extract->add_flag("-q,--quiet", o->quiet, "no progress and no summary");
    AddJobsOption(extract, &o->jobs,
                  "threads that unpack members at the same time (default: the number of cores)");
    return extract;
}

int RunList(const ArchiveOptions& o) {
    const char* command = "list";
    int code = kExitOk;
    ArchiveInput in;
    if (!OpenArchiveOperand(command, o, &in, &code)) return code;
    MemberLog log;
    const auto reader = MakeReader(in, o.key, {LogMember, &log});
    const ArchiveResult result = reader->check(false, nullptr);
    if (!result.ok()) return Fail(command, CheckFailure(in, o.key, *reader, result));

    uint64_t plain = 0;
    uint64_t packed = 0;
    for (const ArchiveMember& m : log.members) {
        plain += m.header.unpackedSize;
        packed += m.header.packedSize;
    }
    const char* type = in.installer() ? "installer" : "bare archive";
    if (o.json) {
        nlohmann::ordered_json members = nlohmann::ordered_json::array();
        for (const ArchiveMember& m : log.members) members.push_back(MemberJson(m));
        nlohmann::ordered_json listing = {{"file", in.path}, {"type", type}};
        if (in.installer()) {
            const PayloadEnd& end = in.where.end;
            listing["signature"] = nullptr;
            if (end.signatureSize != 0)
                listing["signature"] = {{"offset", end.signatureOffset},
                                        {"size", end.signatureSize}};
        }
        listing["members"] = members;
        // Member names are UTF-8 by now; FILE's own name may not be.
        std::printf(
            "%s\n",
            listing.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
        return kExitOk;
    }
    std::printf("%12s %12s  %-19s  %-4s  %s\n", "Size", "Packed", "Date", "Attr", "Name");
    for (const ArchiveMember& m : log.members)
        std::printf("%12u %12u  %s  %s  %s\n", m.header.unpackedSize, m.header.packedSize,
                    DosDateTimeText(m.header.dosDateTime).c_str(),
                    AttributeText(m.header.attributes).c_str(),
                    Utf8FromCodePage1252(m.name).c_str());
    std::printf("%llu members, %llu bytes packed into %llu (%s)\n",
                static_cast<unsigned long long>(log.members.size()),
                static_cast<unsigned long long>(plain), static_cast<unsigned long long>(packed),
                type);
    PrintSignature(in);
    return kExitOk;
}

int RunVerify(const ArchiveOptions& o) {
    const char* command = "verify";
    int code = kExitOk;
    ArchiveInput in;
    if (!OpenArchiveOperand(command, o, &in, &code)) return code;
    // One pass decodes every member; a wrong checksum is reported first,
    // then each damaged member, as long as the records still read.
    ProgressBar progress(in.span.end - in.span.start, !o.quiet && ProgressWanted());
    MemberLog log;
    log.bar = &progress;
    const auto reader = MakeReader(in, o.key, {LogMember, &log});
    const ArchiveResult result = reader->check(true, nullptr);
    progress.finish();
    bool sound = result.ok();
    if (result.fault == ArchiveFault::BadChecksum) {
        Fail(command, CheckFailure(in, o.key, *reader, result));
        if (!reader->recordsRead()) return kExitFailed;
    } else if (!result.ok() && !result.namesMember()) {
        return Fail(command, CheckFailure(in, o.key, *reader, result));
    }
    for (const ArchiveMember& m : log.members)
        if (!m.problem.ok()) Fail(command, in.path + ": " + ArchiveFaultText(m.problem, m));
    // A record fault ends the walk: it comes after the members before it.
    if (result.namesMember() &&
        (result.fault == ArchiveFault::RecordPastEnd || result.fault == ArchiveFault::BadName))
        return Fail(command, CheckFailure(in, o.key, *reader, result));
    if (!sound) return kExitFailed;
    if (!o.quiet) {
        std::printf("%s: checksum and all %llu members are sound\n", in.path.c_str(),
                    static_cast<unsigned long long>(log.members.size()));
        PrintSignature(in);
    }
    return kExitOk;
}

namespace {

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
std::string LinkRefusalNote(const std::string& link) {
    if (link.empty()) return std::string();
    return "; " + link + " is a link, and nothing is written through a link below the destination";
}

// Whether some name below destination could be the input: it lies below it,
// or has other hard links. Otherwise the member names need no comparing.
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

// The member that would overwrite the input (the same file, whatever the
// name, as the system compares files), or null.
const ArchiveMember* MemberOverInput(const ArchiveInput& in,
                                     const std::vector<ArchiveMember>& members,
                                     const std::string& destination) {
    if (!MemberCouldBeInput(in.path, destination)) return nullptr;
    for (const ArchiveMember& m : members) {
        std::error_code ec;
        if (std::filesystem::equivalent(SystemSpelling(destination + "\\" + m.name), in.path, ec))
            return &m;
    }
    return nullptr;
}

} // namespace

int RunExtract(const ArchiveOptions& o) {
    const char* command = "extract";
    int code = kExitOk;
    ArchiveInput in;
    if (!OpenArchiveOperand(command, o, &in, &code)) return code;
    const std::string& key = o.key;
    std::string destination = o.dir;
    while (destination.size() > 1 && (destination.back() == '/' || destination.back() == '\\'))
        destination.pop_back();

    // The check: checksum, records and names, before anything is written.
    MemberLog log;
    const auto reader = MakeReader(in, key, {LogMember, &log});
    ArchiveResult result = reader->check(false, nullptr);
    const std::string into = in.path + ": cannot extract into " + destination + ": ";
    if (result.fault == ArchiveFault::BadChecksum) {
        std::string message = CheckFailure(in, key, *reader, result);
        if (!in.installer() && !reader->recordsRead()) return Fail(command, message);
        // Name the damaged member, where the records still read.
        message = into + ArchiveFaultText(result, reader->member(), ChecksumWording::Plain);
        log.members.clear();
        reader->check(true, nullptr);
        for (const ArchiveMember& m : log.members)
            if (!m.problem.ok()) {
                message += "; " + ArchiveFaultText(m.problem, m);
                break;
            }
        return Fail(command, message);
    }
    if (!result.ok()) return Fail(command, CheckFailure(in, key, *reader, result));
    if (const ArchiveMember* m = MemberOverInput(in, log.members, destination))
        return Fail(command, SystemSpelling(destination + "\\" + m->name) +
                                 " is the input file itself: the member '" + m->name +
                                 "' would overwrite it (choose another DIR); nothing was written");

    const std::vector<std::filesystem::path> created = MissingFolders(destination);
    std::error_code ec;
    std::filesystem::create_directories(destination, ec);
    if (ec || !std::filesystem::is_directory(destination, ec))
        return Fail(command, destination + ": cannot create the folder" +
                                 (ec ? ": " + ec.message() : std::string()));

    // Below DIR no link is followed; an interruption removes the members
    // being written.
    const LinkFreeBelow linkFree(destination);
    uint64_t total = 0;
    for (const ArchiveMember& m : log.members) total += m.header.unpackedSize;
    ProgressBar bar(total, !o.quiet && ProgressWanted());
    ExtractJob job;
    job.path = &in.path;
    job.input = &in.file;
    job.span = in.span;
    job.key = &key;
    job.members = &log.members;
    job.bodySize = reader->bodySize();
    job.destination = destination;
    job.jobs = unsigned(o.jobs);
    job.bar = &bar;
    const ExtractOutcome outcome = UnpackInRuns(job);
    bar.finish();
    if (outcome.result.ok()) {
        if (!o.quiet)
            std::printf("%s: %llu members extracted into %s\n", in.path.c_str(),
                        static_cast<unsigned long long>(log.members.size()), destination.c_str());
        return kExitOk;
    }
    RemoveCreatedFolders(created);
    if (outcome.replaced)
        return Fail(command, into + in.path + " was replaced by another file while it was read");
    return Fail(command, into + ArchiveFaultText(outcome.result, outcome.member) +
                             LinkRefusalNote(outcome.refusedLink));
}

#include "ArchiveMessages.h"

#include <cstdio>

#include "CodePage1252.h"
#include "ExplodeStream.h"
#include "HostPlatform.h"

namespace {

std::string Hex32(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

std::string Number(uint64_t v) {
    return std::to_string(v);
}

std::string WithSystemText(const std::string& text, SysError code) {
    return code != 0 ? text + ": " + SystemErrorText(code) : text;
}

// What is wrong with a member's data.
std::string DamageText(const ArchiveResult& r) {
    switch (r.fault) {
    case ArchiveFault::BadStream:
        return std::string("the packed data is not a valid stream: ") +
               ExplodeResultText(r.computed);
    case ArchiveFault::StreamUnused:
        return "the stream ends " + Number(r.stored - r.computed) + " bytes before its packed size";
    case ArchiveFault::WrongSize:
        return "it unpacks to " + Number(r.computed) + " bytes, the record says " +
               Number(r.stored);
    case ArchiveFault::WrongCrc:
        return "its CRC " + Hex32(r.computed) + " differs from the record's " + Hex32(r.stored);
    default: return std::string();
    }
}

} // namespace

std::string ArchiveFaultText(const ArchiveResult& r, const ArchiveMember& member,
                             ChecksumWording checksum) {
    const std::string name = "'" + Utf8FromCodePage1252(member.name) + "'";
    switch (r.fault) {
    case ArchiveFault::None: return "every member written and verified";
    case ArchiveFault::NoArchiveName:
    case ArchiveFault::OpenFailed: return WithSystemText("cannot open the archive", r.system);
    case ArchiveFault::NoDestination: return "no destination was given";
    case ArchiveFault::ReadFailed:
        return WithSystemText(r.system != 0 ? "cannot read" : "cannot read: the file ended early",
                              r.system);
    case ArchiveFault::RewriteFailed: return WithSystemText("cannot write the archive", r.system);
    case ArchiveFault::BadChecksum:
        return checksum == ChecksumWording::Plain
                   ? "the checksum does not match: the file is damaged or was scrambled with "
                     "another key"
                   : "the checksum does not match (" + Hex32(r.stored) + " stored, " +
                         Hex32(r.computed) +
                         " computed): the file is damaged or was scrambled with another key";
    case ArchiveFault::BadSignature: return "the signature table lies where it cannot";
    case ArchiveFault::RecordPastEnd:
        return "the member record at body offset " + Number(member.recordOffset) +
               " runs past the end of the archive";
    case ArchiveFault::BadName:
        return "the member name " + name +
               " is refused by the installer (it would not stay below the destination as one "
               "ordinary file)";
    case ArchiveFault::BadStream:
    case ArchiveFault::StreamUnused:
    case ArchiveFault::WrongSize:
    case ArchiveFault::WrongCrc: return "member " + name + " is damaged: " + DamageText(r);
    case ArchiveFault::CreateFailed:
        return "a member file cannot be created below the destination; member " + name;
    case ArchiveFault::WriteFailed: return WithSystemText("cannot write member " + name, r.system);
    case ArchiveFault::DiskFull: return "the disk is full; member " + name + " is incomplete";
    }
    return std::string();
}

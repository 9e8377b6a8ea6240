// The file layer under the payload units: byte files, attributes, times and
// directories, with one POSIX and one Win32 implementation.
//
// Error discipline: a failing operation records a system error code in its
// File and the code after it goes on. While a code is pending the File does
// nothing (reads deliver no bytes, writes and seeks are skipped), like a
// stream in its fail state, until takeError() reads and clears the code.
// close() always releases the handle.
//
// Paths are ANSI texts with "\" as the separator. The POSIX implementation
// turns "\" into "/" when it calls the system, keeps the read-only attribute
// as the owner's write permission and accepts the other attribute bits
// without effect.
#pragma once

#include <cstdint>
#include <string>

// 0 or the system's error code (GetLastError on Win32, errno on POSIX).
using SysError = uint32_t;

enum class FileOpen {
    ReadShared,      // existing file, read only; others may read and write
    ReadRegular,     // as ReadShared, but only a regular file (kNotRegularFile otherwise)
    ReadWriteShared, // existing file, read and write; others may read and write
    CreateAlways,    // created or truncated, read and write
    CreateNew,       // created, read and write; fails if the name exists (no link is followed)
};

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    void open(const std::string& path, FileOpen mode);
    void close();
    bool isOpen() const { return handle_ != kNoHandle; }

    // Up to count bytes; 0 at the end, on failure or while an error is pending.
    uint32_t read(void* buffer, uint32_t count);
    // A short write records an error.
    void write(const void* buffer, uint32_t count);
    void seek(uint32_t offset);
    uint32_t position();
    uint32_t size();
    bool atEnd();

    // Sets the last-write time from a local DOS date (high 16 bits) and time
    // (low 16 bits); creation and access times stay. Answers the code directly
    // and records nothing.
    SysError setDosTime(uint32_t dosDateTime);

    SysError takeError();
    SysError pendingError() const { return error_; }

    // The descriptor (POSIX) or HANDLE (Win32), -1 when closed: for host
    // services that the installer does without.
    intptr_t systemHandle() const { return handle_; }

private:
    void record(SysError code);

    static constexpr intptr_t kNoHandle = -1;
    intptr_t handle_ = kNoHandle;
    SysError error_ = 0;
    bool watched_ = false; // created by open and reported to the watch
};

// The code recorded when ReadRegular meets a FIFO, a device, a folder or a
// socket: it is refused before anything is read from it.
extern const SysError kNotRegularFile;
// Whether a code means that the disk (or the user's quota) is full.
bool IsDiskFull(SysError code);

// The path as the layer hands it to the system (POSIX: "\" becomes "/").
std::string SystemSpelling(const std::string& path);

// Free operations answer 0 or the system error code.
// On POSIX the attributes read back are the directory bit and read-only.
SysError QueryFileAttributes(const std::string& path, uint32_t* attributes);
SysError ChangeFileAttributes(const std::string& path, uint32_t attributes);
SysError RemoveFile(const std::string& path);
SysError MakeDirectory(const std::string& path);
// The current directory as the system reports it, at most 260 characters,
// or the empty text. POSIX spells it with "\" like every other path here.
std::string CurrentDirectory();
// The running program's file (GetModuleFileNameA, /proc/self/exe), or the
// empty text.
std::string OwnProgramPath();

// Extraction below a destination: while a root is set, the operations that
// change something (File::open for writing, ChangeFileAttributes, RemoveFile,
// MakeDirectory) refuse a path below the root when any existing component
// below the root, the last one included, is a link (a reparse point on
// Win32). The root itself may lie below a link. Paths not below the root, and
// reading, are not affected. The refusal code is kLinkInTheWay.
extern const SysError kLinkInTheWay;
void SetLinkFreeRoot(const std::string& root); // the empty text turns it off
const std::string& LinkFreeRoot();
// The link that the last refusal met, as the system spells it; cleared when
// the root changes.
const std::string& RefusedLink();
// Called with each refused link on the thread that met it (nullptr: none), so
// that work on several threads can tell whose refusal it was.
using RefusedLinkWatch = void (*)(const std::string& link);
void WatchRefusedLinks(RefusedLinkWatch watch);

// Sets a link-free root for its lifetime and then restores the previous one.
class LinkFreeBelow {
public:
    explicit LinkFreeBelow(const std::string& root) : previous_(LinkFreeRoot()) {
        SetLinkFreeRoot(root);
    }
    ~LinkFreeBelow() { SetLinkFreeRoot(previous_); }
    LinkFreeBelow(const LinkFreeBelow&) = delete;
    LinkFreeBelow& operator=(const LinkFreeBelow&) = delete;

private:
    std::string previous_;
};

// A host tool's watch on the files this layer creates, so that it can remove a
// half-written one when it is interrupted: called with the system's spelling
// of the path when File::open creates a file, and with nullptr when that File
// closes it. Null turns it off.
using CreatedFileWatch = void (*)(const char* systemPath);
void WatchCreatedFiles(CreatedFileWatch watch);

// DOS times in local time, with the rules the reader and the writer share:
// seconds truncated to even values, times before 1980 or after 2107 clamped
// to 1980-01-01 00:00:00 and 2107-12-31 23:59:58. Converting a file's time
// and stamping it back with File::setDosTime gives the same time on one
// machine.
uint32_t UnixTimeToDosDateTime(int64_t unixSeconds);
constexpr uint32_t kDosDateTimeEarliest = 0x00210000; // 1980-01-01 00:00:00
constexpr uint32_t kDosDateTimeLatest = 0xFF9FBF7D;   // 2107-12-31 23:59:58
// Calendar fields (month and day from 1) as a DOS date and time, by the same
// rules: seconds truncated to even (a leap second counts as 59), years
// outside 1980-2107 clamped to the ends.
uint32_t DosDateTimeOf(int year, int month, int day, int hour, int minute, int second);
// The last-write time of a file as a local DOS date and time.
SysError QueryFileDosTime(const std::string& path, uint32_t* dosDateTime);

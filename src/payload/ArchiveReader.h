// The archive reader: the one parser of the archive format, used by the
// installer (UnpackArchive, ExtractPayload) and by every qxpack command.
//
// It reads an archive that lies in [span.start, span.end) of a file, in two
// passes that each go through the file front to back in 64 KiB blocks:
//   check   descrambles the body, computes its CRC and compares it with the
//           ArchiveChecksum, and reads every member record: each must lie
//           inside the body and carry an acceptable name. Optionally it also
//           explodes every member (writing nothing) and checks its packed
//           size, unpacked size and CRC, and hands the plain body on to a
//           copy (the archive file itself: rewritten in place).
//   unpack  writes every member below a destination, from the scrambled or
//           the already plain body, checking each as it goes. The host
//           tool unpacks runs of members instead, several at once.
// Nothing is written below the destination before check has passed; the
// caller keeps that order. What happens is reported to an observer, which
// reads the reader's state (the member, its path, its progress); failures
// come back as an ArchiveResult. No exceptions, no global state: the stub
// uses it as the host tool does.
#pragma once

#include <cstdint>
#include <string>

#include "ArchiveLayout.h"
#include "ArchiveResult.h"
#include "Encript.h"
#include "Explode.h"
#include "FileIo.h"
#include "PayloadLocation.h"

class ArchiveReader;

struct ArchiveMember {
    std::string name;
    MemberHeader header{};
    uint32_t index = 0;          // from 0, in archive order
    uint32_t recordOffset = 0;   // of its name length, from the start of the body
    uint8_t streamHead[2] = {};  // the stream's literal-mode and dictionary-size bytes
    uint32_t streamHeadSize = 0; // less than 2 for a shorter stream
    ArchiveResult problem;       // set by a decoding check
};

enum class ArchiveEvent : uint8_t {
    Block,       // check: a block of the archive was read (about every 64 KiB)
    Member,      // check: a record was read (and, when decoding, its data checked)
    MemberStart, // unpack: the member's file exists; its data comes next
    MemberBlock, // a block of the member's plain data was produced
    End,         // unpack: every member is written
};

struct ArchiveObserver {
    void (*notify)(void* context, ArchiveEvent event, const ArchiveReader& reader) = nullptr;
    void* context = nullptr;
};

enum class BodyState : uint8_t { Scrambled, Plain };

// A run of whole members that check accepted: the record of member
// firstIndex starts at from, and the run ends at to (offsets from the start
// of the body; to is the next run's from or the body's size).
struct MemberRun {
    uint32_t firstIndex = 0;
    uint32_t from = 0;
    uint32_t to = 0;
};

class ArchiveReader {
public:
    ArchiveReader(File& file, const ArchiveSpan& span, const std::string& key,
                  ArchiveObserver observer);
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // The first pass. With decode every member is exploded and checked too;
    // plainCopy, when given, receives the plain body (the archive file
    // itself: rewritten in place). Answers the checksum fault first, then
    // the first record fault, then (decoding) the first damaged member.
    ArchiveResult check(bool decode, File* plainCopy);
    // The second pass, over the body that check found; body says whether
    // the file still holds it scrambled. With plainCopy, another file that
    // the first pass filled, the plain body is read from there instead.
    ArchiveResult unpack(const std::string& destination, BodyState body, File* plainCopy = nullptr);
    // Unpacks one run of the scrambled body as unpack does the whole of it,
    // without a check of its own: the runs come from another reader's check
    // of the same file. Readers of their own, each on its own File, can so
    // unpack runs side by side. The caller holds the link-free root, and no
    // End is reported.
    ArchiveResult unpackRun(const std::string& destination, const MemberRun& run);
    // Another observer for the passes that follow.
    void observe(ArchiveObserver observer) { observer_ = observer; }

    const ArchiveMember& member() const { return member_; }
    // destination + "\" + name while unpacking, else the empty text.
    const std::string& memberPath() const { return memberPath_; }
    int32_t memberPercent() const { return memberPercent_; }
    // Plain bytes of the current member produced so far.
    uint32_t plainDone() const { return plainWritten_; }
    // After check: how many members, the body's length and the padding
    // found after the ArchiveChecksum.
    uint32_t memberCount() const { return memberCount_; }
    // After check: whether the records read through to a possible end of
    // the body, whatever the checksum said.
    bool recordsRead() const { return recordsRead_; }
    uint32_t bodySize() const { return bodyEnd_; }
    uint32_t padding() const { return size_ >= bodyEnd_ + 4 ? size_ - bodyEnd_ - 4 : 0; }
    const ArchiveSpan& span() const { return span_; }

    // Explode's callbacks; param is the reader. The packed data comes from
    // the current member's bytes only; the plain data is counted, checked
    // and (unpacking) written, never beyond the member's unpacked size.
    static uint32_t ReadPackedData(uint8_t* buffer, uint32_t* size, void* param);
    static void WritePlainData(uint8_t* buffer, uint32_t* size, void* param);

private:
    static constexpr uint32_t kBlockSize = 65536;
    static constexpr uint32_t kMaxPadding = 7;

    // One possible end of the body: without padding, or after 1 to 7 bytes
    // of it.
    struct BodyEnd {
        uint32_t at = 0;     // file offset where the body would end
        uint32_t stored = 0; // the ArchiveChecksum that would follow it
        uint32_t crc = 0;    // the CRC register of the body up to it
    };

    void startPass(File& source, uint32_t origin, uint32_t bodyLimit, uint32_t readLimit,
                   bool descramble, uint32_t from = 0);
    bool refill();
    uint32_t position() const { return blockStart_ + blockAt_; }
    uint32_t readBody(uint8_t* out, uint32_t count);
    bool skipBody(uint32_t count);
    void takeCrc(uint32_t count);
    void copyPlain(uint32_t count);

    ArchiveResult readRecord(uint32_t index);
    ArchiveResult fault(ArchiveFault what, uint32_t member = kNoMember) const;
    void notify(ArchiveEvent event) const;
    void startMember();
    uint32_t explodeMember();
    ArchiveResult memberVerdict(uint32_t explodeResult) const;
    ArchiveResult unpackMembers(const std::string& destination, uint32_t firstIndex);
    void flushPlain();
    void discardMemberFile();

    File& file_;
    ArchiveSpan span_;
    std::string key_;
    ArchiveObserver observer_;
    Scrambler scrambler_;
    uint32_t size_ = 0; // of the span

    // Offsets below count from the start of the body in the file being read
    // (source_, where the body starts at origin_).
    File* source_ = nullptr;
    uint32_t origin_ = 0;

    // The block input. Bytes at and after bodyLimit_ are never handed out;
    // bytes at and after readLimit_ are never read.
    uint32_t readLimit_ = 0;
    uint32_t bodyLimit_ = 0;
    uint32_t filePos_ = 0;    // file offset of the next byte to read
    uint32_t blockStart_ = 0; // file offset of block_[0]
    uint32_t blockAt_ = 0;    // next byte of block_ to hand out
    uint32_t blockEnd_ = 0;   // body bytes in block_
    bool descramble_ = true;
    bool checking_ = false;     // the first pass: CRC, tail and copy as blocks come
    File* plainCopy_ = nullptr; // the first pass's copy of the plain body
    SysError readError_ = 0;
    bool readShort_ = false; // the file ended before the span did
    SysError copyError_ = 0;

    // The possible ends of the body, by growing offset, and the raw bytes
    // from the first possible ArchiveChecksum to the end of the span.
    BodyEnd ends_[kMaxPadding + 1];
    uint32_t endCount_ = 0;
    uint8_t tail_[4 + kMaxPadding] = {};
    uint32_t tailStart_ = 0;
    uint32_t crc_ = kCrcStart;
    uint32_t bodyEnd_ = 0; // the end that check chose
    uint32_t memberCount_ = 0;
    bool recordsRead_ = false;

    // The current member.
    ArchiveMember member_;
    std::string memberPath_;
    File memberFile_;
    bool writing_ = false; // unpacking: plain data goes to memberFile_
    uint32_t packedRemaining_ = 0;
    uint32_t packedConsumed_ = 0;
    uint32_t plainWritten_ = 0; // counted and written, at most the unpacked size
    uint64_t plainDecoded_ = 0; // everything Explode produced
    uint32_t plainCrc_ = kCrcStart;
    int32_t memberPercent_ = 0;
    uint32_t plainFill_ = 0; // bytes waiting in plain_

    ExplodeWork work_;
    uint8_t block_[kBlockSize];
    uint8_t plain_[kBlockSize]; // Explode's 4096-byte blocks gathered into larger writes
};

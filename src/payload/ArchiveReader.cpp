// The archive reader. The layout is in ArchiveLayout.h; the order of the
// passes is what makes a damaged or hostile archive harmless: the whole body
// is verified and every record and name checked before the first member is
// written.
//
// Block input: block_ holds the bytes [blockStart_, blockStart_ + n) of the
// file, descrambled up to bodyLimit_ as they arrive; blockEnd_ counts those
// body bytes and blockAt_ the ones handed out. While checking, each block
// also feeds the CRC, the raw tail (the possible ArchiveChecksums) and the
// plain copy when it arrives, so that a walk that stops early still covers
// the whole archive.
//
// Where the body ends: without a signature, 4 bytes before the span's end.
// A signed installer's archive may be followed by up to 7 zero bytes that
// the signing tool added; each such length is a possible end, the CRC is
// taken at every one of them, and the first whose ArchiveChecksum matches
// (the unpadded one first) is the body's end.
#include "ArchiveReader.h"

#include <algorithm>
#include <cstring>

#include "Crc32.h"
#include "MemberName.h"
#include "ShortUtl.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;

// round(100 * position / max(length, 1)), ties to even, in exact integers.
int32_t Percent(uint32_t position, uint32_t length) {
    const uint64_t numerator = uint64_t(position) * 100;
    const uint64_t denominator = std::max<uint64_t>(length, 1);
    uint64_t quotient = numerator / denominator;
    const uint64_t twiceRemainder = 2 * (numerator % denominator);
    if (twiceRemainder > denominator || (twiceRemainder == denominator && (quotient & 1) != 0))
        ++quotient;
    return int32_t(quotient);
}

} // namespace

ArchiveReader::ArchiveReader(File& file, const ArchiveSpan& span, const std::string& key,
                             ArchiveObserver observer)
    : file_(file), span_(span), key_(key), observer_(observer) {
    span_.end = std::max(span_.end, span_.start);
    span_.maxPadding = std::min(span_.maxPadding, kMaxPadding);
    size_ = span_.end - span_.start;
}

void ArchiveReader::notify(ArchiveEvent event) const {
    if (observer_.notify != nullptr) observer_.notify(observer_.context, event, *this);
}

ArchiveResult ArchiveReader::fault(ArchiveFault what, uint32_t member) const {
    ArchiveResult result;
    result.fault = what;
    result.member = member;
    if (what == ArchiveFault::ReadFailed) result.system = readError_;
    return result;
}

void ArchiveReader::startPass(File& source, uint32_t origin, uint32_t bodyLimit, uint32_t readLimit,
                              bool descramble, uint32_t from) {
    source_ = &source;
    origin_ = origin;
    bodyLimit_ = bodyLimit;
    readLimit_ = readLimit;
    descramble_ = descramble;
    filePos_ = blockStart_ = from;
    blockAt_ = blockEnd_ = 0;
    readError_ = copyError_ = 0;
    readShort_ = false;
    scrambler_.setKey(key_);
    scrambler_.skip(from);
    source.seek(origin + from);
}

// False when nothing more can be read: the end of the pass, a read error, a
// file that ended before the span did, or a failed copy.
bool ArchiveReader::refill() {
    if (filePos_ >= readLimit_ || readError_ != 0 || readShort_ || copyError_ != 0) return false;
    const uint32_t n = source_->read(block_, std::min(kBlockSize, readLimit_ - filePos_));
    if (const SysError code = source_->takeError()) {
        readError_ = code;
        return false;
    }
    if (n == 0) {
        readShort_ = true;
        return false;
    }
    blockStart_ = filePos_;
    filePos_ += n;
    blockAt_ = 0;
    blockEnd_ = blockStart_ < bodyLimit_ ? std::min(n, bodyLimit_ - blockStart_) : 0;
    if (checking_) {
        // The raw bytes that may hold the ArchiveChecksum, before descrambling.
        const uint32_t from = std::max(blockStart_, tailStart_);
        const uint32_t to = std::min(filePos_, size_);
        for (uint32_t at = from; at < to; ++at) tail_[at - tailStart_] = block_[at - blockStart_];
    }
    if (descramble_) scrambler_.apply(block_, int32_t(blockEnd_));
    if (checking_) {
        takeCrc(blockEnd_);
        if (plainCopy_ != nullptr) copyPlain(blockEnd_);
        notify(ArchiveEvent::Block);
    }
    return true;
}

// The CRC of count plain bytes at blockStart_, noted at each possible end.
void ArchiveReader::takeCrc(uint32_t count) {
    uint32_t done = 0;
    for (uint32_t k = 0; k < endCount_; ++k) {
        BodyEnd& end = ends_[k];
        if (end.at <= blockStart_ || end.at > blockStart_ + count) continue;
        crc_ = UpdateCrc32(block_ + done, end.at - blockStart_ - done, crc_);
        done = end.at - blockStart_;
        end.crc = crc_;
    }
    crc_ = UpdateCrc32(block_ + done, count - done, crc_);
}

void ArchiveReader::copyPlain(uint32_t count) {
    if (count == 0) return;
    // The archive file itself is rewritten in place; another file receives
    // the plain body from its start.
    File& copy = *plainCopy_;
    if (plainCopy_ == &file_) copy.seek(origin_ + blockStart_);
    copy.write(block_, count);
    if (plainCopy_ == &file_) copy.seek(origin_ + filePos_);
    copyError_ = copy.takeError();
}

uint32_t ArchiveReader::readBody(uint8_t* out, uint32_t count) {
    uint32_t given = 0;
    while (given < count) {
        if (blockAt_ == blockEnd_) {
            if (!refill()) break;
            continue;
        }
        const uint32_t n = std::min(count - given, blockEnd_ - blockAt_);
        std::memcpy(out + given, block_ + blockAt_, n);
        blockAt_ += n;
        given += n;
    }
    return given;
}

bool ArchiveReader::skipBody(uint32_t count) {
    while (count > 0) {
        if (blockAt_ == blockEnd_) {
            if (!refill()) return false;
            continue;
        }
        const uint32_t n = std::min(count, blockEnd_ - blockAt_);
        blockAt_ += n;
        count -= n;
    }
    return true;
}

// Reads the record at the current position into member_: its name length,
// name and MemberHeader must lie inside the body, the name must be
// acceptable and the packed data must fit in what is left.
ArchiveResult ArchiveReader::readRecord(uint32_t index) {
    member_ = ArchiveMember{};
    member_.index = index;
    member_.recordOffset = position();
    const uint32_t readFailed = checking_ ? kNoMember : index;
    uint8_t field[kMemberHeaderSize];
    if (bodyLimit_ - position() < kNameLengthSize) return fault(ArchiveFault::RecordPastEnd, index);
    if (readBody(field, kNameLengthSize) != kNameLengthSize)
        return fault(ArchiveFault::ReadFailed, readFailed);
    const uint32_t nameLength = LoadLe16(field);
    if (bodyLimit_ - position() < nameLength + kMemberHeaderSize)
        return fault(ArchiveFault::RecordPastEnd, index);
    member_.name.resize(nameLength);
    if ((nameLength > 0 &&
         readBody(reinterpret_cast<uint8_t*>(&member_.name[0]), nameLength) != nameLength) ||
        readBody(field, kMemberHeaderSize) != kMemberHeaderSize)
        return fault(ArchiveFault::ReadFailed, readFailed);
    member_.header = DecodeMemberHeader(field);
    if (!IsAcceptableMemberName(member_.name)) return fault(ArchiveFault::BadName, index);
    if (member_.header.packedSize > bodyLimit_ - position())
        return fault(ArchiveFault::RecordPastEnd, index);
    return ArchiveResult{};
}

void ArchiveReader::startMember() {
    packedRemaining_ = member_.header.packedSize;
    packedConsumed_ = 0;
    plainWritten_ = 0;
    plainDecoded_ = 0;
    plainCrc_ = kCrcStart;
    plainFill_ = 0;
}

uint32_t ArchiveReader::explodeMember() {
    startMember();
    return Explode(ReadPackedData, WritePlainData, &work_, this);
}

uint32_t ArchiveReader::ReadPackedData(uint8_t* buffer, uint32_t* size, void* param) {
    ArchiveReader& self = *static_cast<ArchiveReader*>(param);
    const uint32_t count = self.readBody(buffer, std::min(self.packedRemaining_, *size));
    ArchiveMember& m = self.member_;
    for (uint32_t i = 0; i < count && m.streamHeadSize < 2; ++i)
        m.streamHead[m.streamHeadSize++] = buffer[i];
    self.packedConsumed_ += count;
    self.packedRemaining_ -= count;
    return count;
}

void ArchiveReader::WritePlainData(uint8_t* buffer, uint32_t* size, void* param) {
    ArchiveReader& self = *static_cast<ArchiveReader*>(param);
    const uint32_t count = *size;
    self.plainDecoded_ += count;
    // Nothing beyond the member's unpacked size is written or counted.
    const uint32_t allowed = std::min(count, self.member_.header.unpackedSize - self.plainWritten_);
    if (self.writing_) {
        for (uint32_t done = 0; done < allowed;) {
            if (self.plainFill_ == kBlockSize) self.flushPlain();
            const uint32_t part = std::min(allowed - done, kBlockSize - self.plainFill_);
            std::memcpy(self.plain_ + self.plainFill_, buffer + done, part);
            self.plainFill_ += part;
            done += part;
        }
    }
    self.plainCrc_ = UpdateCrc32(buffer, allowed, self.plainCrc_);
    self.plainWritten_ += allowed;
    self.notify(ArchiveEvent::MemberBlock);
}

void ArchiveReader::flushPlain() {
    if (plainFill_ > 0) memberFile_.write(plain_, plainFill_);
    plainFill_ = 0;
}

ArchiveResult ArchiveReader::memberVerdict(uint32_t explodeResult) const {
    const MemberHeader& h = member_.header;
    // The 4-byte stream of an empty member is too short for Explode.
    if (h.unpackedSize == 0 && h.packedSize == 4 && explodeResult == ExplodeBadData)
        explodeResult = ExplodeOk;
    ArchiveResult result;
    result.member = member_.index;
    if (explodeResult != ExplodeOk) {
        result.fault = ArchiveFault::BadStream;
        result.computed = explodeResult;
    } else if (packedConsumed_ != h.packedSize) {
        result.fault = ArchiveFault::StreamUnused;
        result.stored = h.packedSize;
        result.computed = packedConsumed_;
    } else if (plainDecoded_ != h.unpackedSize) {
        result.fault = ArchiveFault::WrongSize;
        result.stored = h.unpackedSize;
        result.computed = uint32_t(std::min<uint64_t>(plainDecoded_, 0xFFFFFFFF));
    } else if (plainCrc_ != h.crc) {
        result.fault = ArchiveFault::WrongCrc;
        result.stored = h.crc;
        result.computed = plainCrc_;
    } else {
        result.member = kNoMember;
    }
    return result;
}

ArchiveResult ArchiveReader::check(bool decode, File* plainCopy) {
    // The possible ends of the body, by growing offset; an archive shorter
    // than its checksum has an empty body and a checksum of what is there.
    endCount_ = 0;
    if (size_ < kArchiveChecksumSize) {
        ends_[endCount_++] = BodyEnd{0, 0, kCrcStart};
        tailStart_ = 0;
    } else {
        const uint32_t most = std::min(span_.maxPadding, size_ - kArchiveChecksumSize);
        for (uint32_t p = most + 1; p-- > 0;)
            ends_[endCount_++] = BodyEnd{size_ - kArchiveChecksumSize - p, 0, kCrcStart};
        tailStart_ = ends_[0].at;
    }
    std::memset(tail_, 0, sizeof tail_);
    crc_ = kCrcStart;
    checking_ = true;
    plainCopy_ = plainCopy;
    const uint32_t firstEnd = ends_[0].at;
    const uint32_t lastEnd = ends_[endCount_ - 1].at;
    startPass(file_, span_.start, lastEnd, size_, true);

    // The walk over the records. A member boundary among the possible ends
    // is where the body may end; records are at least 22 bytes long, so
    // there is at most one.
    ArchiveResult walk;
    ArchiveResult damaged;
    uint32_t boundary = kNone;
    uint32_t membersAtBoundary = 0;
    uint32_t lastRecordBefore = 0; // the last record that starts before firstEnd
    uint32_t lastIndexBefore = 0;
    for (uint32_t index = 0;; ++index) {
        const uint32_t at = position();
        if (at >= firstEnd) {
            boundary = at;
            membersAtBoundary = index;
        }
        if (at >= lastEnd) break;
        if (at < firstEnd) {
            lastRecordBefore = at;
            lastIndexBefore = index;
        }
        walk = readRecord(index);
        if (!walk.ok()) break;
        if (decode) {
            member_.problem = memberVerdict(explodeMember());
            if (!member_.problem.ok() && damaged.ok()) damaged = member_.problem;
            skipBody(packedRemaining_);
        } else {
            const uint32_t head = std::min<uint32_t>(member_.header.packedSize, 2);
            member_.streamHeadSize = readBody(member_.streamHead, head);
            skipBody(member_.header.packedSize - head);
        }
        if (readError_ != 0 || readShort_) {
            walk = fault(ArchiveFault::ReadFailed);
            break;
        }
        notify(ArchiveEvent::Member);
    }
    recordsRead_ = boundary != kNone;
    // The rest of the archive still counts for the CRC and the checksum.
    while (refill()) blockAt_ = blockEnd_;
    checking_ = false;
    if (readError_ != 0 || readShort_) return fault(ArchiveFault::ReadFailed);
    if (copyError_ != 0) {
        ArchiveResult result = fault(ArchiveFault::RewriteFailed);
        result.system = copyError_;
        return result;
    }

    // The unpadded end first; padding must be zero bytes.
    const BodyEnd* chosen = nullptr;
    for (uint32_t k = endCount_; k-- > 0 && chosen == nullptr;) {
        BodyEnd& end = ends_[k];
        const uint8_t* stored = tail_ + (end.at - tailStart_);
        end.stored = LoadLe32(stored); // bytes past a short archive stay 0
        bool zeros = true;
        for (uint32_t at = end.at + kArchiveChecksumSize; at < size_; ++at)
            zeros = zeros && tail_[at - tailStart_] == 0;
        if (zeros && end.crc == end.stored) chosen = &end;
    }
    if (chosen == nullptr) {
        ArchiveResult result = fault(ArchiveFault::BadChecksum);
        result.stored = ends_[endCount_ - 1].stored;
        result.computed = ends_[endCount_ - 1].crc;
        return result;
    }
    bodyEnd_ = chosen->at;
    if (boundary != bodyEnd_) {
        // A record fault before the end stands; otherwise the last record
        // that started before it runs past it.
        if (!walk.ok() && member_.recordOffset < bodyEnd_) return walk;
        member_ = ArchiveMember{};
        member_.index = lastIndexBefore;
        member_.recordOffset = lastRecordBefore;
        return fault(ArchiveFault::RecordPastEnd, lastIndexBefore);
    }
    memberCount_ = membersAtBoundary;
    return damaged;
}

void ArchiveReader::discardMemberFile() {
    memberFile_.close();
    memberFile_.takeError();
    // A file known to be incomplete or corrupt must not stay where a product
    // file belongs.
    RemoveFile(memberPath_);
}

ArchiveResult ArchiveReader::unpack(const std::string& destination, BodyState body,
                                    File* plainCopy) {
    // Nothing is written through a link planted below the destination.
    const LinkFreeBelow linkFree(destination);
    plainCopy_ = nullptr;
    if (plainCopy != nullptr && plainCopy != &file_)
        startPass(*plainCopy, 0, bodyEnd_, bodyEnd_, false);
    else
        startPass(file_, span_.start, bodyEnd_, bodyEnd_, body == BodyState::Scrambled);
    const ArchiveResult result = unpackMembers(destination, 0);
    if (result.ok()) notify(ArchiveEvent::End);
    return result;
}

ArchiveResult ArchiveReader::unpackRun(const std::string& destination, const MemberRun& run) {
    plainCopy_ = nullptr;
    const uint32_t to = std::min(run.to, size_);
    startPass(file_, span_.start, to, to, true, std::min(run.from, to));
    return unpackMembers(destination, run.firstIndex);
}

ArchiveResult ArchiveReader::unpackMembers(const std::string& destination, uint32_t firstIndex) {
    memberPath_.clear();
    for (uint32_t index = firstIndex; position() < bodyLimit_; ++index) {
        // The first pass accepted every record: failing now is a read error.
        if (!readRecord(index).ok()) return fault(ArchiveFault::ReadFailed, index);
        const MemberHeader& header = member_.header;
        memberPath_ = destination + "\\" + member_.name;
        MakeDirectoryPath(PathOf(memberPath_));
        ApplyAttributes(memberPath_, 0);
        RemoveFile(memberPath_);
        memberFile_.takeError();
        memberFile_.open(memberPath_, FileOpen::CreateAlways);
        if (const SysError code = memberFile_.takeError()) {
            ArchiveResult result = fault(ArchiveFault::CreateFailed, index);
            result.system = code;
            return result;
        }
        memberPercent_ = Percent(position(), size_);
        startMember();
        writing_ = true;
        notify(ArchiveEvent::MemberStart);
        const uint32_t exploded = Explode(ReadPackedData, WritePlainData, &work_, this);
        flushPlain();
        writing_ = false;
        ArchiveResult result = memberVerdict(exploded);
        if (readError_ != 0 || readShort_) result = fault(ArchiveFault::ReadFailed, index);
        if (const SysError code = memberFile_.pendingError()) {
            result =
                fault(IsDiskFull(code) ? ArchiveFault::DiskFull : ArchiveFault::WriteFailed, index);
            result.system = code;
        }
        if (!result.ok()) {
            discardMemberFile();
            return result;
        }
        SetFileDosTime(memberFile_, header.dosDateTime);
        memberFile_.close();
        if (const SysError code = memberFile_.takeError()) {
            RemoveFile(memberPath_);
            result =
                fault(IsDiskFull(code) ? ArchiveFault::DiskFull : ArchiveFault::WriteFailed, index);
            result.system = code;
            return result;
        }
        ApplyAttributes(memberPath_, header.attributes);
    }
    return ArchiveResult{};
}

#include "PayloadLocation.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "ArchiveLayout.h"

namespace {

constexpr uint32_t kBlockSize = 65536;
// The PE headers of the installer's program image lie in its first bytes.
constexpr uint32_t kHeadSize = 4096;

} // namespace

PayloadLocation LocatePayload(File& file, const std::string& marker, ProgressCallback progress) {
    PayloadLocation where;
    std::unique_ptr<uint8_t[]> block(new uint8_t[kBlockSize]);
    uint8_t head[kHeadSize];
    uint32_t headSize = 0;
    const uint8_t* text = reinterpret_cast<const uint8_t*>(marker.data());
    const uint32_t length = uint32_t(marker.size());
    while (!file.atEnd()) {
        if (progress != nullptr) progress(false);
        uint32_t start = file.position();
        if (start > 0) {
            start -= kPayloadMarkerLength;
            file.seek(start);
        }
        const uint32_t n = file.read(block.get(), kBlockSize);
        // A read that delivers nothing or fails ends the scan: "not at the
        // end" would hold for ever on a failing medium.
        if (n == 0 || file.pendingError() != 0) break;
        if (start == 0) {
            headSize = std::min(n, kHeadSize);
            std::memcpy(head, block.get(), headSize);
        }
        if (length > 0 && n >= length) {
            const uint8_t* found = std::search(block.get(), block.get() + n, text, text + length);
            if (found != block.get() + n) {
                where.marker = true;
                where.start = start + uint32_t(found - block.get()) + length;
                break;
            }
        }
        if (n <= kPayloadMarkerLength) break; // nothing new past the overlap
    }
    where.fileSize = file.size();
    where.end = where.marker ? FindPayloadEnd(head, headSize, where.fileSize, where.start)
                             : PayloadEnd{where.fileSize, 0, 0, 0, SignatureFault::None};
    return where;
}

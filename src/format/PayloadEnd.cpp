#include "PayloadEnd.h"

PayloadEnd FindPayloadEnd(const uint8_t*, uint32_t, uint32_t fileSize, uint32_t) {
    PayloadEnd end;
    end.end = fileSize;
    return end;
}

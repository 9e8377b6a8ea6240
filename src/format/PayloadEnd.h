// Where the archive of an installer ends (placeholder until the signature rule lands).
#pragma once

#include <cstdint>

enum class SignatureFault : uint8_t { None, OutsideFile, PastEnd, IntoPayload, NotAtEnd, ZeroSize };

struct PayloadEnd {
    uint32_t end = 0;
    uint32_t maxPadding = 0;
    uint32_t signatureOffset = 0;
    uint32_t signatureSize = 0;
    SignatureFault fault = SignatureFault::None;
};

PayloadEnd FindPayloadEnd(const uint8_t* head, uint32_t headSize, uint32_t fileSize,
                          uint32_t payloadStart);

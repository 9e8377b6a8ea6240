// The host tool's words for a security directory that FindPayloadEnd refuses.
#pragma once

#include <cstdint>
#include <string>

#include "PayloadEnd.h"

// One clause with the numbers, to follow the file's name, such as "the
// signature table at offset 4096 (900 bytes) runs past the end of the file
// (4500 bytes)". Empty for SignatureFault::None.
std::string SignatureFaultText(const PayloadEnd& found, uint32_t fileSize, uint32_t payloadStart);

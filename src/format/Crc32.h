// CRC register of the archive format: the reflected CRC-32 (polynomial
// 0xEDB88320); callers start at 0xFFFFFFFF and keep no final inversion.
#pragma once

#include <cstdint>

uint32_t UpdateCrc32(const uint8_t* buffer, uint32_t count, uint32_t crc);

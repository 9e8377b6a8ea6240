// DOS date and time of the archive's member records, from a file's
// modification time: in the machine's local time zone as zip tools do, or in
// UTC so that the same files give the same bytes in every time zone.
#pragma once

#include <cstdint>
#include <string>

#include "FileIo.h" // the DOS time rules, shared with the reader

// Automatic is UTC when SOURCE_DATE_EPOCH is set, local time otherwise.
enum class DosTimeZone { Automatic, Local, Utc };

// Seconds since 1970 UTC as DOS date (high 16 bits) and time (low 16) in
// zone (Automatic counts as Local here): seconds truncated to even, times
// outside 1980-2107 clamped to the ends.
uint32_t DosDateTimeFromUnix(int64_t seconds, DosTimeZone zone = DosTimeZone::Local);

// SOURCE_DATE_EPOCH from the environment: answers false with a reason when it
// is set but not a decimal count of seconds; *set tells whether it is set.
bool ReadSourceDateEpoch(int64_t* seconds, bool* set, std::string* error);

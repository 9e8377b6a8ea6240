#include "DosTime.h"

#include <cstdlib>
#include <ctime>

#include "HostPlatform.h"

uint32_t DosDateTimeFromUnix(int64_t seconds) {
    std::tm fields{};
    // Some runtimes convert nothing before 1970 or far ahead.
    if (!LocalTimeFields(seconds, &fields))
        return seconds < 0 ? kDosDateTimeEarliest : kDosDateTimeLatest;
    const std::tm* local = &fields;
    const int year = local->tm_year + 1900;
    if (year < 1980) return kDosDateTimeEarliest;
    if (year > 2107) return kDosDateTimeLatest;
    const uint32_t date =
        uint32_t(year - 1980) << 9 | uint32_t(local->tm_mon + 1) << 5 | uint32_t(local->tm_mday);
    // tm_sec may be 60 on a leap second; DOS time holds at most 58.
    const int second = local->tm_sec > 59 ? 59 : local->tm_sec;
    const uint32_t time =
        uint32_t(local->tm_hour) << 11 | uint32_t(local->tm_min) << 5 | uint32_t(second / 2);
    return date << 16 | time;
}

bool ReadSourceDateEpoch(int64_t* seconds, bool* set, std::string* error) {
    *set = false;
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (!text || !*text) return true;
    int64_t value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || value > (INT64_MAX - 9) / 10) {
            *error = std::string("SOURCE_DATE_EPOCH is not a count of seconds: '") + text + "'";
            return false;
        }
        value = value * 10 + (*p - '0');
    }
    *seconds = value;
    *set = true;
    return true;
}

#include "DosTime.h"

#include <cstdlib>
#include <ctime>

namespace {

// The UTC calendar fields of seconds since 1970, by the proleptic Gregorian
// calendar (the same on every platform, for any 64-bit count of days).
void UtcTimeFields(int64_t seconds, std::tm* fields) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    fields->tm_hour = int(rest / 3600);
    fields->tm_min = int(rest / 60 % 60);
    fields->tm_sec = int(rest % 60);
    // Days to year, month and day, counting years from March so that the leap
    // day comes last; eras of 400 years repeat exactly.
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    const int64_t clampedYear = year < -1000000 ? -1000000 : year > 1000000 ? 1000000 : year;
    fields->tm_year = int(clampedYear - 1900);
    fields->tm_mon = int(month - 1);
    fields->tm_mday = int(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
}

} // namespace

uint32_t DosDateTimeFromUnix(int64_t seconds, DosTimeZone zone) {
    if (zone != DosTimeZone::Utc) return UnixTimeToDosDateTime(seconds);
    std::tm fields{};
    UtcTimeFields(seconds, &fields);
    return DosDateTimeOf(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                         fields.tm_min, fields.tm_sec);
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

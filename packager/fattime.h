// fattime.h -- converts file times to the MS-DOS (FAT) date/time that package
// entries carry, and formats them for listings. Does no file I/O.
#ifndef NVRPACK_FATTIME_H
#define NVRPACK_FATTIME_H

#include <cstdint>
#include <ctime>
#include <string>

namespace nvrpack {

// Earliest and latest encodable instants (1980-01-01 00:00:00 and
// 2107-12-31 23:59:58); times outside the range are clamped to them.
constexpr uint32_t kFatTimeMin = (uint32_t(0) << 25 | 1u << 21 | 1u << 16);
constexpr uint32_t kFatTimeMax = (uint32_t(127) << 25 | 12u << 21 | 31u << 16 |
                                  23u << 11 | 59u << 5 | 29u);

// Encodes broken-down local time (struct tm conventions: tm_year since 1900,
// tm_mon 0..11) as date << 16 | time, seconds rounded down to even. Years
// before 1980 give kFatTimeMin, after 2107 kFatTimeMax; a leap second counts
// as 58.
uint32_t FatTimeFromTm(const std::tm &local);

// Converts a calendar time to local time (the process's TZ) and encodes it.
// A time the C library cannot convert is clamped like any other (negative
// ones to kFatTimeMin, others to kFatTimeMax).
uint32_t FatTimeFromTime(std::time_t when);

// Encodes a calendar time as UTC (not local) time: what SOURCE_DATE_EPOCH
// gives, so that the result does not depend on the build machine's zone.
uint32_t FatTimeFromUtc(std::time_t when);

// The calendar time of a FAT local time (the process's TZ); -1 when the C
// library cannot represent it.
std::time_t TimeFromFat(uint32_t fat);

// Formats "YYYY-MM-DD HH:MM:SS" without validating the fields.
std::string FormatFatTime(uint32_t fat);

}  // namespace nvrpack

#endif

// fattime.cpp -- FAT date/time encoding of local file times. Must not touch
// the TZ setting: the caller's environment decides what "local" means.
#include "fattime.h"

#include <cstdio>

#include "platform.h"

namespace nvrpack {

static const int kFatFirstYear = 1980;
static const int kFatLastYear = 2107;
static const int kFatLastSecond = 58;   // 29 two-second units
static const size_t kFormattedSize = 32;

uint32_t FatTimeFromTm(const std::tm &local)
{
    int year = local.tm_year + 1900;
    if (year < kFatFirstYear)
        return kFatTimeMin;
    if (year > kFatLastYear)
        return kFatTimeMax;
    int second = local.tm_sec > kFatLastSecond ? kFatLastSecond : local.tm_sec;
    uint32_t date = uint32_t(year - kFatFirstYear) << 9 | uint32_t(local.tm_mon + 1) << 5 |
                    uint32_t(local.tm_mday);
    uint32_t time = uint32_t(local.tm_hour) << 11 | uint32_t(local.tm_min) << 5 |
                    uint32_t(second / 2);
    return date << 16 | time;
}

uint32_t FatTimeFromTime(std::time_t when)
{
    std::tm local{};
    if (!ToLocalTime(when, &local))
        return when < 0 ? kFatTimeMin : kFatTimeMax;   // beyond the C library's years
    return FatTimeFromTm(local);
}

uint32_t FatTimeFromUtc(std::time_t when)
{
    std::tm utc{};
    if (!ToUtcTime(when, &utc))
        return when < 0 ? kFatTimeMin : kFatTimeMax;
    return FatTimeFromTm(utc);
}

std::time_t TimeFromFat(uint32_t fat)
{
    std::tm t{};
    t.tm_year = int(fat >> 25) + kFatFirstYear - 1900;
    t.tm_mon = int((fat >> 21) & 15u) - 1;
    t.tm_mday = int((fat >> 16) & 31u);
    t.tm_hour = int((fat >> 11) & 31u);
    t.tm_min = int((fat >> 5) & 63u);
    t.tm_sec = int(fat & 31u) * 2;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::string FormatFatTime(uint32_t fat)
{
    char text[kFormattedSize];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u",
                  (fat >> 25) + kFatFirstYear, (fat >> 21) & 15u, (fat >> 16) & 31u,
                  (fat >> 11) & 31u, (fat >> 5) & 63u, (fat & 31u) * 2u);
    return text;
}

}  // namespace nvrpack

// platform.h -- the few calls that differ between POSIX and Windows, behind
// small portable helpers, so that nvrpack and its tests build for both. No
// other nvrpack file includes a POSIX- or Windows-only header.
#ifndef NVRPACK_PLATFORM_H
#define NVRPACK_PLATFORM_H

#include <cstdio>
#include <ctime>
#include <string>

namespace nvrpack {

// True when stream is a terminal (console), false for files and pipes.
bool IsTerminal(std::FILE *stream);

// Sets the environment variable name to value; value nullptr removes it.
void SetEnvironment(const char *name, const char *value);

// Sets the last-write (and access) time of a file; false on failure.
bool SetFileTime(const std::string &path, std::time_t when);

// Last-write time of a file; false when it cannot be examined.
bool GetFileTime(const std::string &path, std::time_t *when);

// Thread-safe local and UTC broken-down time; false when out of range.
bool ToLocalTime(std::time_t when, std::tm *out);
bool ToUtcTime(std::time_t when, std::tm *out);

}  // namespace nvrpack

#endif

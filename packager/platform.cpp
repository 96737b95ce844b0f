// platform.cpp -- POSIX and Windows versions of the helpers in platform.h.
// Must stay free of nvrpack logic: one call each, no policy.
#include "platform.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <sys/utime.h>
#else
#include <unistd.h>
#include <utime.h>
#endif

namespace nvrpack {

bool IsTerminal(std::FILE *stream)
{
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

void SetEnvironment(const char *name, const char *value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

bool SetFileTime(const std::string &path, std::time_t when)
{
#ifdef _WIN32
    struct __utimbuf64 times{when, when};
    return _utime64(path.c_str(), &times) == 0;
#else
    struct utimbuf times{when, when};
    return utime(path.c_str(), &times) == 0;
#endif
}

bool GetFileTime(const std::string &path, std::time_t *when)
{
#ifdef _WIN32
    struct _stat64 st;
    if (_stat64(path.c_str(), &st) != 0)
        return false;
#else
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
#endif
    *when = st.st_mtime;
    return true;
}

bool ToLocalTime(std::time_t when, std::tm *out)
{
#ifdef _WIN32
    return localtime_s(out, &when) == 0;
#else
    return localtime_r(&when, out) != nullptr;
#endif
}

bool ToUtcTime(std::time_t when, std::tm *out)
{
#ifdef _WIN32
    return gmtime_s(out, &when) == 0;
#else
    return gmtime_r(&when, out) != nullptr;
#endif
}

}  // namespace nvrpack

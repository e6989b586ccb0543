// posix_compat.h - setenv, unsetenv and mkdtemp for the tests on Windows, whose
// C runtime lacks them; included ahead of every test source in Windows builds.
#ifndef TESTS_POSIX_COMPAT_H
#define TESTS_POSIX_COMPAT_H

#if defined(_WIN32)
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <direct.h>
#include <process.h>
#include <string>

// setenv - as POSIX: keeps an existing value unless overwrite; 0 on success.
inline int setenv(const char *name, const char *value, int overwrite)
{
    if (!overwrite && getenv(name))
        return 0;
    std::string entry = std::string(name) + "=" + value;
    return _putenv(entry.c_str()) == 0 ? 0 : -1;
}

// unsetenv - "NAME=" removes the variable from the C runtime's environment.
inline int unsetenv(const char *name)
{
    std::string entry = std::string(name) + "=";
    return _putenv(entry.c_str()) == 0 ? 0 : -1;
}

// mkdtemp - replaces the trailing "XXXXXX" and creates that directory; null on failure.
inline char *mkdtemp(char *tmpl)
{
    size_t n = strlen(tmpl);
    if (n < 6 || strcmp(tmpl + n - 6, "XXXXXX") != 0) {
        errno = EINVAL;
        return nullptr;
    }
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    unsigned long seed = (unsigned long)_getpid() * 2654435761UL ^ (unsigned long)time(nullptr);
    for (int attempt = 0; attempt < 1000; attempt++) {
        unsigned long v = seed + (unsigned long)attempt * 7919UL;
        for (size_t i = n - 6; i < n; i++, v /= 36)
            tmpl[i] = digits[v % 36];
        if (_mkdir(tmpl) == 0)
            return tmpl;
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}
#endif

#endif

// platform_common.cpp - clock, environment, random bytes and closing streams,
// the parts of the platform layer that standard C++ covers on every system.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <cstdlib>
#include <cstring>

void plat_local_time(struct tm *out, int *hundredths)
{
    time_t seconds;
    if (fixed_clock(out, hundredths, &seconds))
        return;
    plat_system_local_time(out, hundredths);
}

time_t plat_now_seconds(void)
{
    struct tm local;
    int hundredths;
    time_t seconds;
    if (fixed_clock(&local, &hundredths, &seconds))
        return seconds;
    return time(nullptr);
}

size_t plat_format_time(char *out, size_t size, const char *format, const struct tm *tm)
{
    if (size == 0)
        return 0;
    size_t n = strftime(out, size, format, tm);
    if (n == 0)
        out[0] = '\0';
    return n;
}

const char *plat_getenv(const char *name)
{
    return getenv(name);
}

bool plat_random_bytes(void *buffer, size_t size)
{
    if (random_fault())
        return false;
    return plat_system_random(buffer, size);
}

// A write that failed leaves the stream's error flag set, and fclose may
// still succeed (nothing was left in the buffer): the flag counts as a failed close.
int plat_fclose(FILE *stream)
{
    bool failed = ferror(stream) != 0;
    if (close_fault(stream))
        failed = true;
    if (fclose(stream) != 0)
        failed = true;
    return failed ? EOF : 0;
}

// platform_common.cpp - clock, environment, closing streams, and the test hooks,
// the parts of the platform layer that standard C++ covers on every system.
#include "platform/platform.h"
#include "platform/platform_internal.h"

#include <cstdlib>
#include <cstring>

static bool clock_fixed;
static struct tm fixed_local;
static int fixed_hundredths;
static time_t fixed_seconds;
static char failing_path[260];
static int closes_until_failure;
static bool random_fails;

void plat_local_time(struct tm *out, int *hundredths)
{
    if (clock_fixed) {
        *out = fixed_local;
        *hundredths = fixed_hundredths;
        return;
    }
    plat_system_local_time(out, hundredths);
}

time_t plat_now_seconds(void)
{
    return clock_fixed ? fixed_seconds : time(nullptr);
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
    if (random_fails)
        return false;
    return plat_system_random(buffer, size);
}

void plat_test_set_clock(const struct tm *local, int hundredths, time_t seconds)
{
    clock_fixed = true;
    fixed_local = *local;
    fixed_hundredths = hundredths;
    fixed_seconds = seconds;
}

void plat_test_clear_clock(void)
{
    clock_fixed = false;
}

void plat_test_fail_open(const char *path)
{
    failing_path[0] = '\0';
    if (path) {
        strncpy(failing_path, path, sizeof failing_path - 1);
        failing_path[sizeof failing_path - 1] = '\0';
    }
}

void plat_test_fail_random(bool fail)
{
    random_fails = fail;
}

bool plat_open_must_fail(const char *path)
{
    return failing_path[0] != '\0' && plat_same_name(failing_path, path);
}

bool plat_same_name(const char *a, const char *b)
{
    for (; *a && *b; a++, b++) {
        char ca = *a == '/' ? '\\' : *a, cb = *b == '/' ? '\\' : *b;
        if (ca >= 'a' && ca <= 'z') ca = (char)(ca - 32);
        if (cb >= 'a' && cb <= 'z') cb = (char)(cb - 32);
        if (ca != cb)
            return false;
    }
    return *a == *b;
}

int plat_fclose(FILE *stream)
{
    int result = fclose(stream);
    if (closes_until_failure > 0 && --closes_until_failure == 0)
        return EOF;
    return result;
}

void plat_test_fail_close(int nth)
{
    closes_until_failure = nth > 0 ? nth : 0;
}

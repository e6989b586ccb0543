// fixed_clock.cpp - the clock layer: while a time is fixed, the table's clock
// entries give it instead of the system's.
#include "platform/fixed_clock.h"
#include "platform/platform_ops.h"

static PlatOps below;   // the clock entries the layer replaced
static struct tm fixed_local;
static int fixed_hundredths;
static time_t fixed_seconds;

// fixed_local_time - the local time that was fixed.
static void fixed_local_time(struct tm *out, int *hundredths)
{
    *out = fixed_local;
    *hundredths = fixed_hundredths;
}

// fixed_now_seconds - the calendar time that was fixed.
static time_t fixed_now_seconds(void)
{
    return fixed_seconds;
}

void plat_fix_clock(const struct tm *local, int hundredths, time_t seconds)
{
    fixed_local = *local;
    fixed_hundredths = hundredths;
    fixed_seconds = seconds;
    if (plat_ops.local_time == fixed_local_time)
        return;
    below.local_time = plat_ops.local_time;
    below.now_seconds = plat_ops.now_seconds;
    plat_ops.local_time = fixed_local_time;
    plat_ops.now_seconds = fixed_now_seconds;
}

void plat_free_clock(void)
{
    if (plat_ops.local_time != fixed_local_time)
        return;
    plat_ops.local_time = below.local_time;
    plat_ops.now_seconds = below.now_seconds;
}

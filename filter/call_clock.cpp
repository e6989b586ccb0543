// call_clock.cpp - the local time of each call and the texts built from it.
#include "filter/call_clock.h"
#include "platform/platform.h"

#include <cstdio>

void fill_call_clock(void)
{
    int hundredths = 0;
    snprintf(version_text, sizeof version_text, "%s", "4.0");
    plat_local_time(&call_clock.local_time, &hundredths);
    const struct tm &t = call_clock.local_time;
    call_clock.year = t.tm_year + 1900;
    call_clock.month = (uint8_t)(t.tm_mon + 1);
    call_clock.day = (uint8_t)t.tm_mday;
    call_clock.hour = (uint8_t)t.tm_hour;
    call_clock.minute = (uint8_t)t.tm_min;
    call_clock.second = (uint8_t)t.tm_sec;
    call_clock.hundredths = (uint8_t)hundredths;
    plat_format_time(call_clock.time_stamp, sizeof call_clock.time_stamp, "%X %d-%m-%Y", &t);
    format_banner(call_banner, sizeof call_banner, call_clock.time_stamp);
    snprintf(reply_tag, sizeof reply_tag, "{MORVEL-%s}\n", version_text);
}

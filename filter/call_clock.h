// call_clock.h - the time of the current call, the version text, call banner and reply tag.
#ifndef FILTER_CALL_CLOCK_H
#define FILTER_CALL_CLOCK_H

#include <cstdint>
#include <ctime>

struct CallClock {
    int32_t year;
    uint8_t day, month;
    uint8_t minute, hour, hundredths, second;
    struct tm local_time;
    char time_stamp[25];       // "%X %d-%m-%Y"
};

extern CallClock call_clock;
extern char version_text[8];   // "4.0"
extern char call_banner[64];   // "[MORVEL v4.0] - 14:05:09 08-12-2026"
extern char reply_tag[24];     // "{MORVEL-4.0}\n"

// fill_call_clock - take the local time of this call and build the three texts.
void fill_call_clock(void);

#endif

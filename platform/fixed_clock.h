// fixed_clock.h - a clock fixed at a named time, for the sysop's tools (a
// decision "--at" a date and hour) and the tests. Linked only into the tools'
// and the tests' libraries; the module the host loads has the system's clock.
#ifndef FILTER_FIXED_CLOCK_H
#define FILTER_FIXED_CLOCK_H

#if !defined(FILTER_TOOL_LAYERS)
#error "the fixed clock exists only in the tools' and the tests' libraries"
#endif

#include <ctime>

// plat_fix_clock - every later reading of the clock gives this time, until freed.
void plat_fix_clock(const struct tm *local, int hundredths, time_t seconds);

// plat_free_clock - the clock is the system's again.
void plat_free_clock(void);

#endif

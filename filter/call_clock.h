// call_clock.h - filling the time of the current call and the texts built from it.
#ifndef FILTER_CALL_CLOCK_H
#define FILTER_CALL_CLOCK_H

#include "common/records.h"

// fill_call_clock - take the local time of this call and build version_text,
// call_banner and reply_tag.
void fill_call_clock(void);

#endif

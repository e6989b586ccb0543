// guard_config.h - guard.prt: the guard against repeated failures, the lifetime of a challenge
// and the threshold of the exposure mail.
#ifndef FILTER_GUARD_CONFIG_H
#define FILTER_GUARD_CONFIG_H

#include <cstdint>

// Lines of guard.prt are read in pieces of this size.
enum { GUARD_LINE_SIZE = 100 };

// GuardLineResult - what one significant line of guard.prt gives.
enum GuardLineResult { GUARD_LINE_OK, GUARD_LINE_BAD };

// parse_guard_line - one significant line into guard_config; GUARD_LINE_BAD
// for a line that is none of "FAILURES n MINUTES m", "EXPIRE m" and
// "EXPOSURE n" with numbers in range. The line may be upper-cased in place.
GuardLineResult parse_guard_line(char *line);

// load_guard_config - read guard.prt beside config.prt: 1 read, 0 no file,
// or minus the physical number of its first wrong line; then the guard is
// off and the lifetime is the default, as without the file. Reports nothing.
int load_guard_config(void);

// challenge_lifetime_seconds - how long a challenge may wait for its answer.
long challenge_lifetime_seconds(void);

// guard_config_reset - the load-time values: no guard, the default lifetime.
void guard_config_reset(void);

#endif

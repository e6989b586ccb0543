// one_time_check.h - checking a one-time code against the station's secret,
// and keeping it from being accepted twice.
#ifndef FILTER_ONE_TIME_CHECK_H
#define FILTER_ONE_TIME_CHECK_H

#include "auth/code_use.h"

#include <cstdint>

// A TOTP code is good in its own step and one step either side (30 s of
// clock difference each way); an HOTP code among the next ten counters, so a
// caller who skipped a few lines of the list is still let in.
enum { TOTP_STEPS_AROUND = 1, HOTP_LOOK_AHEAD = 10 };

enum OneTimeResult { CODE_RIGHT, CODE_WRONG, CODE_NOT_RECORDED };

// check_one_time_code - the answer against the secret in user_entry: right
// when it holds exactly one run of digits, six long, that is the code of an
// unused step or counter of the window; a right code is recorded as used.
// CODE_NOT_RECORDED when the record of used codes could not be read or
// written: the code must not be taken then, or it could be taken again.
OneTimeResult check_one_time_code(CodeKind kind, const char *answer);

// entry_has_secret - user_entry's password is a usable secret.
bool entry_has_secret(void);

// next_code_number - the number of the next unused HOTP code of the secret
// in user_entry; false when the record could not be read.
bool next_code_number(uint64_t *next);

#endif

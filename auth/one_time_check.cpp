// one_time_check.cpp - the answer to a TOTP or HOTP challenge.
//
// A code is a whole number: an answer with any other run of digits beside
// it, or a run of another length, is wrong, so no answer carries several
// guesses. A code accepted once is never accepted again: the step or the
// counter it was found at is recorded in otpused.prt before it is taken,
// for the secret: a code heard from one SSID (or one station under a
// wildcard header) is spent for every station that shares the secret. The
// record is read and rewritten under the lock of the filter's files, so two
// processes never both take one code. The secret and the codes drawn from it
// are wiped before returning.
#include "auth/one_time_check.h"
#include "auth/one_time_codes.h"
#include "common/files_lock.h"
#include "common/otp_secret.h"
#include "common/records.h"
#include "common/wipe.h"
#include "platform/platform.h"

#include <cstring>

// StationSecret - the station's decoded secret.
struct StationSecret {
    unsigned char key[OTP_SECRET_MAX];
    int length;
};

// load_station_secret - the secret of user_entry; false when it is no
// secret (the reader of users.prt has reported that line).
static bool load_station_secret(StationSecret *s)
{
    s->length = otp_secret_decode(user_entry.password, s->key);
    return s->length > 0;
}

// the_one_code - the answer's only run of digits, when it is six long.
static bool the_one_code(const char *answer, char code[OTP_CODE_TEXT])
{
    int runs = 0;
    size_t length = 0;
    for (const char *p = answer; *p;) {
        size_t run = strspn(p, "0123456789");
        if (run == 0) {
            p++;
            continue;
        }
        if (++runs == 1 && run == OTP_DIGITS)
            memcpy(code, p, OTP_DIGITS);
        length = run;
        p += run;
    }
    code[OTP_DIGITS] = '\0';
    return runs == 1 && length == OTP_DIGITS;
}

// same_code - two codes of six digits, compared in a time that does not
// tell how many leading digits were right.
static bool same_code(const char *a, const char *b)
{
    unsigned difference = 0;
    for (int i = 0; i < OTP_DIGITS; i++)
        difference |= (unsigned)(a[i] ^ b[i]);
    return difference == 0;
}

// first_match - the first of count counters from first whose code is code;
// false when none is.
static bool first_match(const StationSecret *s, uint64_t first, int count, const char *code, uint64_t *found)
{
    char expected[OTP_CODE_TEXT];
    bool matched = false;
    for (int i = 0; i < count && !matched; i++) {
        otp_code_text(s->key, (size_t)s->length, first + (uint64_t)i, expected);
        if (same_code(expected, code)) {
            *found = first + (uint64_t)i;
            matched = true;
        }
    }
    wipe(expected, sizeof expected);
    return matched;
}

// totp_window - the first step a TOTP code may be of now, and how many:
// the current step and one either side, none at or before the last used.
static int totp_window(uint64_t last_used, uint64_t *first)
{
    uint64_t now = totp_step(plat_now_seconds());
    uint64_t lowest = now >= TOTP_STEPS_AROUND ? now - TOTP_STEPS_AROUND : 0;
    uint64_t highest = now + TOTP_STEPS_AROUND;
    if (last_used >= lowest)
        lowest = last_used + 1;
    *first = lowest;
    return lowest > highest ? 0 : (int)(highest - lowest + 1);
}

// check_with_secret - the check of check_one_time_code once the secret is
// known, with the lock of the filter's files held.
static OneTimeResult check_with_secret(CodeKind kind, const StationSecret *s, const char *code)
{
    uint64_t used, first, found;
    if (!read_code_use(kind, s->key, (size_t)s->length, &used))
        return CODE_NOT_RECORDED;
    int count = HOTP_LOOK_AHEAD;
    if (kind == CODE_TOTP)
        count = totp_window(used, &first);
    else
        first = used;
    if (!first_match(s, first, count, code, &found))
        return CODE_WRONG;
    // HOTP keeps the next counter to use; TOTP the last step used.
    uint64_t record = kind == CODE_HOTP ? found + 1 : found;
    if (!write_code_use(kind, s->key, (size_t)s->length, record))
        return CODE_NOT_RECORDED;
    return CODE_RIGHT;
}

OneTimeResult check_one_time_code(CodeKind kind, const char *answer)
{
    char code[OTP_CODE_TEXT];
    StationSecret s;
    OneTimeResult result = CODE_WRONG;
    if (the_one_code(answer, code) && load_station_secret(&s)) {
        lock_filter_files();
        result = check_with_secret(kind, &s, code);
        unlock_filter_files();
    }
    wipe(code, sizeof code);
    wipe(&s, sizeof s);
    return result;
}

bool entry_has_secret(void)
{
    StationSecret s;
    bool usable = load_station_secret(&s);
    wipe(&s, sizeof s);
    return usable;
}

bool next_code_number(uint64_t *next)
{
    StationSecret s;
    *next = 0;
    bool ok = load_station_secret(&s) && read_code_use(CODE_HOTP, s.key, (size_t)s.length, next);
    wipe(&s, sizeof s);
    return ok;
}

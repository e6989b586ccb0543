// guard.h - the guard against repeated failures: a callsign that fails too
// often is refused for a while.
#ifndef FILTER_GUARD_H
#define FILTER_GUARD_H

// load_guard - read guard.prt for this call; a wrong line is error 5 with
// its line (the guard is then off, and the decision goes on without it).
void load_guard(void);

// The guard counts and refuses only where a caller could guess: a
// connection whose challenge takes a plain answer or a one-time code
// (answer_can_be_guessed). A station admitted without a password, and a
// partner whose only answer is a digest, are neither counted nor refused.

// guard_count_failure - one failure of the connection's callsign (any SSID):
// a wrong answer, an answer too late, a challenge abandoned. True when the
// callsign is locked out now and refusable (the connection is to be refused
// if so) holds and the connection is not the console's; the first refusal
// of a lockout mails the sysops and writes the exclusion log. The failure
// that locks the callsign out ends every pending challenge of it that a
// guess could answer; a failure while it is locked out is not counted, so
// the lockout is not extended. Nothing when the guard is off or the call is
// a forward login; a guard file that cannot be read or written is error 10
// naming guard.dat, once, and the guard counts nothing then.
bool guard_count_failure(bool refusable);

// guard_refuses_connection - the callsign of the connection is locked out
// and the connection is not the console's: it is to be refused, with no
// challenge and no check. The first refusal of a lockout mails, as above.
bool guard_refuses_connection(void);

// GuardStatus - what the guard holds of one callsign, for the tools.
struct GuardStatus {
    int failures;              // counted within the window
    bool locked;
    char until[32];            // the end of the lockout, as the time stamps show it
};

// guard_status - the guard's record of the connection's callsign now.
void guard_status(GuardStatus *status);

// guard_file_path - morvel\guard.dat, where the guard counts.
const char *guard_file_path(void);

// GuardStatusLine - one callsign the guard holds locked out, for the tools.
struct GuardStatusLine {
    char callsign[7];
    int failures;
    char until[32];            // as the time stamps show it
};

// guard_locked_now - the callsigns locked out now, at most max of them, in
// the order of guard.dat; their number. None while the guard is off (the
// caller reads guard.prt first, with load_guard_config).
int guard_locked_now(GuardStatusLine *out, int max);

#endif

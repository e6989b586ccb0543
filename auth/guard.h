// guard.h - the guard against repeated failures: a callsign that fails too
// often is refused for a while.
#ifndef FILTER_GUARD_H
#define FILTER_GUARD_H

// load_guard - read guard.prt for this call; a wrong line is error 5 with
// its line (the guard is then off, and the decision goes on without it).
void load_guard(void);

// guard_count_failure - one failure of the connection's callsign (any SSID):
// a wrong answer, an answer too late, a challenge abandoned. True when this
// failure locks the callsign out and the connection, not being the
// console's, is to be refused; the first refusal of a lockout mails the
// sysops and writes the exclusion log. Nothing when the guard is off or the
// call is a forward login. Every method's failures come here.
bool guard_count_failure(void);

// guard_refuses_connection - the callsign of a new connection is locked out
// and the connection is not the console's: it is to be refused, with no
// challenge. The first refusal of a lockout mails, as above.
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

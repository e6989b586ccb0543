// lockouts.h - the guard's lockout log: one line for each lockout, kept for
// the sysop and read back by the tools.
#ifndef FILTER_LOCKOUTS_H
#define FILTER_LOCKOUTS_H

#include <ctime>

#define LOCKOUT_LOG_FILE "lockouts.prt"

// Lines of the log are read in pieces of this size: an entry takes about 50.
enum { LOCKOUT_LINE_SIZE = 100 };

// LockoutEntry - one lockout: whose, after how many failures, and from when until when.
struct LockoutEntry {
    char callsign[7];
    int failures;
    struct tm from, until;   // local times; only the date and time of day are set
};

// write_lockout_entry - one line in morvel\lockouts.prt, created with its
// head line when missing; silent on failure, as every log is.
void write_lockout_entry(const char *callsign, int failures, const struct tm *from, const struct tm *until);

// lockout_log_path - morvel\lockouts.prt.
const char *lockout_log_path(void);

// read_lockout_entry - one line of the log; false for its head and any line that is not an entry.
bool read_lockout_entry(const char *line, LockoutEntry *entry);

#endif

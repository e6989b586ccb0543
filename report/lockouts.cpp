// lockouts.cpp - the guard's lockout log, morvel\lockouts.prt.
//
// guard.dat holds only the failures that still count, so a lockout that has
// run out leaves no trace there. This log keeps each one, for the sysop and
// for filter-report: a line "N0CALL 5 28-11-2026 14:02:11 28-11-2026 14:17:11"
// (callsign, failures, from, until), written once, when the lockout is first
// reported. Like the other logs it only grows: the sysop deletes it. Every
// failure here is silent.
#include "report/lockouts.h"
#include "common/files_lock.h"
#include "common/filter_dir.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

static const char lockout_log[] = FILTER_DIR "\\" LOCKOUT_LOG_FILE;
static const char head_line[] = "# The guard's lockouts: callsign, failures, from (date time), until (date time)\n";
#define STAMP_FORMAT "%d-%m-%Y %H:%M:%S"

// open_lockout_log - append to the log, creating it with its head line when
// new; null on failure. Created exclusively, as the other logs are.
static FILE *open_lockout_log(void)
{
    if (plat_exists(lockout_log))
        return plat_fopen(lockout_log, "at");
    bool existed = false;
    FILE *f = plat_fopen_exclusive(lockout_log, &existed);
    if (!f)
        return existed ? plat_fopen(lockout_log, "at") : nullptr;
    fputs(head_line, f);
    return f;
}

void write_lockout_entry(const char *callsign, int failures, const struct tm *from, const struct tm *until)
{
    char from_text[32], until_text[32];
    if (!plat_format_time(from_text, sizeof from_text, STAMP_FORMAT, from) ||
        !plat_format_time(until_text, sizeof until_text, STAMP_FORMAT, until))
        return;
    lock_filter_files();
    FILE *f = open_lockout_log();
    if (f) {
        fprintf(f, "%s %d %s %s\n", callsign, failures, from_text, until_text);
        plat_fclose(f);
    }
    unlock_filter_files();
}

// read_stamp - "28-11-2026 14:02:11" into a broken-down time; false when out of range.
static bool read_stamp(int day, int month, int year, int hour, int minute, int second, struct tm *out)
{
    memset(out, 0, sizeof *out);
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 1900 || year > 9999 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60)
        return false;
    out->tm_mday = day;
    out->tm_mon = month - 1;
    out->tm_year = year - 1900;
    out->tm_hour = hour;
    out->tm_min = minute;
    out->tm_sec = second;
    out->tm_isdst = -1;
    return true;
}

const char *lockout_log_path(void)
{
    return lockout_log;
}

bool read_lockout_entry(const char *line, LockoutEntry *e)
{
    int f[6], u[6];
    memset(e, 0, sizeof *e);
    if (sscanf(line, "%6s %d %d-%d-%d %d:%d:%d %d-%d-%d %d:%d:%d", e->callsign, &e->failures, &f[0], &f[1], &f[2],
               &f[3], &f[4], &f[5], &u[0], &u[1], &u[2], &u[3], &u[4], &u[5]) != 14 || e->callsign[0] == '#')
        return false;
    return e->failures > 0 && read_stamp(f[0], f[1], f[2], f[3], f[4], f[5], &e->from) &&
           read_stamp(u[0], u[1], u[2], u[3], u[4], u[5], &e->until);
}

// guard.cpp - counting failures per callsign, and refusing a callsign that
// failed too often.
//
// A guesser who is refused simply calls again; the attempt limit counts per
// connection only. So the failures of one callsign, whatever its SSID, are
// counted in morvel\guard.dat, rewritten whole under a temporary name and
// put in place in one step, so that a torn file never forgets a lockout.
// It holds callsigns, counts and times, never a password or an expected
// answer. A failure further than m minutes from the one before starts the
// count again; at the n-th the callsign is refused until m minutes after
// its last failure. The console is never refused, so the sysop always gets
// in. A guard file that cannot be read or written counts nothing and
// refuses nothing: it is an addition, and the challenges still stand.
#include "auth/guard.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "config/filter_config.h"
#include "config/guard_config.h"
#include "config/host_files.h"
#include "platform/platform.h"
#include "report/errors.h"
#include "report/logs.h"
#include "report/notices.h"

#include <cstdio>
#include <cstring>
#include <ctime>

// Callsigns kept at most: when more fail within the window, the one that
// failed longest ago is dropped first.
enum { GUARD_ENTRIES = 256, GUARD_FILE_LINE = 64 };

static const char guard_file[] = FILTER_DIR "\\guard.dat";

// GuardEntry - one callsign's failures.
struct GuardEntry {
    char callsign[7];
    int failures;
    long long last;            // the time of the last failure
    bool mailed;               // the lockout was reported
};

// The table of one call, read from the file and written back whole.
static GuardEntry entries[GUARD_ENTRIES];
static int entry_count;

void load_guard(void)
{
    int result = load_guard_config();
    if (result < 0)
        report_error_in(ERR_CONFIG_LINE, (uint16_t)-result, "guard.prt");
    else
        clear_error_marker_in(ERR_CONFIG_LINE, "guard.prt");
}

// window - the guard's minutes in seconds.
static long long window(void)
{
    return 60LL * guard_config.minutes;
}

// is_current - a failure still counts: within the window and not ahead of the clock.
static bool is_current(const GuardEntry *e, long long now)
{
    return now - e->last < window() && e->last <= now + window();
}

// is_locked - the entry has reached the count and its window still runs.
static bool is_locked(const GuardEntry *e, long long now)
{
    return e->failures >= guard_config.failures && is_current(e, now);
}

// read_table - the current entries of the guard file; an unreadable or
// missing file gives none.
static void read_table(long long now)
{
    char line[GUARD_FILE_LINE];
    entry_count = 0;
    PlatText f;
    if (!plat_open_text(guard_file, &f))
        return;
    while (entry_count < GUARD_ENTRIES && read_significant_line(&f, line, sizeof line, nullptr)) {
        GuardEntry e = {};
        int mailed = 0;
        if (sscanf(line, "%6s %d %lld %d", e.callsign, &e.failures, &e.last, &mailed) != 4 || e.failures < 1)
            continue;
        e.mailed = mailed != 0;
        if (is_current(&e, now))
            entries[entry_count++] = e;
    }
    plat_close_text(&f);
}

// write_table - the whole table in place of the guard file, in one step;
// false when it could not be written (the old file stays).
static bool write_table(void)
{
    PlatReplacement replacement;
    FILE *f = plat_open_replacement(guard_file, true, &replacement);
    if (!f)
        return false;
    fprintf(f, "# The guard's failures: callsign, count, time of the last, reported\n");
    for (int i = 0; i < entry_count; i++)
        fprintf(f, "%s %d %lld %d\n", entries[i].callsign, entries[i].failures, entries[i].last,
                entries[i].mailed ? 1 : 0);
    return plat_commit_replacement(&replacement);
}

// own_callsign - the connection's callsign in upper case, the key of the table.
static void own_callsign(char out[7])
{
    copy_text(out, 7, connection_info.callsign);
    upper_case(out);
}

// find_entry - the connection's callsign in the table, or null.
static GuardEntry *find_entry(void)
{
    char callsign[7];
    own_callsign(callsign);
    for (int i = 0; i < entry_count; i++)
        if (strcmp(entries[i].callsign, callsign) == 0)
            return &entries[i];
    return nullptr;
}

// new_entry - a fresh entry for the connection's callsign, in place of the
// oldest when the table is full.
static GuardEntry *new_entry(void)
{
    int at = entry_count;
    if (entry_count == GUARD_ENTRIES) {
        at = 0;
        for (int i = 1; i < entry_count; i++)
            if (entries[i].last < entries[at].last)
                at = i;
    } else {
        entry_count++;
    }
    GuardEntry *e = &entries[at];
    memset(e, 0, sizeof *e);
    own_callsign(e->callsign);
    return e;
}

// lockout_end - the end of the entry's lockout, as the call's time stamp shows times.
static void lockout_end(const GuardEntry *e, char *out, size_t size)
{
    struct tm end = call_clock.local_time;
    end.tm_sec += (int)(e->last + window() - (long long)plat_now_seconds());
    end.tm_isdst = -1;
    mktime(&end);
    if (!plat_format_time(out, size, "%X %d-%m-%Y", &end))
        copy_text(out, size, "?");
}

// report_lockout - once per lockout: mail the sysops and log the station as
// excluded. The lockout is noted as reported in the guard file before the
// mail goes: a call that ends between the two loses one mail, where the
// other order would mail it again at the next call that refuses the station.
static void report_lockout(GuardEntry *e)
{
    char until[32];
    if (e->mailed)
        return;
    e->mailed = true;
    bool noted = write_table();
    lockout_end(e, until, sizeof until);
    trace(TRACE_MAIL, 0, e->failures, "GUARD", e->callsign);
    if (noted && host_info_ready())
        mail_guard_notice(e->callsign, e->failures, until);
    if (filter_config.log_exclusions)
        write_attempt_log(LOG_EXCLUDED);
}

// is_exempt - the console, and a forward login, which is no caller's attempt.
static bool is_exempt(void)
{
    return connection_info.port == 0 || connection_info.connection_count == -1;
}

bool guard_count_failure(void)
{
    if (!guard_config.guard_on || connection_info.connection_count == -1)
        return false;
    long long now = (long long)plat_now_seconds();
    read_table(now);
    GuardEntry *e = find_entry();
    if (!e)
        e = new_entry();
    e->failures++;
    e->last = now;
    bool refuse = is_locked(e, now) && connection_info.port != 0;
    if (refuse)
        report_lockout(e);
    write_table();
    return refuse;
}

bool guard_refuses_connection(void)
{
    if (!guard_config.guard_on || is_exempt())
        return false;
    long long now = (long long)plat_now_seconds();
    read_table(now);
    GuardEntry *e = find_entry();
    if (!e || !is_locked(e, now))
        return false;
    report_lockout(e);
    return true;
}

void guard_status(GuardStatus *status)
{
    memset(status, 0, sizeof *status);
    if (!guard_config.guard_on)
        return;
    long long now = (long long)plat_now_seconds();
    read_table(now);
    const GuardEntry *e = find_entry();
    if (!e)
        return;
    status->failures = e->failures;
    status->locked = is_locked(e, now);
    if (status->locked)
        lockout_end(e, status->until, sizeof status->until);
}

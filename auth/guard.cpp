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
// in. The failure that locks a callsign out ends its pending challenges, so
// challenges opened beforehand on other SSIDs cannot carry the guessing on.
//
// The table keeps GUARD_ENTRIES callsigns. A caller who fails once under
// each of many throwaway callsigns must not push a lockout out of it: an
// unlocked callsign goes first, the one that failed longest ago, and only
// when every callsign kept is locked out does the lockout nearest its end.
//
// The lockout's mail goes exactly once, whenever the host is killed: it is
// first written whole into morvel\guard.snd (the callsign, the failures and
// the end), then the table marks the lockout mailed, then the mail takes
// that file away with it. A call that finds the file finishes that work
// first: a lockout the table holds is marked and mailed, any other file
// (the call that wrote it was ended before its table was saved) is dropped.
//
// A guard file that cannot be read or written (a directory, a link, no
// permission) counts nothing and refuses nothing: the guard is an addition,
// and the challenges still stand. It is error 10 naming guard.dat, mailed
// once, until the file is written again.
#include "auth/guard.h"
#include "auth/state_file.h"
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
#include "report/lockouts.h"
#include "report/logs.h"
#include "report/notices.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

// Callsigns kept at most: 4,096 throwaway callsigns cost a flusher at least
// 4,096 failing calls, far more than the count that locks one out.
enum { GUARD_ENTRIES = 4096, GUARD_FILE_LINE = 64 };

#define GUARD_FILE_NAME "guard.dat"
static const char guard_file[] = FILTER_DIR "\\" GUARD_FILE_NAME;
static const char owed_mail_file[] = FILTER_DIR "\\guard.snd";

// GuardEntry - one callsign's failures.
struct GuardEntry {
    char callsign[7];
    bool mailed;               // the lockout was reported
    int failures;
    long long last;            // the time of the last failure
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

// parse_entry - a line of the guard file, "CALL FAILURES LAST MAILED";
// false for one that is not. Read without sscanf: a full table is read at
// every guarded connection, and its 4,096 lines must stay cheap.
static bool parse_entry(const char *line, GuardEntry *e)
{
    size_t call = strcspn(line, " \t");
    if (call == 0 || call >= sizeof e->callsign)
        return false;
    memcpy(e->callsign, line, call);
    e->callsign[call] = '\0';
    char *end;
    long failures = strtol(line + call, &end, 10);
    long long last = strtoll(end, &end, 10);
    long mailed = strtol(end, &end, 10);
    if (end[strspn(end, " \t\r\n")] != '\0' || failures < 1 || failures > 1000000)
        return false;
    e->failures = (int)failures;
    e->last = last;
    e->mailed = mailed != 0;
    return true;
}

// read_table - the current entries of the guard file; true when it is
// missing (no entries) or was read to its end.
static bool read_table(long long now)
{
    char line[GUARD_FILE_LINE];
    entry_count = 0;
    PlatFileKind kind = plat_file_kind(guard_file);
    if (kind == PLAT_NO_FILE)
        return true;
    PlatText f;
    if (kind != PLAT_PLAIN_FILE || !plat_open_text(guard_file, &f))
        return false;
    while (entry_count < GUARD_ENTRIES && read_significant_line(&f, line, sizeof line, nullptr)) {
        GuardEntry e = {};
        if (parse_entry(line, &e) && is_current(&e, now))
            entries[entry_count++] = e;
    }
    bool ok = !plat_text_failed(&f);
    plat_close_text(&f);
    return ok;
}

// write_table - the whole table in place of the guard file, in one step;
// false when it could not be written (the old file stays). A file the
// account may not write is not replaced behind its back either, as on
// Windows it could not be: the same file works alike on every system.
static bool write_table(void)
{
    if (plat_exists(guard_file) && !plat_may_access(guard_file, PLAT_MAY_WRITE))
        return false;
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

// state_failed - the guard's file could not be read or written: error 10
// naming it, mailed once; the decision goes on as without the guard.
static bool state_failed(void)
{
    report_error_in(ERR_STATE_FILE, 0, GUARD_FILE_NAME);
    return false;
}

// save_table - write_table, and its outcome told: a write that works again
// makes the next failure news. False when it failed.
static bool save_table(void)
{
    if (!write_table())
        return state_failed();
    clear_error_marker_in(ERR_STATE_FILE, GUARD_FILE_NAME);
    return true;
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

// slot_to_drop - the entry a full table gives up: an unlocked one before any
// locked one, and among those the one whose last failure is oldest, which
// for a locked one is the lockout nearest its end.
static int slot_to_drop(long long now)
{
    int at = 0;
    bool at_locked = is_locked(&entries[0], now);
    for (int i = 1; i < entry_count; i++) {
        bool locked = is_locked(&entries[i], now);
        if ((at_locked && !locked) || (locked == at_locked && entries[i].last < entries[at].last)) {
            at = i;
            at_locked = locked;
        }
    }
    return at;
}

// new_entry - a fresh entry for the connection's callsign, in place of
// slot_to_drop's when the table is full.
static GuardEntry *new_entry(long long now)
{
    int at = entry_count < GUARD_ENTRIES ? entry_count++ : slot_to_drop(now);
    GuardEntry *e = &entries[at];
    memset(e, 0, sizeof *e);
    own_callsign(e->callsign);
    return e;
}

// local_time_at - a calendar time in seconds as local time, counted from the call's own.
static void local_time_at(long long at, struct tm *out)
{
    *out = call_clock.local_time;
    out->tm_sec += (int)(at - (long long)plat_now_seconds());
    out->tm_isdst = -1;
    mktime(out);
}

// lockout_end - the end of the entry's lockout, as the call's time stamp shows times.
static void lockout_end(const GuardEntry *e, char *out, size_t size)
{
    struct tm end;
    local_time_at(e->last + window(), &end);
    if (!plat_format_time(out, size, "%X %d-%m-%Y", &end))
        copy_text(out, size, "?");
}

// OwedMail - what guard.snd says: the lockout the sysops are still to hear of.
struct OwedMail {
    char callsign[7];
    int failures;
    char until[32];
};

// owe_lockout_mail - guard.snd for e's lockout, put in place in one step;
// false while an earlier one is still owed or the file could not be written.
static bool owe_lockout_mail(const GuardEntry *e)
{
    if (plat_exists(owed_mail_file))
        return false;
    char until[32];
    lockout_end(e, until, sizeof until);
    PlatReplacement replacement;
    FILE *f = plat_open_replacement(owed_mail_file, true, &replacement);
    if (!f)
        return false;
    fprintf(f, "%s %d %s\n", e->callsign, e->failures, until);
    return plat_commit_replacement(&replacement);
}

// read_owed_mail - guard.snd as written; false when it is missing or not whole.
static bool read_owed_mail(OwedMail *owed)
{
    char line[GUARD_FILE_LINE];
    PlatText f;
    if (!plat_open_text(owed_mail_file, &f))
        return false;
    bool read = read_significant_line(&f, line, sizeof line, nullptr) && !plat_text_failed(&f);
    plat_close_text(&f);
    return read && sscanf(line, "%6s %d %31[^\r\n]", owed->callsign, &owed->failures, owed->until) == 3;
}

// find_callsign - an entry of the table by its callsign, or null.
static GuardEntry *find_callsign(const char *callsign)
{
    for (int i = 0; i < entry_count; i++)
        if (strcmp(entries[i].callsign, callsign) == 0)
            return &entries[i];
    return nullptr;
}

// send_owed_mail - the owed lockout mail, when there is one: marked in the
// table first, then mailed; guard.snd leaves with the mail (it stays while
// no file takes the mail, and a later call tries again).
static void send_owed_mail(long long now)
{
    if (!plat_exists(owed_mail_file))
        return;
    OwedMail owed;
    GuardEntry *e = read_owed_mail(&owed) ? find_callsign(owed.callsign) : nullptr;
    if (!e || !is_locked(e, now)) {
        plat_remove(owed_mail_file);
        return;
    }
    if (!e->mailed) {
        e->mailed = true;
        if (!save_table())
            return;
    }
    trace(TRACE_MAIL, 0, owed.failures, "GUARD", owed.callsign);
    if (host_info_ready())
        mail_guard_notice(owed_mail_file, owed.callsign, owed.failures, owed.until);
}

// announce_lockout - mail the sysops (through guard.snd, written just
// before), log the station as excluded and keep the lockout in the lockout
// log. The lockout runs from the failure that reached the count, the last
// one counted.
static void announce_lockout(const GuardEntry *e, long long now)
{
    send_owed_mail(now);
    if (filter_config.log_exclusions)
        write_attempt_log(LOG_EXCLUDED);
    struct tm from, end;
    local_time_at(e->last, &from);
    local_time_at(e->last + window(), &end);
    write_lockout_entry(e->callsign, e->failures, &from, &end);
}

// is_exempt - the console, and a forward login, which is no caller's attempt.
static bool is_exempt(void)
{
    return connection_info.port == 0 || connection_info.connection_count == -1;
}

bool guard_count_failure(bool refusable)
{
    if (!guard_config.guard_on || connection_info.connection_count == -1)
        return false;
    long long now = (long long)plat_now_seconds();
    if (!read_table(now))
        return state_failed();
    send_owed_mail(now);
    GuardEntry *e = find_entry();
    bool was_locked = e && is_locked(e, now);
    if (!was_locked) {
        if (!e)
            e = new_entry(now);
        e->failures++;
        e->last = now;
    }
    bool locks_now = !was_locked && is_locked(e, now);
    bool refuse = is_locked(e, now) && refusable && connection_info.port != 0;
    bool announce = refuse && !e->mailed && owe_lockout_mail(e);
    bool saved = was_locked || save_table();
    // A count that is not recorded is no count: the next call would not
    // see it, so this one goes on as without the guard too.
    if (!saved && !was_locked)
        return false;
    if (announce)
        announce_lockout(e, now);
    if (locks_now)
        end_callsign_challenges();
    return refuse;
}

bool guard_refuses_connection(void)
{
    if (!guard_config.guard_on || is_exempt())
        return false;
    long long now = (long long)plat_now_seconds();
    if (!read_table(now))
        return state_failed();
    send_owed_mail(now);
    GuardEntry *e = find_entry();
    if (!e || !is_locked(e, now))
        return false;
    if (!e->mailed && owe_lockout_mail(e))
        announce_lockout(e, now);
    return true;
}

void guard_status(GuardStatus *status)
{
    memset(status, 0, sizeof *status);
    if (!guard_config.guard_on)
        return;
    long long now = (long long)plat_now_seconds();
    if (!read_table(now))
        return;
    const GuardEntry *e = find_entry();
    if (!e)
        return;
    status->failures = e->failures;
    status->locked = is_locked(e, now);
    if (status->locked)
        lockout_end(e, status->until, sizeof status->until);
}

const char *guard_file_path(void)
{
    return guard_file;
}

int guard_locked_now(GuardStatusLine *out, int max)
{
    if (!guard_config.guard_on)
        return 0;
    long long now = (long long)plat_now_seconds();
    read_table(now);
    int n = 0;
    for (int i = 0; i < entry_count && n < max; i++) {
        if (!is_locked(&entries[i], now))
            continue;
        copy_text(out[n].callsign, sizeof out[n].callsign, entries[i].callsign);
        out[n].failures = entries[i].failures;
        lockout_end(&entries[i], out[n].until, sizeof out[n].until);
        n++;
    }
    return n;
}

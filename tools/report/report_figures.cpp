// report_figures.cpp - the figures of filter-report, read from the filter's
// files with the filter's own readers and names: the entry lines of the logs
// (read_dated_log_entry, beside the writer format_log_entry), the general
// log's file names (is_general_log_name), the lockout log, the guard's table
// (guard_locked_now), the codes used under each secret (read_code_use),
// what a listener heard of each password (password_exposure, and
// read_exposure_records for the file), users.prt's entry lines
// (parse_entry_line) and error.prt (read_error_record). Nothing here
// knows the layout of a file the filter writes.
#include "tools/report/report_figures.h"
#include "auth/challenges.h"
#include "auth/code_use.h"
#include "auth/exposure.h"
#include "auth/guard.h"
#include "auth/one_time_codes.h"
#include "common/access_methods.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/otp_secret.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/wipe.h"
#include "config/filter_config.h"
#include "config/guard_config.h"
#include "config/host_files.h"
#include "config/user_list.h"
#include "filter/call_clock.h"
#include "platform/platform.h"
#include "report/errors.h"
#include "report/lockouts.h"
#include "report/logs.h"
#include "tools/shared/tool_run.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <unordered_map>

// The error codes whose marker the page looks for; the most lockouts listed
// as running now (more than the guard's table holds).
enum { LAST_ERROR_CODE = 13, GUARD_TABLE_SHOWN = 8192 };

DayNumber day_number(int year, int month, int day)
{
    // Days from the civil calendar (H. Hinnant's algorithm), 1970-01-01 = 0.
    year -= month <= 2;
    long era = (year >= 0 ? year : year - 399) / 400;
    long yoe = year - era * 400;
    long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// civil_date - the calendar date of a day number.
static void civil_date(DayNumber z, int *year, int *month, int *day)
{
    z += 719468;
    long era = (z >= 0 ? z : z - 146096) / 146097;
    long doe = z - era * 146097;
    long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long mp = (5 * doy + 2) / 153;
    *day = (int)(doy - (153 * mp + 2) / 5 + 1);
    *month = (int)(mp < 10 ? mp + 3 : mp - 9);
    *year = (int)(yoe + era * 400 + (*month <= 2));
}

std::string day_text(DayNumber day)
{
    int y, m, d;
    char text[16];
    civil_date(day, &y, &m, &d);
    snprintf(text, sizeof text, "%02d-%02d-%04d", d, m, y);
    return text;
}

std::string iso_day_text(DayNumber day)
{
    int y, m, d;
    char text[16];
    civil_date(day, &y, &m, &d);
    snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
    return text;
}

DayNumber parse_day(const std::string &text)
{
    int a, b, c;
    char tail;
    if (sscanf(text.c_str(), "%d-%d-%d%c", &a, &b, &c, &tail) != 3)
        return NO_DAY;
    int year = a > 31 ? a : c, month = b, day = a > 31 ? c : a;
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return NO_DAY;
    DayNumber n = day_number(year, month, day);
    int y, m, d;
    civil_date(n, &y, &m, &d);
    return d == day ? n : NO_DAY;   // 31-11 is no date
}

// Gathering - the state of one gathering: the figures and the counts behind the lists.
struct Gathering {
    ReportFigures *f;
    std::unordered_map<std::string, long> by_station, failures_by_station;
};

// in_period - the day is within the period asked, and noted in its extent.
static bool in_period(ReportFigures *f, DayNumber day)
{
    if ((f->since != NO_DAY && day < f->since) || (f->until != NO_DAY && day > f->until)) {
        f->outside_period++;
        return false;
    }
    if (f->first == NO_DAY || day < f->first)
        f->first = day;
    if (f->last == NO_DAY || day > f->last)
        f->last = day;
    return true;
}

// why_unreadable - why a file that is there cannot be read, in words.
static std::string why_unreadable(const char *path)
{
    PlatListing listing;
    if (plat_open_listing(path, &listing)) {
        plat_close_listing(&listing);
        return "a directory stands where the file should be";
    }
    if (!plat_may_access(path, PLAT_MAY_READ))
        return "this account may not read it";
    return "it cannot be opened";
}

// open_seen - open a file and note it in the list; false when it is absent
// (with why_absent) or cannot be read.
static bool open_seen(ReportFigures *f, const char *path, const char *what, const std::string &why_absent,
                      PlatText *text)
{
    FileSeen seen;
    seen.path = display_path(path);
    seen.what = what;
    PlatListing listing;
    bool opened = plat_open_text(path, text);
    if (opened && plat_open_listing(path, &listing)) {
        // A directory opens on some systems, and fails at its first read.
        plat_close_listing(&listing);
        plat_close_text(text);
        opened = false;
    }
    if (opened)
        seen.state = FILE_READ;
    else if (plat_exists(path))
        seen.state = FILE_UNREADABLE, seen.why = why_unreadable(path);
    else
        seen.why = why_absent;
    f->files.push_back(seen);
    return opened;
}

// close_seen - close the last file opened, noting how many entries it gave
// and whether reading it failed on the way.
static void close_seen(ReportFigures *f, PlatText *text, long entries)
{
    FileSeen &seen = f->files.back();
    seen.entries = entries;
    if (plat_text_failed(text)) {
        seen.state = FILE_UNREADABLE;
        seen.why = "reading it failed part way; what came before is counted";
    }
    plat_close_text(text);
}

// station_key - "N0CALL-1" for an entry, callsign upper case.
static std::string station_key(const LogEntry &e)
{
    char call[sizeof e.callsign];
    copy_text(call, sizeof call, e.callsign);
    return std::string(upper_case(call)) + "-" + std::to_string(e.ssid);
}

// count_connection - one entry of the general log.
static void count_connection(Gathering *g, const LogEntry &e, DayNumber day)
{
    ReportFigures *f = g->f;
    f->connections_by_day[day][e.port]++;
    auto hours = f->connections_by_hour.find(e.port);
    if (hours == f->connections_by_hour.end())
        hours = f->connections_by_hour.emplace(e.port, std::array<long, 24>{}).first;
    hours->second[e.hour]++;
    g->by_station[station_key(e)]++;
    f->connections++;
}

// read_log_file - every entry line of one log, each within the period given to count.
static void read_log_file(Gathering *g, const char *path, const char *what, const std::string &why_absent,
                          void (*count)(Gathering *, const LogEntry &, DayNumber))
{
    PlatText text;
    if (!open_seen(g->f, path, what, why_absent, &text))
        return;
    char line[LOG_ENTRY_MAX];
    long entries = 0;
    LogEntry e;
    while (read_significant_line(&text, line, sizeof line, nullptr)) {
        if (!read_dated_log_entry(line, &e))
            continue;
        entries++;
        DayNumber day = day_number(e.year, e.month, e.day);
        if (in_period(g->f, day))
            count(g, e, day);
    }
    close_seen(g->f, &text, entries);
}

// read_connection_logs - every general connection log of morvel\logcnx, in
// the order of their names; station logs repeat its entries and are passed over.
static void read_connection_logs(Gathering *g)
{
    const char *dir = connection_log_directory();
    PlatListing listing;
    if (!plat_open_listing(dir, &listing)) {
        FileSeen seen;
        seen.path = display_path(dir);
        seen.what = "connection logs";
        if (plat_exists(dir))
            seen.state = FILE_UNREADABLE, seen.why = "the directory cannot be listed";
        else
            seen.why = filter_config.connection_log ? "no station has been admitted since the log was switched on"
                                                    : "line 12 of config.prt is NO: connections are not logged";
        g->f->files.push_back(seen);
        return;
    }
    std::vector<std::string> names;
    char name[260];
    while (plat_next_name(&listing, name, sizeof name))
        if (is_general_log_name(name))
            names.push_back(name);
    plat_close_listing(&listing);
    std::sort(names.begin(), names.end());
    for (const std::string &n : names) {
        std::string path = std::string(dir) + "\\" + n;
        read_log_file(g, path.c_str(), "connection log", "", count_connection);
    }
    if (names.empty()) {
        FileSeen seen;
        seen.path = display_path(std::string(dir) + "\\logcnx.prt");
        seen.what = "connection log";
        seen.why = "the directory holds no general log (only station logs, or nothing)";
        g->f->files.push_back(seen);
    }
}

// count_failure - one entry of the failed-password log.
static void count_failure(Gathering *g, const LogEntry &e, DayNumber day)
{
    g->f->failures_by_day[day]++;
    g->failures_by_station[station_key(e)]++;
    g->f->failures++;
}

// count_exclusion - one entry of the exclusion log.
static void count_exclusion(Gathering *g, const LogEntry &e, DayNumber day)
{
    (void)e;
    g->f->exclusions_by_day[day]++;
    g->f->exclusions++;
}

// attempt_log_path - morvel\lognopas.prt or morvel\logexcld.prt.
static std::string attempt_log_path(int which)
{
    return std::string(FILTER_DIR) + "\\" + attempt_log_name(which);
}

// read_attempt_logs - the failed-password and exclusion logs.
static void read_attempt_logs(Gathering *g)
{
    read_log_file(g, attempt_log_path(LOG_FAILED_PASSWORDS).c_str(), "failed-password log",
                  filter_config.log_password_failures ? "no station has used up its answers since -log last sent it"
                                                      : "line 14 of config.prt is NO: failures are not logged",
                  count_failure);
    read_log_file(g, attempt_log_path(LOG_EXCLUDED).c_str(), "exclusion log",
                  filter_config.log_exclusions ? "nobody has been refused as excluded since -log last sent it"
                                               : "line 13 of config.prt is NO: exclusions are not logged",
                  count_exclusion);
}

// stamp_text - "28-11-2026 14:02:11".
static std::string stamp_text(const struct tm &t)
{
    char text[80];
    snprintf(text, sizeof text, "%02d-%02d-%04d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900, t.tm_hour,
             t.tm_min, t.tm_sec);
    return text;
}

// read_lockouts - the lockout log, lockouts that began within the period.
static void read_lockouts(ReportFigures *f)
{
    PlatText text;
    if (!open_seen(f, lockout_log_path(), "lockout log",
                   f->guard_on ? "no callsign has been locked out" : "the guard is off (no guard.prt)", &text))
        return;
    char line[LOCKOUT_LINE_SIZE];
    long entries = 0;
    LockoutEntry e;
    while (read_significant_line(&text, line, sizeof line, nullptr)) {
        if (!read_lockout_entry(line, &e))
            continue;
        entries++;
        if (!in_period(f, day_number(e.from.tm_year + 1900, e.from.tm_mon + 1, e.from.tm_mday)))
            continue;
        f->lockouts.push_back({e.callsign, e.failures, stamp_text(e.from), stamp_text(e.until)});
    }
    close_seen(f, &text, entries);
}

// read_guard - guard.prt, then the callsigns locked out now in guard.dat.
static void read_guard(ReportFigures *f)
{
    char path[FILTER_PATH_MAX];
    config_file_path("guard.prt", path, sizeof path);
    int result = load_guard_config();
    FileSeen seen;
    seen.path = display_path(path);
    seen.what = "the guard's settings";
    if (result > 0) {
        seen.state = FILE_READ;
    } else if (result < 0) {
        seen.state = FILE_READ;
        seen.why = "line " + std::to_string(-result) + " is wrong: the filter reports error 5 and runs without the guard";
    } else if (plat_exists(path)) {
        seen.state = FILE_UNREADABLE;
        seen.why = why_unreadable(path);
    } else {
        seen.why = "the guard is off";
    }
    f->files.push_back(seen);
    f->guard_on = guard_config.guard_on;
    f->guard_failures = guard_config.failures;
    f->guard_minutes = guard_config.minutes;
    PlatText text;
    if (open_seen(f, guard_file_path(), "the guard's failures", "no failure counts now", &text))
        close_seen(f, &text, -1);
    std::vector<GuardStatusLine> locked(GUARD_TABLE_SHOWN);
    int n = guard_locked_now(locked.data(), (int)locked.size());
    for (int i = 0; i < n; i++)
        f->locked_now.push_back({locked[i].callsign, locked[i].failures, locked[i].until});
}

// local_stamp - a calendar time in seconds as "28-11-2026 14:02:11", local time.
static std::string local_stamp(time_t seconds)
{
    // The tool runs one thread: localtime's shared result is copied at once.
    const struct tm *t = localtime(&seconds);
    return t ? stamp_text(*t) : "?";
}

// one_time_station - an entry line with a one-time-code method and its use.
static void one_time_station(ReportFigures *f, const std::string &entry, int line, const EntryLine &e)
{
    OneTimeStation s;
    s.entry = entry;
    s.line = line;
    CodeKind kind = e.method == METHOD_HOTP ? CODE_HOTP : CODE_TOTP;
    s.kind = code_kind_name(kind);
    unsigned char secret[OTP_SECRET_MAX];
    int length = otp_secret_decode(e.password, secret);
    uint64_t value = 0;
    s.unreadable = !read_code_use(kind, secret, (size_t)length, &value);
    wipe(secret, sizeof secret);
    s.used = value > 0;
    if (kind == CODE_TOTP && s.used)
        s.last_use = local_stamp((time_t)(value * TOTP_STEP_SECONDS));
    if (kind == CODE_HOTP)
        s.codes_used = value;
    f->enrolled[s.kind]++;
    f->one_time.push_back(s);
}

// password_exposure_of - what a listener heard of an entry line's password,
// through the filter's own look-up and figure; nothing for a method whose
// answers let a listener hear nothing usable.
static void password_exposure_of(ReportFigures *f, const std::string &entry, int line, unsigned method,
                                 const char *password, int day)
{
    ExposureRecord r;
    ExposureFigure figure;
    int found = password_exposure(password, method, &r, &figure);
    // A table's rows nobody answered yet say nothing: a month of them would bury the rest.
    if (figure.kind == EXPOSURE_NONE || (day && found != 1)) {
        wipe(&r, sizeof r);
        return;
    }
    PasswordExposure x;
    x.entry = entry;
    x.line = line;
    x.day = day;
    const char *name = method_name(method);
    x.method = name ? name : method_text((int)method);
    x.found = found;
    x.chance = figure.chance;
    x.heard_as = exposure_kind_name(figure.kind);
    x.heard = figure.heard;
    x.of = figure.of;
    char text[EXPOSURE_TEXT];
    chance_text(figure.chance, text, sizeof text);
    x.figure = text;
    heard_text(&figure, text, sizeof text);
    x.what_heard = text;
    if (found == 1) {
        x.since = r.since;
        x.last_station = r.station;
        x.mailed = r.mailed;
    }
    x.passes = f->exposure_one_in > 0 && chance_passes(figure.chance, f->exposure_one_in);
    const AccessMethod *m = find_access_method(method);
    x.advice = exposure_advice(m ? m->challenge_kind : (short)NO_CHALLENGE);
    wipe(&r, sizeof r);
    f->exposure.push_back(x);
}

// table_exposure_of - what a listener heard of the rows of a TABLE entry's
// password table, found by the entry's callsign and SSID as the filter finds
// it; nothing for a wildcard header, whose stations have tables of their own.
static void table_exposure_of(ReportFigures *f, const std::string &entry, int line)
{
    size_t dash = entry.find('-');
    std::string call = entry.substr(0, dash);
    std::string ssid = dash == std::string::npos ? "" : entry.substr(dash + 1);
    if (call.empty() || entry.find_first_of("*?") != std::string::npos ||
        ssid.find_first_not_of("0123456789") != std::string::npos)
        return;
    PlatText table;
    if (!open_station_table(call.c_str(), ssid.empty() ? -1 : atoi(ssid.c_str()), &table))
        return;
    char row[TABLE_LINE_SIZE], password[PASSWORD_MAX + 1];
    short day;
    bool seen[32] = {};
    // The filter takes the first row of a day: so does the figure.
    while (read_significant_line(&table, row, sizeof row, nullptr))
        if (table_row(row, &day, password) && day >= 1 && day <= 31 && !seen[day]) {
            seen[day] = true;
            password_exposure_of(f, entry, line, METHOD_TABLE, password, day);
        }
    plat_close_text(&table);
    wipe(row, sizeof row);
    wipe(password, sizeof password);
}

// count_record - a password of exposure.dat, counted once however many lines it has.
static bool count_record(const ExposureRecord *r, const char *, void *context)
{
    ((std::set<std::string> *)context)->insert(r->tag);
    return true;
}

// read_exposure_file - exposure.dat in the list of files, with its records counted.
static void read_exposure_file(ReportFigures *f)
{
    FileSeen seen;
    seen.path = display_path(exposure_file_path());
    seen.what = "what a listener heard of each password";
    std::set<std::string> records;
    bool whole = read_exposure_records(count_record, &records);
    if (!whole) {
        seen.state = FILE_UNREADABLE;
        seen.why = why_unreadable(exposure_file_path());
    } else if (plat_exists(exposure_file_path())) {
        seen.state = FILE_READ;
        seen.entries = (long)records.size();
    } else {
        seen.why = "no answer heard on air has been recorded yet";
    }
    f->files.push_back(seen);
    std::stable_sort(f->exposure.begin(), f->exposure.end(),
                     [](const PasswordExposure &a, const PasswordExposure &b) { return a.chance > b.chance; });
}

// first_word - the first blank-separated word of a line, upper case.
static std::string first_word(const char *line)
{
    char word[USERS_LINE_SIZE];
    if (sscanf(line, "%299s", word) != 1)
        return "";
    return upper_case(word);
}

// read_station_list - users.prt's entry lines, each read by the filter's own
// parser: those of TOTP and HOTP with the codes used under each secret, and
// every password with what a listener heard of it.
static void read_station_list(ReportFigures *f)
{
    char path[FILTER_PATH_MAX];
    config_file_path("users.prt", path, sizeof path);
    PlatText text;
    if (!open_seen(f, path, "the station list", "no station is listed: each gets its port's method", &text))
        return;
    char line[USERS_LINE_SIZE];
    int physical = 0;
    long headers = 0;
    bool at_header = true;
    std::string header;
    EntryLine e;
    while (read_significant_line(&text, line, sizeof line, &physical)) {
        std::string word = first_word(line);
        if (word.empty())
            continue;
        if (at_header) {
            at_header = word[0] == '-';
            headers += !at_header;
            header = word;
            continue;
        }
        EntryLineResult r = parse_entry_line(line, physical, &e);
        at_header = r == ENTRY_LINE_END;
        if (r == ENTRY_LINE_OK && e.password_ok && (e.method == METHOD_TOTP || e.method == METHOD_HOTP))
            one_time_station(f, header, physical, e);
        if (r == ENTRY_LINE_OK && e.needs_password && e.password_ok)
            password_exposure_of(f, header, physical, e.method, e.password, 0);
        if (r == ENTRY_LINE_OK && e.method == METHOD_TABLE)
            table_exposure_of(f, header, physical);
    }
    wipe(line, sizeof line);
    wipe(&e, sizeof e);
    close_seen(f, &text, headers);
    char use_path[FILTER_PATH_MAX];
    snprintf(use_path, sizeof use_path, "%s\\%s", FILTER_DIR, CODE_USE_FILE);
    if (open_seen(f, use_path, "the one-time codes used", "no one-time code has been accepted", &text))
        close_seen(f, &text, -1);
}

// read_errors - error.prt, and the codes whose marker says they were mailed
// and are not mended yet. Read first: the readers that follow may report
// errors of their own, which the dry run holds but shows to later reads.
static void read_errors(ReportFigures *f)
{
    ErrorRecord r;
    int result = read_error_record(&r);
    FileSeen seen;
    seen.path = display_path(error_file_path());
    seen.what = "the last error";
    seen.state = result > 0 ? FILE_READ : result == 0 ? FILE_ABSENT : FILE_UNREADABLE;
    if (result == 0)
        seen.why = "no error has been reported";
    PlatText text;
    if (result < 0 && plat_open_text(error_file_path(), &text)) {
        plat_close_text(&text);
        seen.why = "it holds no error record as the filter writes them";
    } else if (result < 0) {
        seen.why = why_unreadable(error_file_path());
    }
    seen.entries = result > 0 ? 1 : -1;
    f->files.push_back(seen);
    if (result > 0) {
        LastError &e = f->last_error;
        e.present = true;
        e.code = r.code;
        e.text = r.text;
        e.time = r.time_stamp;
        e.station = r.station;
        e.port = r.port;
        int d, m, y;
        const char *date = strrchr(r.time_stamp, ' ');
        if (sscanf(date ? date + 1 : r.time_stamp, "%d-%d-%d", &d, &m, &y) == 3 && m >= 1 && m <= 12)
            e.day = day_number(y, m, d);
    }
    char marker[FILTER_PATH_MAX];
    for (int code = 1; code <= LAST_ERROR_CODE; code++)
        if (plat_exists(error_marker_path(marker, (uint16_t)code)))
            f->open_errors.push_back(code);
}

// ranked - the most frequent stations first, then by name; at most TOP_STATIONS.
static std::vector<StationCount> ranked(const std::unordered_map<std::string, long> &counts)
{
    std::vector<StationCount> all(counts.begin(), counts.end());
    std::sort(all.begin(), all.end(), [](const StationCount &a, const StationCount &b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    if (all.size() > TOP_STATIONS)
        all.resize(TOP_STATIONS);
    return all;
}

// read_port_names - the names of the host's port file, for the labels.
static void read_port_names(ReportFigures *f)
{
    if (host_info_ready())
        f->bbs = host_info.bbs_callsign;
    if (!host_ports_ready())
        return;
    for (int p = 1; p < PORT_TABLE_SIZE && p <= port_count; p++)
        if (port_table[p][0])
            f->port_names[p] = port_table[p];
}

void gather_figures(DayNumber since, DayNumber until, ReportFigures *figures)
{
    Gathering g;
    g.f = figures;
    figures->since = since;
    figures->until = until;
    read_errors(figures);
    fill_call_clock();
    figures->made_at = local_stamp(plat_now_seconds());
    read_port_names(figures);
    load_filter_config();
    read_connection_logs(&g);
    read_attempt_logs(&g);
    read_guard(figures);
    read_lockouts(figures);
    figures->exposure_one_in = guard_config.exposure_one_in;
    read_station_list(figures);
    read_exposure_file(figures);
    LastError &e = figures->last_error;
    e.in_period = e.present && (e.day == NO_DAY || ((since == NO_DAY || e.day >= since) &&
                                                     (until == NO_DAY || e.day <= until)));
    figures->top_stations = ranked(g.by_station);
    figures->stations = (long)g.by_station.size();
    figures->top_failures = ranked(g.failures_by_station);
}

int files_unreadable(const ReportFigures &figures)
{
    int n = 0;
    for (const FileSeen &s : figures.files)
        n += s.state == FILE_UNREADABLE;
    return n;
}

std::string port_label(const ReportFigures &figures, int port)
{
    auto name = figures.port_names.find(port);
    if (port == 0)
        return "0 (console)";
    return name == figures.port_names.end() ? std::to_string(port) : std::to_string(port) + " (" + name->second + ")";
}

std::vector<int> ports_seen(const ReportFigures &figures)
{
    std::vector<int> ports;
    for (const auto &p : figures.connections_by_hour)
        ports.push_back(p.first);
    return ports;
}

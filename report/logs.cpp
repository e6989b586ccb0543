// logs.cpp - the attempt logs (lognopas.prt, logexcld.prt) and the connection
// logs under morvel\logcnx: the general log and the station logs chosen by
// logusr.prt, each in one file or one per day, week or month.
//
// Every failure here is silent: a log that cannot be written leaves the
// outcome of the call unchanged. An entry that a log opened for it did not
// take whole is counted, for the sysop to hear of when a report can be written.
#include "report/logs.h"
#include "common/files_lock.h"
#include "common/filter_dir.h"
#include "common/letter_values.h"
#include "common/line_reader.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdio>
#include <cstring>

static const char connection_log_dir[] = FILTER_DIR "\\logcnx";
// The general log's prefix; a daily one keeps its first five characters,
// so that the day of the year still fits the old eight-letter names.
static const char general_prefix[] = "logcnx";
enum { DAILY_PREFIX_LENGTH = 5 };
static const char *const attempt_logs[2] = {"lognopas.prt", "logexcld.prt"};

// Entries lost and not yet reported.
static long lost_entries;

// Room for four labels of 80 characters placed around column 62 at most.
enum { HEADER_MAX = 400 };
#define LOG_LINE_SCAN "%15s %79s"
static_assert(LOG_NAME_MAX == 15 && TEXT_PIECE == 80, "LOG_LINE_SCAN widths follow the fields");

// log_column_header - the four labels centred on their columns, upper case.
void log_column_header(char *out, size_t size)
{
    static const int labels[4] = {MSG_CALLSIGN, MSG_PORT, MSG_TIME, MSG_DATE};
    static const int centres[4] = {13, 28, 42, 62};
    char line[HEADER_MAX];
    size_t len = 0;
    line[0] = '\0';
    for (int i = 0; i < 4; i++) {
        const char *label = msg(labels[i]);
        int start = centres[i] - (int)strlen(label) / 2;
        while ((int)len < start && len + 1 < sizeof line)
            line[len++] = ' ';
        line[len] = '\0';
        copy_text(line + len, sizeof line - len, label);
        len = strlen(line);
    }
    upper_case(line);
    copy_text(out, size, line);
}

// entry_time - the call's time "21:30:05,27" and date "08-12-2026".
static void entry_time(char *time_text, size_t time_size, char *date_text, size_t date_size)
{
    const CallClock &c = call_clock;
    snprintf(time_text, time_size, "%02d:%02d:%02d,%02d", c.hour, c.minute, c.second, c.hundredths);
    snprintf(date_text, date_size, "%02d-%02d-%04d", c.day, c.month, (int)c.year);
}

// open_log - append to a log, creating it with its header first when new;
// null on failure. Created exclusively: a log another process has just
// created is appended to, never replaced. An empty log is one whose creator
// ended before its header (the host killed): it gets the header still.
static FILE *open_log(const char *path, const char *title)
{
    long size = 0;
    bool existed = plat_file_size(path, &size);
    FILE *f = existed ? nullptr : plat_fopen_exclusive(path, &existed);
    if (existed && !f) {
        plat_file_size(path, &size);
        f = plat_fopen(path, "at");
    }
    if (!f || size > 0)
        return f;
    char header[HEADER_MAX];
    log_column_header(header, sizeof header);
    char banner[BANNER_MAX];
    format_banner(banner, sizeof banner, title);
    fprintf(f, "\n%s:\n", banner);
    fprintf(f, "\n%s\n   ", header);
    for (int i = 0; i < 69; i++)
        fputc('=', f);
    fputc('\n', f);
    return f;
}

void format_log_entry(char *out, size_t size, const char *callsign, int ssid, int port, const char *time_text,
                      const char *date_text)
{
    snprintf(out, size, "         %-6s-%-2d        %2d         %s         %s\n", callsign, ssid, port, time_text,
             date_text);
}

bool read_log_entry(const char *line, char *callsign, int *ssid, int *port)
{
    return sscanf(line, " %6[A-Za-z0-9] -%d %d", callsign, ssid, port) == 3;
}

// in_range - lo <= n <= hi.
static bool in_range(int n, int lo, int hi)
{
    return n >= lo && n <= hi;
}

bool read_dated_log_entry(const char *line, LogEntry *e)
{
    if (sscanf(line, " %6[A-Za-z0-9] -%d %d %d:%d:%d,%d %d-%d-%d", e->callsign, &e->ssid, &e->port, &e->hour,
               &e->minute, &e->second, &e->hundredths, &e->day, &e->month, &e->year) != 10)
        return false;
    return in_range(e->hour, 0, 23) && in_range(e->minute, 0, 59) && in_range(e->second, 0, 60) &&
           in_range(e->hundredths, 0, 99) && in_range(e->day, 1, 31) && in_range(e->month, 1, 12) &&
           in_range(e->year, 1900, 9999);
}

const char *attempt_log_name(int which)
{
    return attempt_logs[which == LOG_FAILED_PASSWORDS ? 0 : 1];
}

const char *connection_log_directory(void)
{
    return connection_log_dir;
}

// same_letters - the first n characters of a and b agree, case aside.
static bool same_letters(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i]) || !a[i])
            return false;
    return true;
}

// digits_then_prt - name is n digits and ".prt", case aside: the period of
// "%W" or "%m" (two digits) or "%j" (three).
static bool digits_then_prt(const char *name, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (name[i] < '0' || name[i] > '9')
            return false;
    return strlen(name + n) == 4 && same_letters(name + n, ".prt", 4);
}

bool is_general_log_name(const char *name)
{
    size_t length = strlen(general_prefix);
    if (!same_letters(name, general_prefix, DAILY_PREFIX_LENGTH))
        return false;
    if (digits_then_prt(name + DAILY_PREFIX_LENGTH, 3))
        return true;
    return same_letters(name, general_prefix, length) &&
           (digits_then_prt(name + length, 0) || digits_then_prt(name + length, 2));
}

// append_log_entry - one entry line of this call's station in a log. Under
// the lock of the filter's files: a new log's header comes before any other
// process's entry, and "-log" never takes a log away half-written.
static void append_log_entry(const char *path, const char *title)
{
    char time_text[16], date_text[16], entry[LOG_ENTRY_MAX];
    lock_filter_files();
    FILE *f = open_log(path, title);
    if (!f) {
        unlock_filter_files();
        return;
    }
    trace(TRACE_LOG, 0, 0, path);
    entry_time(time_text, sizeof time_text, date_text, sizeof date_text);
    format_log_entry(entry, sizeof entry, connection_info.callsign, connection_info.ssid, connection_info.port,
                     time_text, date_text);
    fputs(entry, f);
    if (plat_fclose(f) != 0)
        lost_entries++;
    unlock_filter_files();
}

long lost_log_entries(void)
{
    return lost_entries;
}

void forget_lost_log_entries(long n)
{
    lost_entries -= n < lost_entries ? n : lost_entries;
}

void logs_reset(void)
{
    lost_entries = 0;
}

// write_attempt_log - one entry in lognopas.prt or logexcld.prt.
void write_attempt_log(int which)
{
    char path[FILTER_PATH_MAX];
    bool failed_passwords = which == LOG_FAILED_PASSWORDS;
    snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, attempt_log_name(which));
    append_log_entry(path, msg(failed_passwords ? MSG_PASSWORD_LOG : MSG_EXCLUSION_LOG));
}

// parse_log_user_line - the name, then one word of letters; blanks after it
// and any further words are not read.
bool parse_log_user_line(char *line, LogUserLine *entry)
{
    entry->name[0] = '\0';
    entry->letters[0] = '\0';
    entry->mode = 0;
    upper_case(line);
    if (sscanf(line, LOG_LINE_SCAN, entry->name, entry->letters) < 1)
        return false;
    entry->mode = letters_value(entry->letters, log_mode_letters);
    return true;
}

// user_log_mode - the mode of the first logusr.prt line naming the station, with or without SSID.
bool user_log_mode(uint16_t *mode)
{
    char path[FILTER_PATH_MAX], line[LOG_USER_LINE_SIZE];
    char bare[8], with_ssid[16];
    copy_text(bare, sizeof bare, connection_info.callsign);
    upper_case(bare);
    snprintf(with_ssid, sizeof with_ssid, "%s-%d", bare, connection_info.ssid);
    snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, "logusr.prt");
    PlatText f;
    if (!plat_open_text(path, &f))
        return false;
    bool found = false;
    while (!found && read_significant_line(&f, line, sizeof line, nullptr)) {
        LogUserLine entry;
        if (!parse_log_user_line(line, &entry))
            continue;
        if (strcmp(entry.name, bare) == 0 || strcmp(entry.name, with_ssid) == 0) {
            *mode = entry.mode;
            found = true;
        }
    }
    plat_close_text(&f);
    return found;
}

// period_format - the strftime conversion of a mode: W before M before D; "" for one file.
static const char *period_format(uint16_t mode)
{
    if (mode & LOG_WEEKLY)
        return "%W";
    if (mode & LOG_MONTHLY)
        return "%m";
    if (mode & LOG_DAILY)
        return "%j";
    return "";
}

// connection_log_path - directory and file of the general (0) or station (1)
// log; false when a path would not fit its buffer.
static bool connection_log_path(int kind, uint16_t mode, char *dir, char *path)
{
    char period[8] = "";
    const char *format = period_format(mode);
    if (format[0])
        plat_format_time(period, sizeof period, format, &call_clock.local_time);
    bool daily = strcmp(format, "%j") == 0;
    int n;
    copy_text(dir, FILTER_PATH_MAX, connection_log_dir);
    if (kind == LOG_GENERAL) {
        n = snprintf(path, FILTER_PATH_MAX, "%s\\%.*s%s.%s", dir,
                     daily ? (int)DAILY_PREFIX_LENGTH : (int)strlen(general_prefix), general_prefix, period, "prt");
    } else if (daily) {
        n = snprintf(dir, FILTER_PATH_MAX, "%s\\%s", connection_log_dir, connection_info.callsign);
        if (n < 0 || n >= FILTER_PATH_MAX)
            return false;
        n = snprintf(path, FILTER_PATH_MAX, "%s\\%s%s.%s", dir, "", period, "log");
    } else {
        n = snprintf(path, FILTER_PATH_MAX, "%s\\%s%s.%s", dir, connection_info.callsign, period, "log");
    }
    return n >= 0 && n < FILTER_PATH_MAX;
}

// write_connection_log - one entry in the general (0) or station (1) log of the call's period.
void write_connection_log(int kind)
{
    uint16_t mode = 0;
    char dir[FILTER_PATH_MAX], path[FILTER_PATH_MAX];
    if (kind == LOG_GENERAL)
        mode = filter_config.connection_log_flags;
    else if (!user_log_mode(&mode))
        return;
    if (connection_info.port == 0 && !(mode & LOG_CONSOLE))
        return;
    if (!connection_log_path(kind, mode, dir, path))
        return;
    // One level only: a station's day directory needs logcnx to be there
    // already. One that another process made just now serves as well.
    if (!plat_exists(dir) && !plat_make_directory(dir) && !plat_exists(dir))
        return;
    append_log_entry(path, msg(MSG_CONNECTIONS_LOG));
}

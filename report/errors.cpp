// errors.cpp - numbered error reports: the error text, error.prt, the error
// mail to the sysops, the markers that keep that mail to one per code, and
// the outcome each code leaves for the connection.
//
// A report never fails in a way the caller must handle: whatever goes wrong
// while recording or mailing, the report leaves an outcome. The reporter
// records and mails; it decides nothing. It notes the verdict its code's row
// leaves (report_verdict) and, for codes 4 and 7, that the port's method is
// due (take_port_method_due); the operation that stopped on the error sets
// the verdict from them or runs that method.
#include "report/errors.h"
#include "common/error_hook.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "platform/platform.h"
#include "report/mail.h"
// The reporter's one tie to the readers: see load_missing_setup.
#include "config/filter_config.h"
#include "config/host_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The verdict a code leaves. Codes 4 and 7 leave the station to the port's
// method, which the operation that met them runs; until it has, the station
// stands refused, which is also all a forward login can get.
enum { VERDICT_FALLBACK = 0xFF };

// The outcome of the last report, kept for the operation that stopped on it:
// the verdict its code leaves, and whether it left the station to the port's
// method (codes 4 and 7), whether or not error.prt could be written.
static uint8_t last_verdict;
static bool port_method_due;

// The file a report names instead of its row's first one, with a marker of
// its own: a wrong line of guard.prt is error 5 as one of config.prt is, but
// reading config.prt without fault must not make it news again.
static const char *file_in_report;

// The form of the report being made (MAIL_ERROR_... for error 2, else 0),
// and the numbers a report of lost mail gives.
static int form_in_report;
static long lost_mail_in_report, lost_entries_in_report;

// Arguments of an error text: n >= 0 is message entry n; the others stand for
// the row's next file name, the station's callsign, the report's detail, the
// number of texts a language file must hold, the mail lock's path, and the
// messages and log entries lost.
enum {
    ARG_END = -1, ARG_NAME = -2, ARG_CALLSIGN = -3, ARG_DETAIL = -4, ARG_TEXTS = -5, ARG_LOCK = -6,
    ARG_LOST_MAIL = -7, ARG_LOST_ENTRIES = -8
};

// ErrorFormat - a code and its form, its text (each conversion takes the
// next argument) and its verdict.
struct ErrorFormat {
    uint16_t code;
    const char *format;
    int args[5];               // in the order of the conversions; ARG_END ends early
    const char *names[2];      // the file names taken by ARG_NAME, in order
    uint8_t verdict;
    int form;                  // which of a code's texts: 0, or a MAIL_ERROR_... of error 2
};

static const ErrorFormat error_formats[] = {
    {1, "%s %s %s.", {MSG_FILE, ARG_NAME, MSG_NOT_FOUND, ARG_END}, {"init.srv", nullptr}, 0, 0},
    {2, "%s.\n    %s %s", {MSG_NO_MAIL_FILE, MSG_CHECK_CONFIG, ARG_NAME, ARG_END}, {"init.srv", nullptr}, 0, 0},
    {2, "%s.\n    %s %s (locked)", {MSG_NO_MAIL_FILE, MSG_FILE, ARG_LOCK, ARG_END}, {nullptr, nullptr}, 0,
     MAIL_ERROR_LOCK},
    {2, "Messages lost: %d, log entries lost: %d (no file could take them).",
     {ARG_LOST_MAIL, ARG_LOST_ENTRIES, ARG_END}, {nullptr, nullptr}, 0, MAIL_ERROR_LOST},
    {3, "%s (%s) %s.", {MSG_CONFIG_FILE, ARG_NAME, MSG_NOT_FOUND, ARG_END}, {"config.prt", nullptr}, 0, 0},
    {4, "%s %s %s.", {MSG_TABLE_FILE, ARG_CALLSIGN, MSG_NOT_FOUND, ARG_END}, {nullptr, nullptr},
     VERDICT_FALLBACK, 0},
    {5, "%s %d (%s)", {MSG_BAD_LINE, ARG_DETAIL, ARG_NAME, ARG_END}, {"config.prt", nullptr}, 0, 0},
    {6, "%s (%d/%d).", {MSG_LANGUAGE_LINES, ARG_DETAIL, ARG_TEXTS, ARG_END}, {nullptr, nullptr}, 0, 0},
    {7, "%s %d (%s)", {MSG_BAD_LINE, ARG_DETAIL, ARG_NAME, ARG_END}, {"users.prt", nullptr}, VERDICT_FALLBACK, 0},
    {8, "%s %s %s.\n    %s %s", {MSG_FILE, ARG_NAME, MSG_NOT_FOUND, MSG_OPTION_ON, ARG_NAME},
     {"open.prt", "config.prt"}, 0, 0},
    {9, "%s %s %s.", {MSG_FILE, ARG_NAME, MSG_NOT_FOUND, ARG_END}, {"info.prt", nullptr}, VERDICT_REFUSED, 0},
    {10, "%s", {MSG_NO_TEMP_FILE, ARG_END}, {nullptr, nullptr}, VERDICT_REFUSED, 0},
    {11, "%s %s %s.\n    %s %s", {MSG_FILE, ARG_NAME, MSG_NOT_FOUND, MSG_OPTION_ON, ARG_NAME},
     {"excluded.prt", "config.prt"}, VERDICT_REFUSED, 0},
    {13, "%s", {MSG_NO_MEMORY, ARG_END}, {nullptr, nullptr}, 0, 0},
};

// The text of codes nobody raises.
static const ErrorFormat unknown_error = {0, "%s", {MSG_UNKNOWN_ERROR, ARG_END}, {nullptr, nullptr}, 0, 0};

// find_format - the table row of a code in the form of the report being
// made, or the row of an unknown error.
static const ErrorFormat *find_format(uint16_t code)
{
    for (const ErrorFormat &f : error_formats)
        if (f.code == code && f.form == form_in_report)
            return &f;
    return &unknown_error;
}

// append_argument - format one argument of the row onto out at *used.
static void append_argument(const ErrorFormat *f, int arg, int *name_index, uint16_t detail, char *out,
                            size_t size, size_t *used)
{
    if (*used + 1 >= size)
        return;
    char *at = out + *used;
    size_t room = size - *used;
    int n = 0;
    if (arg >= 0)
        n = snprintf(at, room, "%s", msg(arg));
    else if (arg == ARG_NAME) {
        const char *name = f->names[(*name_index)++];
        n = snprintf(at, room, "%s", *name_index == 1 && file_in_report ? file_in_report : name);
    }
    else if (arg == ARG_CALLSIGN)
        n = snprintf(at, room, "%s", connection_info.callsign);
    else if (arg == ARG_DETAIL)
        n = snprintf(at, room, "%d", detail);
    else if (arg == ARG_TEXTS)
        n = snprintf(at, room, "%d", LANGUAGE_TEXTS);
    else if (arg == ARG_LOCK)
        n = snprintf(at, room, "%s", host_info.mail_lock_path);
    else if (arg == ARG_LOST_MAIL)
        n = snprintf(at, room, "%ld", lost_mail_in_report);
    else if (arg == ARG_LOST_ENTRIES)
        n = snprintf(at, room, "%ld", lost_entries_in_report);
    *used += (n < 0) ? 0 : ((size_t)n < room ? (size_t)n : room - 1);
}

// error_text - walk the format, copying its literal parts and putting each
// argument in place of its conversion, and the report's own file after a
// text that names none; cut at size, always terminated.
void error_text(uint16_t code, uint16_t detail, char *out, size_t size)
{
    if (size == 0)
        return;
    const ErrorFormat *f = find_format(code);
    size_t used = 0;
    int arg = 0, name_index = 0;
    out[0] = '\0';
    for (const char *p = f->format; *p && used + 1 < size; p++) {
        if (p[0] == '%' && p[1] != '\0') {
            p++;
            if (arg < 5 && f->args[arg] != ARG_END)
                append_argument(f, f->args[arg++], &name_index, detail, out, size, &used);
            continue;
        }
        out[used++] = *p;
        out[used] = '\0';
    }
    // A file the row's text cannot name (error 10 of guard.dat) follows it.
    if (file_in_report && name_index == 0 && used + 1 < size)
        snprintf(out + used, size - used, " (%s)", file_in_report);
}

// error_marker_path - morvel\ERROR<code>.TMP into buffer, or for a report
// that names its own file morvel\ERROR<code>-<file's stem>.TMP; returns buffer.
char *error_marker_path(char *buffer, uint16_t code)
{
    if (file_in_report)
        snprintf(buffer, FILTER_PATH_MAX, "%s\\ERROR%d-%.*s.TMP", FILTER_DIR, code,
                 (int)strcspn(file_in_report, "."), file_in_report);
    else
        snprintf(buffer, FILTER_PATH_MAX, "%s\\ERROR%d.TMP", FILTER_DIR, code);
    return buffer;
}

// clear_error_marker - the failing operation works again: its next failure is news.
void clear_error_marker(uint16_t code)
{
    char path[FILTER_PATH_MAX];
    plat_remove(error_marker_path(path, code));
}

// The error line's head: the code follows "001" directly, so that code 5
// reads 0015 and code 10 00110, as sysops know them.
static const char error_line_head[] = "*** ERROR 001";
static const char error_file[] = FILTER_DIR "\\error.prt";

// write_error_lines - the banner, the station and the error line, as error.prt and the mail show them.
static void write_error_lines(FILE *f, uint16_t code, const char *text)
{
    char line[BANNER_MAX];
    format_banner(line, sizeof line, call_clock.time_stamp);
    fprintf(f, "%s\n%s: %s-%d / %s: %d\n%s%i: %s\n", line, msg(MSG_CONNECTED_CALLSIGN), connection_info.callsign,
            connection_info.ssid, msg(MSG_PORT), connection_info.port, error_line_head, code, text);
}

// read_banner_line - the time stamp after the banner's "] - "; false for another line.
static bool read_banner_line(const char *line, ErrorRecord *r)
{
    const char *after = strstr(line, "] - ");
    if (line[0] != '[' || !after)
        return false;
    copy_text(r->time_stamp, sizeof r->time_stamp, after + 4);
    r->time_stamp[strcspn(r->time_stamp, "\n")] = '\0';
    return true;
}

// read_station_line - the station and port of "LABEL: N0CALL-0 / LABEL: 3",
// whatever the labels' language: the station is the last word before the
// last " / ", the port the number after the last ": ".
static bool read_station_line(const char *line, ErrorRecord *r)
{
    const char *slash = nullptr;
    for (const char *p = strstr(line, " / "); p; p = strstr(p + 1, " / "))
        slash = p;
    const char *colon = nullptr;
    for (const char *p = strstr(line, ": "); p; p = strstr(p + 1, ": "))
        colon = p;
    if (!slash || !colon || colon < slash)
        return false;
    const char *word = slash;
    while (word > line && word[-1] != ' ')
        word--;
    int length = (int)(slash - word);
    snprintf(r->station, sizeof r->station, "%.*s", length, word);
    char *end;
    r->port = (int)strtol(colon + 2, &end, 10);
    return end != colon + 2;
}

// read_code_line - the code and the first line of the text of "*** ERROR 0015: TEXT".
static bool read_code_line(const char *line, ErrorRecord *r)
{
    size_t head = strlen(error_line_head);
    if (strncmp(line, error_line_head, head) != 0)
        return false;
    char *end;
    long code = strtol(line + head, &end, 10);
    if (end == line + head || end[0] != ':' || code < 0 || code > 0xFFFF)
        return false;
    r->code = (uint16_t)code;
    copy_text(r->text, sizeof r->text, end[1] == ' ' ? end + 2 : end + 1);
    r->text[strcspn(r->text, "\n")] = '\0';
    return true;
}

// append_text_line - a further line of the error text ("    Check ...").
static void append_text_line(const char *line, ErrorRecord *r)
{
    size_t used = strlen(r->text);
    snprintf(r->text + used, sizeof r->text - used, "\n%.*s", (int)strcspn(line, "\n"), line);
}

const char *error_file_path(void)
{
    return error_file;
}

int read_error_record(ErrorRecord *record)
{
    memset(record, 0, sizeof *record);
    PlatText f;
    if (!plat_open_text(error_file, &f))
        return plat_exists(error_file) ? -1 : 0;
    char line[ERROR_TEXT_MAX];
    int step = 0;   // 0 the banner, 1 the station, 2 the code, 3 further text lines
    while (step < 4 && read_significant_line(&f, line, sizeof line, nullptr)) {
        if (step == 0)
            step = read_banner_line(line, record) ? 1 : 0;
        else if (step == 1)
            step = read_station_line(line, record) ? 2 : 4;
        else if (step == 2)
            step = read_code_line(line, record) ? 3 : 4;
        else if (line[0] == ' ')
            append_text_line(line, record);
        else
            break;
    }
    bool failed = plat_text_failed(&f);
    plat_close_text(&f);
    return !failed && step == 3 ? 1 : -1;
}

// write_error_record - replace error.prt with this report; false when it
// cannot be written. The new record takes the old one's place in one step:
// a crash in between leaves the last report, never none.
static bool write_error_record(uint16_t code, const char *text)
{
    static PlatReplacement record;   // large for a stack; reports never overlap while it is written
    FILE *f = plat_open_replacement(error_file, false, &record);
    if (!f)
        return false;
    fputc('\n', f);
    write_error_lines(f, code, text);
    fputc('\n', f);
    return plat_commit_replacement(&record);
}

// The steps of a report at which the reporter needs the readers.
enum SetupStep { SETUP_RECIPIENTS, SETUP_MAIL_DROP };

// load_missing_setup - the reporter's one tie to the readers of config/, the
// only calls from report/ into them. The recipients of the error mail are
// in config.prt, with the host's sysop of the start-up file standing in when
// none is configured, and the mail drop is named by the start-up file; so
// before it mails, the reporter loads what is not loaded yet, and those
// readers report their own errors in turn. For the recipients: the start-up
// file, config.prt unless this code came from reading it, and the stand-in
// sysop. For the mail drop: the start-up file, tried once more.
static void load_missing_setup(SetupStep step, uint16_t code)
{
    if (!host_info.host_info_loaded)
        load_host_info();
    if (step == SETUP_MAIL_DROP)
        return;
    bool from_config = code == ERR_NO_CONFIG || code == ERR_CONFIG_LINE || code == ERR_LANGUAGE_LINES;
    if (!filter_config.config_loaded && !from_config)
        load_filter_config();
    use_stand_in_sysop(host_info.host_info_loaded ? host_info.host_sysop : "SYSOP");
}

// ErrorMail - what the error mail says.
struct ErrorMail {
    uint16_t code;
    const char *text;
};

// write_error_mail - one message per sysop; false when a write failed.
static bool write_error_mail(FILE *mail, void *context)
{
    const ErrorMail *e = (const ErrorMail *)context;
    for (int i = 0; i < sysops_to_mail(); i++) {
        trace(TRACE_MAIL, 0, e->code, msg(MSG_ERROR_DETECTED), filter_config.sysop_calls[i]);
        write_mail_header(mail, filter_config.sysop_calls[i], "MORVEL");
        fprintf(mail, "%s\n", msg(MSG_ERROR_DETECTED));
        write_error_lines(mail, e->code, e->text);
        fprintf(mail, "\n/EX\n");
    }
    return !ferror(mail);
}

// mail_sysops - the error mail to every sysop, once config.prt has named
// them; a mail that no file takes is counted as lost.
static void mail_sysops(uint16_t code, const char *text)
{
    if (!filter_config.config_loaded)
        return;
    load_missing_setup(SETUP_MAIL_DROP, code);
    ErrorMail mail = {code, text};
    if (!send_mail(write_error_mail, &mail))
        count_lost_mail(sysops_to_mail());
}

// mail_sysops_once - mail the sysops unless this code's marker says they know.
// The marker is made before the mail, so a mail that cannot be sent now is
// not sent later either, until the failing operation has succeeded again.
static void mail_sysops_once(uint16_t code, const char *text)
{
    char marker[FILTER_PATH_MAX];
    error_marker_path(marker, code);
    if (plat_exists(marker))
        return;
    plat_create_hidden(marker);
    mail_sysops(code, text);
}

// report_error_in - report_error for a line of file_name rather than of the
// file the code's text names.
void report_error_in(uint16_t code, uint16_t detail, const char *file_name)
{
    file_in_report = file_name;
    report_error(code, detail);
    file_in_report = nullptr;
}

// clear_error_marker_in - clear_error_marker for the reports of report_error_in.
void clear_error_marker_in(uint16_t code, const char *file_name)
{
    file_in_report = file_name;
    clear_error_marker(code);
    file_in_report = nullptr;
}

// take_port_method_due - the last report left the station to the port's
// method; reading it clears it.
bool take_port_method_due(void)
{
    bool due = port_method_due;
    port_method_due = false;
    return due;
}

// report_verdict - the verdict the last report's code leaves.
uint8_t report_verdict(void)
{
    return last_verdict;
}

// The reporter behind the readers' hook.
static const ErrorReporter reporter = {report_error, clear_error_marker};

// errors_reset - at load no report is waiting, and the readers' errors come here.
void errors_reset(void)
{
    last_verdict = VERDICT_ADMITTED;
    port_method_due = false;
    install_error_reporter(&reporter);
}

// record_and_mail - record a report's text in error.prt, mail the sysops
// (once per code above 2; error 2, which its callers report once per
// trouble, each time), note the outcome of the code; false when error.prt
// could not be written. An error.prt that cannot be written stops the
// recording there: no marker and no mail. The outcome of the code stands all
// the same: a station that the code refuses (a missing information or
// exclusion text, a challenge that cannot be checked) must not be let in
// because the disk that would have recorded the fault is failing too.
static bool record_and_mail(uint16_t code, uint16_t detail, const char *text)
{
    port_method_due = false;
    trace(TRACE_ERROR, detail, code, nullptr, text);
    bool recorded = write_error_record(code, text);
    if (recorded && code >= ERR_NO_MAIL) {
        load_missing_setup(SETUP_RECIPIENTS, code);
        if (code == ERR_NO_MAIL)
            mail_sysops(code, text);
        else
            mail_sysops_once(code, text);
    }
    uint8_t v = find_format(code)->verdict;
    // Noted last: the reports raised while loading the setup above came first.
    port_method_due = v == VERDICT_FALLBACK;
    last_verdict = port_method_due ? (uint8_t)VERDICT_REFUSED : v;
    return recorded;
}

void report_error(uint16_t code, uint16_t detail)
{
    char text[ERROR_TEXT_MAX];
    error_text(code, detail, text, sizeof text);
    record_and_mail(code, detail, text);
}

// report_mail_error - error 2 in one of its forms, its text built before
// the readers that load the setup may report errors of their own.
bool report_mail_error(MailError form, long lost_mail, long lost_entries)
{
    char text[ERROR_TEXT_MAX];
    lost_mail_in_report = lost_mail;
    lost_entries_in_report = lost_entries;
    form_in_report = form;
    error_text(ERR_NO_MAIL, 0, text, sizeof text);
    form_in_report = 0;
    return record_and_mail(ERR_NO_MAIL, 0, text);
}

// errors.cpp - numbered error reports: the error text, error.prt, the error
// mail to the sysops, the markers that keep that mail to one per code, and
// the verdict each code leaves for the connection.
//
// A report never fails in a way the caller must handle: whatever goes wrong
// while recording or mailing, the connection still gets a verdict. The
// reporter decides nothing beyond the verdict of its table: for codes 4 and 7
// it only marks that the port's method is due (take_port_method_due), and
// the operation that met the error runs that method.
#include "report/errors.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "config/messages.h"
#include "platform/platform.h"
#include "report/mail.h"

#include <cstdio>

// Room for the longest error text built from five translated entries of 80
// characters and the file names (271 characters), so no translation is cut
// here. error_text cuts at its caller's size; a shorter buffer keeps the head.
enum { ERROR_TEXT_MAX = 300 };

// The verdict a code leaves. Codes 4 and 7 leave the station to the port's
// method, which the operation that met them runs; until it has, the station
// stands refused, which is also all a forward login can get.
enum { VERDICT_FALLBACK = 0xFF };

// Whether the last report left the station to the port's method (codes 4
// and 7, recorded in error.prt); taken by the operation that stopped on it.
static bool port_method_due;

// Arguments of an error text: n >= 0 is message entry n; the others stand for
// the row's next file name, the station's callsign, the report's detail and
// the number of texts a language file must hold.
enum { ARG_END = -1, ARG_NAME = -2, ARG_CALLSIGN = -3, ARG_DETAIL = -4, ARG_TEXTS = -5 };

// ErrorFormat - a code, its text (each conversion takes the next argument) and its verdict.
struct ErrorFormat {
    uint16_t code;
    const char *format;
    int args[5];               // in the order of the conversions; ARG_END ends early
    const char *names[2];      // the file names taken by ARG_NAME, in order
    uint8_t verdict;
};

static const ErrorFormat error_formats[] = {
    {1, "%s %s %s.", {MSG_FILE, ARG_NAME, MSG_NOT_FOUND, ARG_END}, {"init.srv", nullptr}, 0},
    {2, "%s.\n    %s %s", {MSG_NO_MAIL_FILE, MSG_CHECK_CONFIG, ARG_NAME, ARG_END}, {"init.srv", nullptr}, 0},
    {3, "%s (%s) %s.", {MSG_CONFIG_FILE, ARG_NAME, MSG_NOT_FOUND, ARG_END}, {"config.prt", nullptr}, 0},
    {4, "%s %s %s.", {MSG_TABLE_FILE, ARG_CALLSIGN, MSG_NOT_FOUND, ARG_END}, {nullptr, nullptr},
     VERDICT_FALLBACK},
    {5, "%s %d (%s)", {MSG_BAD_LINE, ARG_DETAIL, ARG_NAME, ARG_END}, {"config.prt", nullptr}, 0},
    {6, "%s (%d/%d).", {MSG_LANGUAGE_LINES, ARG_DETAIL, ARG_TEXTS, ARG_END}, {nullptr, nullptr}, 0},
    {7, "%s %d (%s)", {MSG_BAD_LINE, ARG_DETAIL, ARG_NAME, ARG_END}, {"users.prt", nullptr}, VERDICT_FALLBACK},
    {8, "%s %s %s.\n    %s %s", {MSG_FILE, ARG_NAME, MSG_NOT_FOUND, MSG_OPTION_ON, ARG_NAME},
     {"open.prt", "config.prt"}, 0},
    {9, "%s %s %s.", {MSG_FILE, ARG_NAME, MSG_NOT_FOUND, ARG_END}, {"info.prt", nullptr}, VERDICT_REFUSED},
    {10, "%s", {MSG_NO_TEMP_FILE, ARG_END}, {nullptr, nullptr}, VERDICT_REFUSED},
    {11, "%s %s %s.\n    %s %s", {MSG_FILE, ARG_NAME, MSG_NOT_FOUND, MSG_OPTION_ON, ARG_NAME},
     {"excluded.prt", "config.prt"}, VERDICT_REFUSED},
    {13, "%s", {MSG_NO_MEMORY, ARG_END}, {nullptr, nullptr}, 0},
};

// The text of codes nobody raises.
static const ErrorFormat unknown_error = {0, "%s", {MSG_UNKNOWN_ERROR, ARG_END}, {nullptr, nullptr}, 0};

// find_format - the table row of a code, or the row of an unknown error.
static const ErrorFormat *find_format(uint16_t code)
{
    for (const ErrorFormat &f : error_formats)
        if (f.code == code)
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
    else if (arg == ARG_NAME)
        n = snprintf(at, room, "%s", f->names[(*name_index)++]);
    else if (arg == ARG_CALLSIGN)
        n = snprintf(at, room, "%s", connection_info.callsign);
    else if (arg == ARG_DETAIL)
        n = snprintf(at, room, "%d", detail);
    else if (arg == ARG_TEXTS)
        n = snprintf(at, room, "%d", LANGUAGE_TEXTS);
    *used += (n < 0) ? 0 : ((size_t)n < room ? (size_t)n : room - 1);
}

// error_text - walk the format, copying its literal parts and putting each
// argument in place of its conversion; cut at size, always terminated.
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
}

// error_marker_path - morvel\ERROR<code>.TMP into buffer; returns buffer.
char *error_marker_path(char *buffer, uint16_t code)
{
    snprintf(buffer, FILTER_PATH_MAX, "%s\\ERROR%d.TMP", FILTER_DIR, code);
    return buffer;
}

// clear_error_marker - the failing operation works again: its next failure is news.
void clear_error_marker(uint16_t code)
{
    char path[FILTER_PATH_MAX];
    plat_remove(error_marker_path(path, code));
}

// write_error_record - rewrite error.prt with this report; false when it cannot be opened.
static bool write_error_record(uint16_t code, const char *text)
{
    char path[FILTER_PATH_MAX];
    snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, "error.prt");
    FILE *f = plat_fopen(path, "wt");
    if (!f)
        return false;
    fprintf(f, "\n[MORVEL v%s] - %s\n%s: %s-%d / %s: %d\n*** ERROR 001%i: %s\n\n", version_text,
            call_clock.time_stamp, msg(MSG_CONNECTED_CALLSIGN), connection_info.callsign, connection_info.ssid,
            msg(MSG_PORT), connection_info.port, code, text);
    fclose(f);
    return true;
}

// load_missing_setup - the host files and, unless this code came from reading
// it, the configuration, so that the sysops are known. This is the reporter's
// one call back into the readers: the recipients of the error mail live in
// those files, and their readers report their own errors in turn.
static void load_missing_setup(uint16_t code, char *reply)
{
    if (!host_info.host_info_loaded)
        load_host_info(reply);
    bool from_config = code == ERR_NO_CONFIG || code == ERR_CONFIG_LINE || code == ERR_LANGUAGE_LINES;
    if (!filter_config.config_loaded && !from_config)
        load_filter_config(reply);
}

// ensure_recipient - with no sysop configured, the host's sysop (or "SYSOP")
// stands in until config.prt is read again.
static void ensure_recipient(void)
{
    if (filter_config.sysop_count != 0)
        return;
    const char *who = host_info.host_info_loaded ? host_info.host_sysop : "SYSOP";
    copy_text(filter_config.sysop_calls[0], sizeof filter_config.sysop_calls[0], who);
    filter_config.sysop_count = 1;
}

// write_error_mail - one message per sysop into an open mail stream.
static void write_error_mail(FILE *mail, uint16_t code, const char *text)
{
    int count = filter_config.sysop_count < (int)MAX_SYSOPS ? filter_config.sysop_count : (int)MAX_SYSOPS;
    for (int i = 0; i < count; i++) {
        trace(TRACE_MAIL, 0, code, msg(MSG_ERROR_DETECTED), filter_config.sysop_calls[i]);
        fprintf(mail, "#\nSP %s < MORVEL\n", filter_config.sysop_calls[i]);
        fprintf(mail, "%s\n", msg(MSG_ERROR_DETECTED));
        fprintf(mail, "[MORVEL v%s] - %s\n", version_text, call_clock.time_stamp);
        fprintf(mail, "%s: %s-%d / %s: %d\n", msg(MSG_CONNECTED_CALLSIGN), connection_info.callsign,
                connection_info.ssid, msg(MSG_PORT), connection_info.port);
        fprintf(mail, "*** ERROR 001%i: %s\n\n", code, text);
        fprintf(mail, "/EX\n");
    }
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
    if (!filter_config.config_loaded)
        return;
    FILE *mail = open_mail();
    if (!mail)
        return;
    write_error_mail(mail, code, text);
    close_mail(mail);
}

// take_port_method_due - the last report left the station to the port's
// method; reading it clears it.
bool take_port_method_due(void)
{
    bool due = port_method_due;
    port_method_due = false;
    return due;
}

// errors_reset - at load no report is waiting for the port's method.
void errors_reset(void)
{
    port_method_due = false;
}

// report_error - record in error.prt, mail the sysops once, set the verdict of the code.
// An error.prt that cannot be written stops the report there with verdict 0.
void report_error(uint16_t code, uint16_t detail, char *reply)
{
    char text[ERROR_TEXT_MAX];
    error_text(code, detail, text, sizeof text);
    port_method_due = false;
    trace(TRACE_ERROR, detail, code, nullptr, text);
    if (!write_error_record(code, text)) {
        verdict = VERDICT_ADMITTED;
        return;
    }
    if (code > ERR_NO_MAIL) {
        load_missing_setup(code, reply);
        ensure_recipient();
        mail_sysops_once(code, text);
    }
    uint8_t v = find_format(code)->verdict;
    // Set last: the reports raised while loading the setup above came first.
    port_method_due = v == VERDICT_FALLBACK;
    verdict = port_method_due ? (uint8_t)VERDICT_REFUSED : v;
}

// sysop_commands.cpp - command words, the off-switch and port flag files, mailing the attempt logs.
//
// The switches live only in empty marker files of the filter directory, so they
// survive an unloading of the library and can be set by hand as well. Every
// failure here is silent: a command that cannot do its work does nothing more.
// An attempt log is removed only once its mail has safely reached every sysop.
#include "filter/sysop_commands.h"
#include "common/filter_dir.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "config/messages.h"
#include "filter/connection.h"
#include "platform/platform.h"
#include "common/files_lock.h"
#include "report/mail.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char off_switch_name[] = "morvel.sta";
static const char port_flag_extension[] = "prt";

// The two attempt logs, in the order they are mailed.
static const char *const attempt_logs[] = {"logexcld.prt", "lognopas.prt"};
enum { ATTEMPT_LOG_COUNT = sizeof attempt_logs / sizeof attempt_logs[0] };

// Only the first character of a "-log" argument steers the command, so a
// short field is enough; a longer callsign is cut.
enum { LOG_ARGUMENT_SIZE = 21 };

// lower_ascii - an ASCII letter in lower case; other characters unchanged.
static char lower_ascii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

// same_word - the two words are equal without regard to ASCII case.
static bool same_word(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (lower_ascii(*a) != lower_ascii(*b))
            return false;
    return *a == *b;
}

// set_marker - create (on) or remove (off) an empty hidden marker file;
// an existing file is left as it is, so the commands can be repeated.
static void set_marker(const char *path, bool present)
{
    bool exists = plat_exists(path);
    if (present && !exists)
        plat_create_hidden(path);
    else if (!present && exists)
        plat_remove(path);
}

// off_switch_path - morvel\morvel.sta.
static void off_switch_path(char *out, size_t size)
{
    snprintf(out, size, "%s\\%s", FILTER_DIR, off_switch_name);
}

// port_flag_path - morvel\<port>.prt, the port as the sysop typed it (0 to 255).
static void port_flag_path(char *out, size_t size, uint8_t port)
{
    snprintf(out, size, "%s\\%d.%s", FILTER_DIR, port, port_flag_extension);
}

// set_filter_switch - on removes the off-switch file, off creates it.
void set_filter_switch(bool on)
{
    char path[FILTER_PATH_MAX];
    off_switch_path(path, sizeof path);
    set_marker(path, !on);
}

// filter_is_off - the off-switch file exists.
bool filter_is_off(void)
{
    char path[FILTER_PATH_MAX];
    off_switch_path(path, sizeof path);
    bool off = plat_exists(path);
    trace(TRACE_OFF_SWITCH, 0, off, path);
    return off;
}

// port_is_bbs_only - the port's flag file exists. The host passes a port
// above 127 as a negative byte; it is tested by the number "-pbbs" was given
// (port 200 tests morvel\200.prt), or the reservation would never apply.
bool port_is_bbs_only(void)
{
    char path[FILTER_PATH_MAX];
    port_flag_path(path, sizeof path, (uint8_t)connection_info.port);
    bool reserved = plat_exists(path);
    trace(TRACE_PORT_RESERVED, 0, reserved, path);
    return reserved;
}

// set_port_mode - normal removes the port's flag file, otherwise creates it.
void set_port_mode(uint8_t port, bool normal)
{
    char path[FILTER_PATH_MAX];
    port_flag_path(path, sizeof path, port);
    set_marker(path, !normal);
}

// port_argument - the low 8 bits of a decimal port argument (300 gives 44):
// false unless the argument is one decimal number after an optional sign
// (blanks around it aside), so a mistyped argument ("0x3", "3a", "") cannot
// reserve the console: strtol reads "0x3" as 0. strtol keeps an
// out-of-range number defined where atoi would not.
bool port_argument(const char *argument, uint8_t *port)
{
    static const char blanks[] = " \t\r\n";
    const char *start = argument + strspn(argument, blanks);
    const char *digits = start + (start[0] == '+' || start[0] == '-');
    size_t length = strspn(digits, "0123456789");
    if (length == 0 || digits[length + strspn(digits + length, blanks)] != '\0')
        return false;
    char *end;
    long number = strtol(start, &end, 10);
    *port = (uint8_t)(number & 0xFF);
    return true;
}

// write_log_message - one mail message of a log to one sysop; false when a
// write failed. The log is read from its current position to its end.
static bool write_log_message(FILE *mail, PlatText *log, const char *sysop)
{
    trace(TRACE_MAIL, 0, 0, msg(MSG_LOG_FILE), sysop);
    bool ok = write_mail_header(mail, sysop, "MORVEL");
    ok = fprintf(mail, "%s.\n", msg(MSG_LOG_FILE)) >= 0 && ok;
    ok = copy_file_to_stream(log, mail) && ok;
    ok = fputs("\n/EX\n", mail) >= 0 && ok;
    return ok;
}

// write_log_mail - the mail of a log taken away (context: its path): one
// message to every sysop. The log is closed again before the mail ends, so
// that the mail drop can remove it.
static bool write_log_mail(FILE *mail, void *context)
{
    PlatText log;
    if (!plat_open_text((const char *)context, &log))
        return false;
    bool ok = true;
    for (int i = 0; i < sysops_to_mail(); i++) {
        plat_text_seek(&log, 0);
        ok = write_log_message(mail, &log, filter_config.sysop_calls[i]) && ok;
    }
    plat_close_text(&log);
    return ok;
}

// mail_taken_log - mail a log taken away under its private name to every
// sysop; the mail drop takes the log away with the mail (removed, else
// emptied), so that a call ended at any point mails it once. An empty one,
// left by a mail whose log could only be emptied, holds nothing to mail.
// False when it was not mailed.
static bool mail_taken_log(const char *taken)
{
    long size = 0;
    if (plat_file_size(taken, &size) && size == 0)
        return plat_remove(taken);
    return send_mail_from(taken, write_log_mail, (void *)taken);
}

// mail_one_log - take the log away under a private name and mail that copy
// to every sysop; false when the mail failed, and then the log is back in
// place. A copy that an earlier run could not mail (or a crash left) goes
// first. Under the lock of the filter's files no attempt is logged between
// the taking and the mail, so every sysop gets the same entries, and an
// entry logged after it starts a new log.
static bool mail_one_log(const char *log_name)
{
    char path[FILTER_PATH_MAX], taken[FILTER_PATH_MAX];
    snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, log_name);
    snprintf(taken, sizeof taken, "%s\\%.8s.snd", FILTER_DIR, log_name);
    if (plat_exists(taken) && !mail_taken_log(taken))
        return false;
    if (!plat_exists(path))
        return true;
    if (!plat_rename(path, taken))
        return false;
    if (mail_taken_log(taken))
        return true;
    plat_rename(taken, path);
    return false;
}

// prepare_log_mail - the host files, the built-in texts and the sysop list the
// log mail needs; false when the command must stop.
static bool prepare_log_mail(const char *argument)
{
    if (load_host_info() < 0)
        return false;
    load_language_file("**");
    if (!filter_config.config_loaded)
        load_filter_config();
    if (starts_with(argument, "#") && load_filter_config() < 0)
        return false;
    return true;
}

// mail_log_files - a log mailed to nobody would be lost if it were removed,
// so without a sysop to mail both logs stay where they are.
void mail_log_files(const char *argument)
{
    if (!prepare_log_mail(argument) || filter_config.sysop_count == 0)
        return;
    lock_filter_files();
    for (int i = 0; i < ATTEMPT_LOG_COUNT && mail_one_log(attempt_logs[i]); i++)
        ;
    unlock_filter_files();
}

// command_log - "-log": the callsign argument is upper-cased but the mail
// always goes to the configured sysops.
static void command_log(const char *argument)
{
    char call[LOG_ARGUMENT_SIZE];
    copy_text(call, sizeof call, starts_with(argument, "#") ? "#" : argument);
    mail_log_files(upper_case(call));
}

// command_on - "-on": the filter decides again; the argument is ignored.
static void command_on(const char *) { set_filter_switch(true); }

// command_off - "-off": every new connection is admitted unfiltered.
static void command_off(const char *) { set_filter_switch(false); }

// command_port - "-pnormal" and "-pbbs"; "#" means no port was given.
static void command_port(const char *argument, bool normal)
{
    uint8_t port;
    if (!starts_with(argument, "#") && port_argument(argument, &port))
        set_port_mode(port, normal);
}

// command_pnormal - "-pnormal N": port N is open to every station again.
static void command_pnormal(const char *argument) { command_port(argument, true); }

// command_pbbs - "-pbbs N": port N admits only BBSs.
static void command_pbbs(const char *argument) { command_port(argument, false); }

struct SysopCommand {
    const char *keyword;
    void (*run)(const char *argument);
};

static const SysopCommand sysop_commands[] = {
    {"-log", command_log},
    {"-on", command_on},
    {"-off", command_off},
    {"-pnormal", command_pnormal},
    {"-pbbs", command_pbbs},
};

// run_sysop_command - the first keyword equal to the word, in any case, runs;
// a word that matches none does nothing.
void run_sysop_command(const char *word, const char *argument)
{
    if (!word)
        return;
    if (!argument)
        argument = "#";
    for (const SysopCommand &c : sysop_commands)
        if (same_word(word, c.keyword)) {
            c.run(argument);
            return;
        }
}

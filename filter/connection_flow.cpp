// connection_flow.cpp - the order of work of one call: command events,
// forward logins, answer calls and new connections.
#include "filter/connection_flow.h"
#include "auth/admission.h"
#include "auth/port_method.h"
#include "auth/verification.h"
#include "common/files_lock.h"
#include "common/reply.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "config/messages.h"
#include "config/user_list.h"
#include "filter/call_clock.h"
#include "filter/connection.h"
#include "filter/sysop_commands.h"
#include "platform/platform.h"
#include "report/errors.h"
#include "report/logs.h"
#include "report/mail.h"
#include "report/notices.h"

enum { CONNECTION_ARGS = 8 };

static char empty_text[1] = "";

// padded_arguments - the eight strings of a connection event; those the host
// did not pass (argc 4 to 7, or null pointers) are taken as empty, never read.
// So a null callsign is malformed, as an empty one is.
static void padded_arguments(int argc, char **argv, char **out)
{
    for (int i = 0; i < CONNECTION_ARGS; i++)
        out[i] = (i < argc && argv[i]) ? argv[i] : empty_text;
}

// command_argument - argv[2] of a command event, or "#" when there is none.
static const char *command_argument(int argc, char **argv)
{
    return (argc >= 3 && argv[2]) ? argv[2] : "#";
}

static void write_connection_logs(void)
{
    if (filter_config.connection_log && verdict != VERDICT_CHALLENGE && verdict != VERDICT_REFUSED) {
        write_connection_log(LOG_GENERAL);
        write_connection_log(LOG_STATION);
    }
}

// notify_new_user - the notice of a first connection to the sysops, when
// config.prt asks for it and the start-up file names the mail drop.
static void notify_new_user(void)
{
    if (load_filter_config() < 0 || !filter_config.mail_new_user || !host_info_ready())
        return;
    mail_new_user_notice();
}

// flush_waiting_mail - held mail into the import file, once the start-up
// file names it, after what an earlier call left undone.
static void flush_waiting_mail(void)
{
    if (mail_drop_needs_care() && host_info_ready())
        flush_held_mail();
}

// command_event - a sysop command, after what an earlier call left undone
// in the mail drop: a call ended early may have left the import file locked.
static void command_event(const char *word, const char *argument)
{
    flush_waiting_mail();
    run_sysop_command(word, argument);
}

// new_connection - the reply tag, the off switch, the BBS-only port, then
// the decision and the connection logs.
static int new_connection(char *reply)
{
    reply_replace(reply, reply_tag);
    if (filter_is_off()) {
        verdict = VERDICT_ADMITTED;
        return verdict;
    }
    if (!(connection_info.station_flags & (FLAG_BBS | FLAG_BBS_PORT)) && port_is_bbs_only()) {
        verdict = VERDICT_REFUSED;
        return verdict;
    }
    decide_admission(reply);
    write_connection_logs();
    return verdict;
}

// connection_event - a call with four or more strings.
static int connection_event(int argc, char **argv, char *reply, int memory_available)
{
    char *args[CONNECTION_ARGS];
    padded_arguments(argc, argv, args);
    flush_waiting_mail();
    if (decode_arguments(args) < 0) {
        verdict = VERDICT_REFUSED;
        return verdict;
    }
    if (memory_available == 0) {
        report_error(ERR_NO_MEMORY, 0);
        stop_on_report(reply);
        return verdict;
    }
    if (connection_info.connection_count == -1) {
        answer_forward_challenge(reply);
        return verdict;
    }
    if (connection_info.connection_count == 1)
        notify_new_user();
    if (connection_info.attempt != 0) {
        verify_answer(reply);
        write_connection_logs();
        return verdict;
    }
    return new_connection(reply);
}

// begin_call - what the platform, the user list's lookup, the lock of the
// filter's files and the mail drop knew of the last call is out of date now.
static void begin_call(void)
{
    plat_begin_call();
    user_list_new_call();
    files_lock_new_call();
    mail_new_call();
}

// report_call_news - at the end of a call, once its station is known and
// config.prt has named the sysops and their language: the lock of the
// filter's files found stuck (error 10, once while it stays), mail held
// or lost (error 2).
static void report_call_news(void)
{
    FilesLockNews lock_news = take_files_lock_news();
    if (lock_news == FILES_LOCK_FREED)
        clear_error_marker_in(ERR_STATE_FILE, files_lock_name);
    bool lock_stuck = lock_news == FILES_LOCK_FOUND_STUCK;
    if (lock_stuck || mail_news_waiting())
        load_filter_config();
    if (lock_stuck)
        report_error_in(ERR_STATE_FILE, 0, files_lock_name);
    report_mail_news();
}

int run_service_call(int argc, char **argv, char *reply, int memory_available)
{
    begin_call();
    reply_set_limit(REPLY_CAPACITY);
    fill_call_clock();
    if (argc < 2 || !argv)
        return 0;
    restore_default_messages();
    if (argc <= 3) {
        if (memory_available != 0 && argv[1])
            command_event(argv[1], command_argument(argc, argv));
        report_call_news();
        return 0;
    }
    int result = connection_event(argc, argv, reply, memory_available);
    report_call_news();
    return result;
}

int run_command_call(int argc, char **argv)
{
    begin_call();
    if (argc <= 1 || !argv || !argv[1])
        return 0;
    command_event(argv[1], command_argument(argc, argv));
    report_call_news();
    return 0;
}

// admission.cpp - the admission decision and the access methods that need no password.
//
// decide_admission reads config.prt and the station's entry in users.prt and
// runs one access method, which sets verdict. Errors of those files have
// been reported (and the verdict set) by their readers; after errors 4 and 7
// the port's method decides, run by run_port_method like every other
// fallback. A missing open text is error 8 and a missing exclusion text
// error 11.
#include "auth/admission.h"
#include "auth/challenges.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "config/filter_config.h"
#include "config/user_list.h"
#include "platform/platform.h"
#include "report/caller_texts.h"
#include "report/errors.h"
#include "report/logs.h"
#include "report/mail.h"

#include <cstdio>

// open_port_text - the per-port text "<stem><port>.prt", else the general one.
static bool open_port_text(const char *stem, const char *general, PlatText *text)
{
    char path[FILTER_PATH_MAX];
    snprintf(path, sizeof path, "%s\\%s%d.%s", FILTER_DIR, stem, connection_info.port, "prt");
    bool opened = plat_open_text(path, text);
    trace(TRACE_TEXT, 0, opened, path);
    if (opened)
        return true;
    snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, general);
    opened = plat_open_text(path, text);
    trace(TRACE_TEXT, 0, opened, path);
    return opened;
}

// send_port_text - append a per-port or general text; false when neither exists.
static bool send_port_text(const char *stem, const char *general, char *reply)
{
    PlatText f;
    if (!open_port_text(stem, general, &f))
        return false;
    copy_file_to_reply(&f, reply);
    plat_close_text(&f);
    return true;
}

// admit_unfiltered - a port without a port line is not filtered: users.prt
// is not read, the caller gets the admission texts and verdict 0.
static void admit_unfiltered(char *reply)
{
    send_admission_texts(reply);
    verdict = VERDICT_ADMITTED;
}

// decide_admission - the station's method on this port, or the port's own.
void decide_admission(char *reply)
{
    int8_t port_line = load_filter_config(reply);
    if (port_line < 0)
        return;
    if (port_line == 0) {
        admit_unfiltered(reply);
        return;
    }
    int8_t entry = find_user_entry(reply);
    if (entry < 0) {
        if (take_port_method_due())
            run_port_method(reply);
        return;
    }
    if (entry == 0)
        run_port_method(reply);
    else
        apply_access_method(user_entry.method, reply);
}

// refuse_and_end_challenge - verdict 2, and a pending challenge of the
// station can no longer be answered.
static void refuse_and_end_challenge(void)
{
    char path[FILTER_PATH_MAX];
    state_file_path(path, sizeof path, false);
    plat_remove(path);
    verdict = VERDICT_REFUSED;
}

// read_own_port_method - on an answering call config.prt was last read for
// whichever connection came before, perhaps on another port, so it is read
// again for this one. False when that decided the call: config.prt failed
// (reported), or the port has no port line any more and is not filtered.
static bool read_own_port_method(char *reply)
{
    if (connection_info.attempt == 0)
        return true;
    int8_t port_line = load_filter_config(reply);
    if (port_line == 0)
        admit_unfiltered(reply);
    return port_line > 0;
}

// run_port_method - the port's own method, for every station left to it. A
// port line that failed its check leaves its method in port_method; a
// password method there would put a challenge that falls back to the port's
// method again, without end. So a method no port line may name refuses, and
// so does a fallback reached again inside its own run.
void run_port_method(char *reply)
{
    static bool running;
    if (connection_info.connection_count == -1) {
        // A partner BBS logging in has no port method to fall back on.
        verdict = VERDICT_REFUSED;
        return;
    }
    if (running) {
        refuse_and_end_challenge();
        return;
    }
    running = true;
    if (read_own_port_method(reply)) {
        if (port_method_allowed(filter_config.port_method))
            apply_access_method(filter_config.port_method, reply);
        else
            refuse_and_end_challenge();
    }
    running = false;
}

// apply_access_method - run a method; 0 and every number above 14 act as OPEN.
void apply_access_method(uint8_t method, char *reply)
{
    trace(TRACE_METHOD, 0, method);
    switch (method) {
    case METHOD_CLOSED:    send_information_text(reply); break;
    case METHOD_EXCLUDED:  refuse_excluded(reply); break;
    case METHOD_FIXED:     challenge_fixed(reply); break;
    case METHOD_NORMAL:    challenge_normal(reply); break;
    case METHOD_MD5:       challenge_md(reply); break;
    case METHOD_TABLE:     if (!challenge_table(reply)) run_port_method(reply); break;
    case METHOD_BBS:       admit_bbs(reply); break;
    case METHOD_FLEXNET:   challenge_flexnet(reply); break;
    case METHOD_FORWARD:   challenge_forward(reply); break;
    case METHOD_READONLY:  verdict = VERDICT_READ_ONLY; break;
    case METHOD_HOLD:      verdict = VERDICT_ON_HOLD; break;
    case METHOD_FORWARD5:  challenge_forward(reply); break;
    case METHOD_GUEST:     verdict = VERDICT_GUEST; break;
    default:               admit_open(reply); break;
    }
}

// admit_open - the open text when switched on (error 8 when missing), the
// admission texts, verdict 0.
void admit_open(char *reply)
{
    if (filter_config.send_open_text && !send_port_text("open", "open.prt", reply)) {
        report_error(ERR_NO_OPEN_TEXT, 0, reply);
        return;
    }
    clear_error_marker(ERR_NO_OPEN_TEXT);
    send_admission_texts(reply);
    verdict = VERDICT_ADMITTED;
}

// refuse_excluded - the exclusion text when switched on (error 11 when
// missing, and then no log entry), the exclusion log, verdict 2.
void refuse_excluded(char *reply)
{
    if (filter_config.send_exclusion_text) {
        if (!send_port_text("exclud", "excluded.prt", reply)) {
            report_error(ERR_NO_EXCLUSION_TEXT, 0, reply);
            return;
        }
        clear_error_marker(ERR_NO_EXCLUSION_TEXT);
    }
    if (filter_config.log_exclusions)
        write_attempt_log(LOG_EXCLUDED);
    verdict = VERDICT_REFUSED;
}

// admit_bbs - a station the host flags as a BBS is let in silently; any
// other is handled as EXCLUDED.
void admit_bbs(char *reply)
{
    if (connection_info.station_flags & FLAG_BBS) {
        verdict = VERDICT_ADMITTED;
        return;
    }
    refuse_excluded(reply);
}

// send_new_user_welcome - on a first connection: the new-user text, then the message.
static void send_new_user_welcome(char *reply)
{
    if (!filter_config.new_user_welcome || connection_info.connection_count != 1)
        return;
    if (filter_config.new_user_actions & NEW_USER_TEXT)
        send_text_file(TEXT_NEW_USER, reply);
    if (filter_config.new_user_actions & NEW_USER_MESSAGE)
        mail_new_message(reply);
}

// send_admission_texts - guest, intro and new-user texts for a person; the
// station text for everyone, BBSs included.
void send_admission_texts(char *reply)
{
    if (!(connection_info.station_flags & FLAG_BBS)) {
        if (filter_config.send_guest_text && (connection_info.station_flags & FLAG_GUEST))
            send_text_file(TEXT_GUEST, reply);
        if (filter_config.send_intro_text)
            send_text_file(TEXT_INTRO, reply);
        send_new_user_welcome(reply);
    }
    send_text_file(TEXT_STATION, reply);
}

// admission.cpp - the admission decision and the access methods that need no password.
//
// decide_admission reads config.prt and the station's entry in users.prt and
// runs one access method, which sets verdict. Errors of those files have
// been reported (and the verdict set) by their readers; a missing open text
// is error 8 and a missing exclusion text error 11.
#include "auth/admission.h"
#include "auth/challenges.h"
#include "common/filter_dir.h"
#include "common/text_copy.h"
#include "common/trace.h"
#include "config/filter_config.h"
#include "config/user_list.h"
#include "filter/connection.h"
#include "platform/platform.h"
#include "report/caller_texts.h"
#include "report/errors.h"
#include "report/logs.h"
#include "report/mail.h"

#include <cstdio>

// open_port_text - the per-port text "<stem><port>.prt", else the general one.
static FILE *open_port_text(const char *stem, const char *general)
{
    char path[FILTER_PATH_MAX];
    snprintf(path, sizeof path, "%s\\%s%d.%s", FILTER_DIR, stem, connection_info.port, "prt");
    FILE *f = plat_fopen(path, "rt");
    trace(TRACE_TEXT, 0, f != nullptr, path);
    if (f)
        return f;
    snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, general);
    f = plat_fopen(path, "rt");
    trace(TRACE_TEXT, 0, f != nullptr, path);
    return f;
}

// send_port_text - append a per-port or general text; false when neither exists.
static bool send_port_text(const char *stem, const char *general, char *reply)
{
    FILE *f = open_port_text(stem, general);
    if (!f)
        return false;
    copy_file_to_reply(f, reply);
    fclose(f);
    return true;
}

// decide_admission - the station's method on this port, or the port's own.
void decide_admission(char *reply)
{
    int8_t port_line = load_filter_config(reply);
    if (port_line < 0)
        return;
    if (port_line == 0) {
        // A port without a port line is not filtered: users.prt is not read.
        send_admission_texts(reply);
        verdict = VERDICT_ADMITTED;
        return;
    }
    int8_t entry = find_user_entry(reply);
    if (entry < 0)
        return;
    apply_access_method(entry == 0 ? filter_config.port_method : user_entry.method, reply);
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
    case METHOD_TABLE:     challenge_table(reply); break;
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

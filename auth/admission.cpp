// admission.cpp - the admission decision and the access methods that need no password.
//
// decide_admission reads config.prt and the station's entry in users.prt and
// runs one access method, which sets verdict. Errors of those files have
// been reported by their readers; an operation that stops on one sets the
// verdict the report left, and after errors 4 and 7 the port's method
// decides, run by run_port_method like every other fallback. A missing open
// text is error 8, a missing exclusion text error 11 and a missing
// information text error 9.
#include "auth/admission.h"
#include "auth/admission_texts.h"
#include "auth/challenges.h"
#include "auth/guard.h"
#include "auth/port_method.h"
#include "auth/state_file.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "config/filter_config.h"
#include "config/guard_config.h"
#include "config/host_files.h"
#include "config/user_list.h"
#include "platform/platform.h"
#include "report/caller_texts.h"
#include "report/errors.h"
#include "report/logs.h"

#include <cstdio>

// send_port_text - append a per-port or general text; false when neither exists.
static bool send_port_text(const char *stem, const char *general, char *reply)
{
    char per_port[FILTER_PATH_MAX];
    PlatText f;
    snprintf(per_port, sizeof per_port, "%s%d.%s", stem, connection_info.port, "prt");
    if (!open_specific_else_general(per_port, general, nullptr, true, &f))
        return false;
    copy_file_to_reply(&f, reply);
    plat_close_text(&f);
    return true;
}

// guarded_entry - the station's own method here puts a challenge whose
// answer a caller could guess: the only connections the guard refuses.
static bool guarded_entry(int8_t port_line, int8_t entry)
{
    if (port_line <= 0 || entry != 1)
        return false;
    const AccessMethod *m = find_access_method(user_entry.method);
    return m && m->challenge_kind != NO_CHALLENGE && answer_can_be_guessed(m->challenge_kind);
}

// refused_by_guard - true when the guard refuses this new connection, which
// guarded says it may: its callsign is locked out, or abandoning its pending
// challenge was the failure that locks it out. Abandoning a challenge a
// guess could answer counts whatever the new connection is.
static bool refused_by_guard(bool guarded)
{
    if (!guard_config.guard_on)
        return false;
    short kind = KIND_NORMAL;
    bool abandoned = station_challenge_pending(&kind) && answer_can_be_guessed(kind);
    bool refused = abandoned && guard_count_failure(guarded);
    if (!refused && (!guarded || !guard_refuses_connection()))
        return false;
    if (abandoned) {
        char path[FILTER_PATH_MAX];
        state_file_path(path, sizeof path, false);
        remove_state_file(path);
    }
    verdict = VERDICT_REFUSED;
    return true;
}

// decide_admission - the station's method on this port, or the port's own.
void decide_admission(char *reply)
{
    int8_t port_line = load_filter_config();
    if (port_line < 0) {
        stop_on_report(reply);
        return;
    }
    load_guard();
    int8_t entry = port_line > 0 ? find_user_entry() : 0;
    if (entry < 0) {
        stop_on_report(reply);
        return;
    }
    if (refused_by_guard(guarded_entry(port_line, entry)))
        return;
    if (port_line == 0)
        admit_unfiltered(reply);
    else if (entry == 0)
        run_port_method(reply);
    else
        apply_access_method(user_entry.method, reply);
}

void challenge_table_else_port(char *reply)
{
    if (!challenge_table(reply))
        run_port_method(reply);
}

void admit_read_only(char *)
{
    verdict = VERDICT_READ_ONLY;
}

void admit_on_hold(char *)
{
    verdict = VERDICT_ON_HOLD;
}

void admit_guest(char *)
{
    verdict = VERDICT_GUEST;
}

// admit_open - the open text when switched on (error 8 when missing), the
// admission texts, verdict 0.
void admit_open(char *reply)
{
    if (filter_config.send_open_text && !send_port_text("open", "open.prt", reply)) {
        report_error(ERR_NO_OPEN_TEXT, 0);
        stop_on_report(reply);
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
            report_error(ERR_NO_EXCLUSION_TEXT, 0);
            stop_on_report(reply);
            return;
        }
        clear_error_marker(ERR_NO_EXCLUSION_TEXT);
    }
    if (filter_config.log_exclusions)
        write_attempt_log(LOG_EXCLUDED);
    verdict = VERDICT_REFUSED;
}

// refuse_closed - method 2: the information text and verdict 2; error 9
// when the text is missing.
void refuse_closed(char *reply)
{
    char language[LANGUAGE_NAME_SIZE];
    if (!send_information_text(caller_text_language(TEXT_INFORMATION, language), reply)) {
        report_error(ERR_NO_INFO_TEXT, 0);
        stop_on_report(reply);
        return;
    }
    clear_error_marker(ERR_NO_INFO_TEXT);
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

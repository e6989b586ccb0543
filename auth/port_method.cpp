// port_method.cpp - running an access method, and the one fallback to the port's own.
//
// Every operation of auth/ that stops on a reported error ends here
// (stop_on_report), and every station left to its port goes through
// run_port_method. The methods are reached through their rows in the method
// table, never by name, so this file sits below the admission and the
// challenges that call it and includes neither.
#include "auth/port_method.h"
#include "auth/admission_texts.h"
#include "auth/state_file.h"
#include "common/access_methods.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "common/trace.h"
#include "config/filter_config.h"
#include "report/errors.h"

// admit_unfiltered - a port without a port line is not filtered: users.prt
// is not read, the caller gets the admission texts and verdict 0.
void admit_unfiltered(char *reply)
{
    send_admission_texts(reply);
    verdict = VERDICT_ADMITTED;
}

// stop_on_report - the operation stopped on the error just reported: the
// port's method decides when the report left the station to it, else the
// verdict the report left stands.
void stop_on_report(char *reply)
{
    if (take_port_method_due())
        run_port_method(reply);
    else
        verdict = report_verdict();
}

// refuse_and_end_challenge - verdict 2, and a pending challenge of the
// station can no longer be answered.
static void refuse_and_end_challenge(void)
{
    char path[FILTER_PATH_MAX];
    state_file_path(path, sizeof path, false);
    remove_state_file(path);
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
    int8_t port_line = load_filter_config();
    if (port_line < 0)
        stop_on_report(reply);
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

// apply_access_method - run a method; a number without a row (0, or above
// the last numbered one) acts as OPEN.
void apply_access_method(unsigned method, char *reply)
{
    trace(TRACE_METHOD, 0, (int)method);
    const AccessMethod *m = find_access_method(method);
    if (!m)
        m = find_access_method(METHOD_OPEN);
    m->run(reply);
}

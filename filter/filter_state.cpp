// filter_state.cpp - every global back to its load-time value.
#include "filter/filter_state.h"
#include "auth/state_file.h"
#include "config/guard_config.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "config/messages.h"
#include "config/user_list.h"
#include "common/files_lock.h"
#include "common/reply.h"
#include "filter/connection.h"
#include "report/errors.h"
#include "report/logs.h"
#include "report/mail.h"

#include <cstring>

// The constructor runs when the module is loaded, so the host sees the same
// initial values as a test that calls filter_reset_state.
static struct LoadTimeState {
    LoadTimeState() { filter_reset_state(); }
} load_time_state;

// filter_reset_state - every record back to its load-time value.
//
// The host keeps the library loaded, so every record below outlives the call
// that wrote it. None may carry one station's data into a decision about
// another; each is either refilled before it is read or lives on on purpose:
// - connection_info: rewritten by every connection event before anything
//   reads it; answer_text is read only on the answer and forward calls that
//   set it. A command event's error record names the last station there.
// - verdict: every path that returns it has set it in the same call.
// - call_clock and its texts: refilled by every svc_main call; dll_main's
//   commands date their mail with those of the last call, as it takes none.
// - host_info and the port table: read once per loaded library; they are the
//   host's own files, which do not change while it runs.
// - filter_config: config_loaded stays set once config.prt was read, so an
//   answer call does not read it again; the options are the same on every
//   port, but port_method belongs to the port of the last reading, so the
//   port's method is run only after config.prt was read for this call's port.
//   The stand-in sysop of an error report stays until config.prt is read.
// - guard_config: read again with config.prt at every new connection and
//   answer; it holds no station's data.
// - the time of the last sweep of expired state files: only spaces the
//   sweeps; what it finds is read from the files.
// - user_entry: cleared before every lookup, so a challenge never draws from
//   the password of the station looked up before; the lookup's result is
//   kept for the rest of the call only, and forgotten when the next begins.
// - message_table: back to the defaults at the start of every svc_main call;
//   dll_main keeps the texts of the last call.
// - the mail's diverted flag, what a call found wrong with the mail drop,
//   the port method that is due after an error report and the reply limit:
//   set and read within one call.
// - the counts of messages and log entries lost: kept until a report of
//   them is written; they hold numbers, never a station's data.
// - the lock of the filter's files: taken and released within one call,
//   with the call's allowance for waiting and what the sysop must hear of it.
void filter_reset_state(void)
{
    connection_reset();
    errors_reset();
    host_files_reset();
    filter_config_reset();
    guard_config_reset();
    state_files_reset();
    user_list_reset();
    mail_reset();
    logs_reset();
    files_lock_reset();
    restore_default_messages();
    reply_set_limit(REPLY_CAPACITY);
}

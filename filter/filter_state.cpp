// filter_state.cpp - every global back to its load-time value.
#include "filter/filter_state.h"
#include "config/filter_config.h"
#include "config/host_files.h"
#include "config/messages.h"
#include "config/user_list.h"
#include "common/reply.h"
#include "filter/connection.h"
#include "report/mail.h"

#include <cstring>

// The constructor runs when the module is loaded, so the host sees the same
// initial values as a test that calls filter_reset_state.
static struct LoadTimeState {
    LoadTimeState() { filter_reset_state(); }
} load_time_state;

void filter_reset_state(void)
{
    connection_reset();
    host_files_reset();
    filter_config_reset();
    user_list_reset();
    mail_reset();
    restore_default_messages();
    reply_set_limit(REPLY_CAPACITY);
}

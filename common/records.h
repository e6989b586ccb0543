// records.h - the records of one call and of the loaded library, declared in
// one place so that every layer reads them from below.
//
// Each record has one writer module, named at its declaration; every other
// module only reads it. The loaders that fill them stay in their own rooms
// (config/ reads the files, filter/ decodes the call); only the shapes and
// the storage live here.
#ifndef FILTER_RECORDS_H
#define FILTER_RECORDS_H

#include "common/access_methods.h"

#include <cstddef>
#include <cstdint>
#include <ctime>

// ---- The connection event ---------------------------------------------

// ConnectionInfo - the decoded arguments of the current connection event.
// Writer: filter/connection (decode_arguments).
struct ConnectionInfo {
    char callsign[7];          // up to 6 letters and digits, as the host gave them
    uint8_t ssid;
    uint8_t attempt;           // 0: the call carries no answer
    uint16_t station_flags;    // 0x10 BBS, 0x08 may use BBS ports, 0x40 guest, 0x04 intro exception
    int16_t connection_count;  // 1: first connection; -1: forward login
    int8_t port;               // 0 is the console
    char answer_text[81];
};

enum { FLAG_INTRO_X = 0x04, FLAG_BBS_PORT = 0x08, FLAG_BBS = 0x10, FLAG_GUEST = 0x40 };

extern ConnectionInfo connection_info;

// The verdict of the call, returned to the host.
// Writers: filter/ (the flow) and auth/ (the decision); texts, logs, mail
// and the error reporter never write it.
enum {
    VERDICT_ADMITTED = 0,
    VERDICT_CHALLENGE = 1,
    VERDICT_REFUSED = 2,
    VERDICT_READ_ONLY = 3,
    VERDICT_ON_HOLD = 4,
    VERDICT_GUEST = 11
};

extern uint8_t verdict;

// ---- The time of the call -----------------------------------------------

// CallClock - the local time of this call, and the texts built from it.
// Writer: filter/call_clock (fill_call_clock).
struct CallClock {
    int32_t year;
    uint8_t day, month;
    uint8_t minute, hour, hundredths, second;
    struct tm local_time;
    char time_stamp[25];       // "%X %d-%m-%Y"
};

extern CallClock call_clock;
extern char version_text[8];   // "4.0"
extern char call_banner[64];   // "[MORVEL v4.0] - 14:05:09 08-12-2026"
extern char reply_tag[24];     // "{MORVEL-4.0}\n"

enum { BANNER_MAX = 128 };

// format_banner - "[MORVEL v4.0] - " and what follows it (the time of the
// call, or a log's title), bounded to size.
void format_banner(char *out, size_t size, const char *after);

// ---- config.prt -----------------------------------------------------------

enum { MAX_SYSOPS = 5 };

// FilterConfig - the options of config.prt and the method of the port.
// Writer: config/filter_config (load_filter_config); the error reporter
// puts a stand-in sysop in when none is configured (report/errors).
struct FilterConfig {
    bool config_loaded;
    char language_file[61];
    uint8_t sysop_count;
    char sysop_calls[MAX_SYSOPS][7];
    uint8_t max_attempts;
    uint16_t challenge_policy;
    char password_prompt[81];
    bool texts_by_language;
    bool send_open_text;
    bool send_exclusion_text;
    bool send_guest_text;
    bool send_intro_text;
    uint16_t intro_exceptions;
    bool new_user_welcome;
    uint16_t new_user_actions;
    bool mail_new_user;
    bool connection_log;
    uint16_t connection_log_flags;
    bool log_exclusions;
    bool log_password_failures;
    uint16_t port_method;      // an access method id (METHOD_...)
};

// Letter bits of challenge_policy.
enum {
    POLICY_CONSOLE = 0x01, POLICY_FAIL_READONLY = 0x02, POLICY_FAIL_HOLD = 0x04,
    POLICY_PLAIN_READONLY = 0x08, POLICY_PLAIN_HOLD = 0x10, POLICY_PLAIN_DENY = 0x20,
    POLICY_DIGEST_ONLY = 0x40
};
enum { INTRO_EXCEPT_X = 1, INTRO_EXCEPT_S = 2, INTRO_EXCEPT_N = 4 };
enum { NEW_USER_TEXT = 1, NEW_USER_MESSAGE = 2 };

extern FilterConfig filter_config;

// sysops_to_mail - how many of the configured sysops a mail goes to.
inline int sysops_to_mail(void)
{
    return filter_config.sysop_count < (int)MAX_SYSOPS ? filter_config.sysop_count : (int)MAX_SYSOPS;
}

// ---- guard.prt ------------------------------------------------------------

enum { CHALLENGE_LIFETIME_MINUTES = 10 };

// GuardConfig - the guard against repeated failures, and the lifetime of a
// challenge. Without guard.prt, or after a wrong line in it, the guard is
// off and a challenge lives CHALLENGE_LIFETIME_MINUTES.
// Writer: config/guard_config (load_guard_config).
struct GuardConfig {
    bool guard_on;
    uint16_t failures;          // FAILURES n: a callsign is locked out at its n-th failure
    uint16_t minutes;           // MINUTES m: within m minutes; locked until m minutes after the last
    uint16_t expire_minutes;    // EXPIRE m: the lifetime of a challenge
    uint32_t exposure_one_in;   // EXPOSURE n: mail when a password's chance reaches 1 in n; 0: never
};

extern GuardConfig guard_config;

// ---- users.prt ------------------------------------------------------------

enum { PASSWORD_MAX = 300 };

// UserEntry - the method and password of the station's line in users.prt.
// Writer: config/user_list (find_user_entry). Today's row of a password
// table is read into a local buffer of the TABLE challenge, never into it.
struct UserEntry {
    uint16_t method;           // an access method id (METHOD_...)
    char password[PASSWORD_MAX + 1];
};

extern UserEntry user_entry;

// ---- The host's files -----------------------------------------------------

// HostInfo - what the start-up file gives.
// Writer: config/host_files (load_host_info).
struct HostInfo {
    bool host_info_loaded;
    char bbs_callsign[7];
    char system_directory[101];
    char host_sysop[7];            // "SYSOP" at load
    char mail_import_path[101];
    char mail_lock_path[81];
};

enum { PORT_TABLE_SIZE = 10, PORT_NAME_MAX = 10, HOST_RECORD_SIZE = 360, HOST_LANGUAGE_OFFSET = 93 };
enum { PORT_ALL = 251, PORT_UNRESOLVED = 255 };

extern HostInfo host_info;

// The host's port names by number. Writer: config/host_files (port_from_name).
extern char port_table[PORT_TABLE_SIZE][PORT_NAME_MAX + 1];
extern bool port_table_loaded;
extern int16_t port_count;

// ---- The filter's texts ---------------------------------------------------

enum { MESSAGE_COUNT = 30, MESSAGE_SIZE = 81, LANGUAGE_TEXTS = 29 };

// The 30 texts of the filter in the language of config.prt.
// Writer: config/messages (restore_default_messages, load_language_file).
typedef char MessageTable[MESSAGE_COUNT][MESSAGE_SIZE];
extern MessageTable message_table;

// Entries by their use; the numbers are fixed by the language file's order.
enum {
    MSG_LANGUAGE_LINES = 0, MSG_FILE = 1, MSG_NOT_FOUND = 2, MSG_NO_MAIL_FILE = 3,
    MSG_CHECK_CONFIG = 4, MSG_CONFIG_FILE = 5, MSG_TABLE_FILE = 6, MSG_BAD_LINE = 7,
    MSG_NO_TEMP_FILE = 8, MSG_OPTION_ON = 9, MSG_NO_MEMORY = 10, MSG_UNKNOWN_ERROR = 11,
    MSG_PORT = 12, MSG_CONNECTED_CALLSIGN = 13, MSG_ERROR_DETECTED = 14,
    MSG_EXCLUSION_LOG = 15, MSG_PASSWORD_LOG = 16, MSG_LOG_FILE = 17, MSG_NEW_USER = 18,
    MSG_CALLSIGN = 19, MSG_FIRST_TIME = 20, MSG_TIME = 21, MSG_DATE = 22,
    MSG_MISTAKEN = 23, MSG_NOT_MD = 24, MSG_MD_ONLY = 25, MSG_DENIED = 26,
    MSG_RESTRICTED = 27, MSG_WELCOME = 28, MSG_CONNECTIONS_LOG = 29
};

// msg - the text of an entry; "" for a number outside the table.
const char *msg(int entry);

// ---- Errors ---------------------------------------------------------------

// The numbered errors. Raised through common/error_hook, recorded and mailed
// by report/errors.
enum {
    ERR_NO_STARTUP_FILE = 1, ERR_NO_MAIL = 2, ERR_NO_CONFIG = 3, ERR_NO_TABLE = 4,
    ERR_CONFIG_LINE = 5, ERR_LANGUAGE_LINES = 6, ERR_USERS_LINE = 7, ERR_NO_OPEN_TEXT = 8,
    ERR_NO_INFO_TEXT = 9, ERR_STATE_FILE = 10, ERR_NO_EXCLUSION_TEXT = 11, ERR_NO_MEMORY = 13
};

#endif

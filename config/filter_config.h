// filter_config.h - the options of config.prt and the access-method vocabulary.
#ifndef FILTER_FILTER_CONFIG_H
#define FILTER_FILTER_CONFIG_H

#include "common/letter_values.h"

#include <cstddef>
#include <cstdint>

enum { MAX_SYSOPS = 5 };

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
    uint8_t port_method;
};

// Access methods, numbered as in config.prt and users.prt.
enum {
    METHOD_OPEN = 1, METHOD_CLOSED = 2, METHOD_EXCLUDED = 3, METHOD_FIXED = 4,
    METHOD_NORMAL = 5, METHOD_MD5 = 6, METHOD_TABLE = 7, METHOD_BBS = 8,
    METHOD_FLEXNET = 9, METHOD_FORWARD = 10, METHOD_READONLY = 11, METHOD_HOLD = 12,
    METHOD_FORWARD5 = 13, METHOD_GUEST = 14
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

// config.prt is read in pieces of 99 characters; its first 14 significant
// lines are options, the later ones port lines.
enum { CONFIG_LINE_SIZE = 100, CONFIG_OPTION_LINES = 14 };

// What handling one line of config.prt gives: CONFIG_LINE_FAILED is error 5
// still to be reported, CONFIG_LINE_REPORTED an error a lookup has reported.
enum ConfigLineResult { CONFIG_LINE_OK, CONFIG_LINE_FAILED, CONFIG_LINE_REPORTED };

// parse_config_line - one significant line in its role (1 to 14 an option
// line, above that a port line) into filter_config; a port line's port goes
// to *port. The line may be upper-cased in place.
ConfigLineResult parse_config_line(int role, char *line, int line_number, char *reply, uint8_t *port);

// load_filter_config - read config.prt: -1 failed (reported), 0 the port has
// no port line, 1 it has one and its method is in port_method.
int8_t load_filter_config(char *reply);

// method_from_keyword - method 1..14 of a Spanish or English keyword, or -1
// after error 7 (users.prt) or 5 (config.prt) with line_number.
int method_from_keyword(const char *keyword, int line_number, char *reply, bool in_users_file);

// port_method_allowed - one of the six methods a port line may name (1, 2, 3,
// 8, 11, 12): none of them asks for a password.
bool port_method_allowed(uint8_t method);

// method_name - the English keyword of method 1..14, or null for any other number.
const char *method_name(int method);

// config_file_path - path of config.prt or users.prt, through MORVEL when set.
void config_file_path(const char *name, char *out, size_t size);

// filter_config_reset - the load-time values.
void filter_config_reset(void);

#endif

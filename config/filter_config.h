// filter_config.h - the options of config.prt and the method of the port.
#ifndef FILTER_FILTER_CONFIG_H
#define FILTER_FILTER_CONFIG_H

#include "common/letter_values.h"
#include "common/records.h"

#include <cstddef>
#include <cstdint>


// config.prt is read in pieces of 99 characters; its first 14 significant
// lines are options, the later ones port lines.
enum { CONFIG_LINE_SIZE = 100, CONFIG_OPTION_LINES = 14 };

// What handling one line of config.prt gives: CONFIG_LINE_FAILED is error 5
// still to be reported, CONFIG_LINE_REPORTED an error a lookup has reported.
enum ConfigLineResult { CONFIG_LINE_OK, CONFIG_LINE_FAILED, CONFIG_LINE_REPORTED };

// The option lines by their role, their place among the significant lines.
enum {
    OPTION_LANGUAGE = 1, OPTION_SYSOPS, OPTION_ATTEMPTS, OPTION_PROMPT, OPTION_TEXTS_BY_LANGUAGE,
    OPTION_OPEN_TEXT, OPTION_EXCLUSION_TEXT, OPTION_GUEST_TEXT, OPTION_INTRO_TEXT, OPTION_NEW_USER,
    OPTION_MAIL_NEW_USER, OPTION_CONNECTION_LOG, OPTION_LOG_EXCLUSIONS, OPTION_LOG_PASSWORD_FAILURES
};

// ConfigOption - one option line: its reader, how many blank-separated
// fields it takes (0: the whole line), the line its load-time value reads
// as, and for an "OK"/"NO" switch the field it sets, with the letters that
// may follow and the word they add up to.
struct ConfigOption {
    int role;
    ConfigLineResult (*read)(const ConfigOption *o, char *line);
    int fields;
    const char *default_line;   // null: none (no sysop)
    bool *on;
    uint16_t *word;
    const LetterValue *letters; // ends with a zero letter; null: no letters field of its own
    int letters_width;          // the longest letters field read
};

// config_option - the row of option line role (1 to 14); null for a port line.
const ConfigOption *config_option(int role);

// parse_config_line - one significant line in its role (1 to 14 an option
// line, above that a port line) into filter_config; a port line's port goes
// to *port. The line may be upper-cased in place.
ConfigLineResult parse_config_line(int role, char *line, int line_number, uint8_t *port);

// load_filter_config - read config.prt: -1 failed (reported), 0 the port has
// no port line, 1 it has one and its method is in port_method.
int8_t load_filter_config(void);

// method_from_keyword - the method id of a Spanish or English keyword, or -1
// after error 7 (users.prt) or 5 (config.prt) with line_number.
int method_from_keyword(const char *keyword, int line_number, bool in_users_file);

// port_method_allowed - a method a port line may name: none of them asks for a password.
bool port_method_allowed(unsigned method);

// config_file_path - path of config.prt or users.prt, through MORVEL when set.
void config_file_path(const char *name, char *out, size_t size);

// use_stand_in_sysop - with no sysop configured, callsign receives the
// error mail until config.prt is read again.
void use_stand_in_sysop(const char *callsign);

// filter_config_reset - the load-time values.
void filter_config_reset(void);

#endif

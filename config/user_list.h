// user_list.h - the station's entry line in users.prt.
#ifndef FILTER_USER_LIST_H
#define FILTER_USER_LIST_H

#include "common/records.h"

#include <cstdint>


// users.prt is read in pieces of 299 characters.
enum { USERS_LINE_SIZE = 300 };

// EntryLine - one line of an entry in users.prt, read on its own.
struct EntryLine {
    bool matches;                       // its port is the connection's, or every port
    uint16_t method;
    bool needs_password;                // the method puts a challenge built on the password
    bool password_ok;                   // a password is there, of its method's length
    char password[PASSWORD_MAX + 1];
};

enum EntryLineResult { ENTRY_LINE_OK, ENTRY_LINE_END, ENTRY_LINE_BAD, ENTRY_LINE_REPORTED };

// parse_entry_line - an entry line into out (its method also into
// user_entry.method, as the search does): ENTRY_LINE_END for an end line,
// ENTRY_LINE_BAD for fewer than two fields (error 7 still to be reported),
// ENTRY_LINE_REPORTED after an unknown port or method was reported.
EntryLineResult parse_entry_line(const char *line, int line_number, EntryLine *out);

// find_user_entry - -1 after an error was reported, 0 no line for the port,
// 1 found; user_entry is cleared before every lookup.
int8_t find_user_entry(void);

// station_entry - find_user_entry's result for this call: users.prt is read
// at most once per call, though the answer's check, the code's secret and a
// fresh challenge all need the entry. user_entry holds it as long as no
// other lookup has run since.
int8_t station_entry(void);

// user_list_new_call - the host called again: the next station_entry reads
// users.prt anew.
void user_list_new_call(void);

// match_call_pattern - a callsign pattern with "?" and "*" against a key.
bool match_call_pattern(const char *pattern, const char *key);

// user_list_reset - the load-time values.
void user_list_reset(void);

#endif

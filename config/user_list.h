// user_list.h - the station's entry line in users.prt.
#ifndef FILTER_USER_LIST_H
#define FILTER_USER_LIST_H

#include <cstdint>

enum { PASSWORD_MAX = 300 };

struct UserEntry {
    uint8_t method;
    char password[PASSWORD_MAX + 1];
};

extern UserEntry user_entry;

// find_user_entry - -1 after an error was reported, 0 no line for the port,
// 1 found; user_entry is cleared before every lookup.
int8_t find_user_entry(char *reply);

// match_call_pattern - a callsign pattern with "?" and "*" against a key.
bool match_call_pattern(const char *pattern, const char *key);

// user_list_reset - the load-time values.
void user_list_reset(void);

#endif

// user_list.cpp - the station's entry in users.prt.
#include "config/user_list.h"

#include <cstring>

UserEntry user_entry;

// Placeholder until users.prt is read.
int8_t find_user_entry(char *) { return 0; }
bool match_call_pattern(const char *, const char *) { return false; }

void user_list_reset(void)
{
    memset(&user_entry, 0, sizeof user_entry);
}

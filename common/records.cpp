// records.cpp - the storage of the shared records; their writers are named in records.h.
#include "common/records.h"

#include <cstdio>

ConnectionInfo connection_info;
uint8_t verdict;

CallClock call_clock;
char version_text[8];
char call_banner[64];
char reply_tag[24];

void format_banner(char *out, size_t size, const char *after)
{
    snprintf(out, size, "[MORVEL v%s] - %s", version_text, after);
}

FilterConfig filter_config;

GuardConfig guard_config;

UserEntry user_entry;

HostInfo host_info;
char port_table[PORT_TABLE_SIZE][PORT_NAME_MAX + 1];
bool port_table_loaded;
int16_t port_count;

MessageTable message_table;

const char *msg(int entry)
{
    if (entry < 0 || entry >= MESSAGE_COUNT)
        return "";
    return message_table[entry];
}

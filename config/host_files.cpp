// host_files.cpp - the host's start-up file, port file, user file and language list.
#include "config/host_files.h"

#include <cstring>

HostInfo host_info;
char port_table[PORT_TABLE_SIZE][PORT_NAME_MAX + 1];
bool port_table_loaded;
int16_t port_count;

bool is_comment_line(const char *line)
{
    return line[0] == '#' || line[0] == '\n' || line[0] == '\0';
}

// Placeholder until the host files are read.
int8_t load_host_info(char *) { return -1; }
bool caller_language(char *) { return false; }
bool find_host_user(const char *, unsigned char *) { return false; }
bool language_name(unsigned, char *) { return false; }
uint8_t port_from_name(const char *, int, char *, bool) { return PORT_UNRESOLVED; }

void host_files_reset(void)
{
    memset(&host_info, 0, sizeof host_info);
    strcpy(host_info.host_sysop, "SYSOP");
    memset(port_table, 0, sizeof port_table);
    port_table_loaded = false;
    port_count = 0;
}

// sysop_commands.cpp - command words, the off-switch and port flag files, mailing the attempt logs.
#include "filter/sysop_commands.h"
#include "common/filter_dir.h"
#include "platform/platform.h"

#include <cstdio>

// Placeholder until the commands are carried out.
void run_sysop_command(const char *, const char *, char *) {}
void set_filter_switch(bool) {}
bool filter_is_off(void) { return plat_exists(FILTER_DIR "\\morvel.sta"); }
bool port_is_bbs_only(void) { return false; }
void set_port_mode(uint8_t, bool) {}
void mail_log_files(const char *, char *) {}

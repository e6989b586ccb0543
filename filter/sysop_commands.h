// sysop_commands.h - the five sysop commands and the marker files they set.
#ifndef FILTER_SYSOP_COMMANDS_H
#define FILTER_SYSOP_COMMANDS_H

#include <cstdint>

// run_sysop_command - carry out a command word with its argument ("#" for none).
void run_sysop_command(const char *word, const char *argument);

// set_filter_switch - on: remove the off-switch file; off: create it.
void set_filter_switch(bool on);

// filter_is_off - the off-switch file exists.
bool filter_is_off(void);

// port_is_bbs_only - the flag file of the connection's (signed) port exists.
bool port_is_bbs_only(void);

// set_port_mode - normal: remove the port's flag file; otherwise create it.
void set_port_mode(uint8_t port, bool normal);

// port_argument - the port number of a "-pbbs" or "-pnormal" argument, cut
// to 8 bits; false unless it is one decimal number after an optional sign.
bool port_argument(const char *argument, uint8_t *port);

// mail_log_files - the "-log" command: mail both attempt logs to the sysops.
void mail_log_files(const char *argument);

#endif

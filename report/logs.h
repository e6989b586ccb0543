// logs.h - the attempt logs and the connection logs.
#ifndef FILTER_LOGS_H
#define FILTER_LOGS_H

#include <cstddef>
#include <cstdint>

enum { LOG_FAILED_PASSWORDS = 0, LOG_EXCLUDED = 1 };
enum { LOG_GENERAL = 0, LOG_STATION = 1 };

// write_attempt_log - one entry in lognopas.prt or logexcld.prt; silent on failure.
void write_attempt_log(int which);

// write_connection_log - one entry in the general (0) or station (1) log; silent on failure.
void write_connection_log(int kind);

// user_log_mode - the station's line of logusr.prt; false when not listed.
bool user_log_mode(uint16_t *mode);

// log_column_header - the upper-case column header line.
void log_column_header(char *out, size_t size);

#endif

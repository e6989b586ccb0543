// logs.h - the attempt logs and the connection logs.
#ifndef FILTER_LOGS_H
#define FILTER_LOGS_H

#include "common/text_copy.h"

#include <cstddef>
#include <cstdint>

enum { LOG_FAILED_PASSWORDS = 0, LOG_EXCLUDED = 1 };
enum { LOG_GENERAL = 0, LOG_STATION = 1 };

// write_attempt_log - one entry in lognopas.prt or logexcld.prt; silent on
// failure, but an entry lost is counted.
void write_attempt_log(int which);

// write_connection_log - one entry in the general (0) or station (1) log;
// silent on failure, but an entry lost is counted.
void write_connection_log(int kind);

// lost_log_entries - the log entries that could not be written whole (a
// write or a close that failed, as on a full disk) and were not reported
// yet. A log that does not open loses nothing countable: that is the
// sysop's choice of files and directories.
long lost_log_entries(void);

// forget_lost_log_entries - n of the entries lost have been reported.
void forget_lost_log_entries(long n);

// logs_reset - the load-time state: nothing lost yet.
void logs_reset(void);

// Widest logusr.prt name that is read whole: longer than any callsign with
// its SSID ("N0CALL-255"), so a cut name can never match a station. A line is
// read in pieces of LOG_USER_LINE_SIZE, each piece a line of its own.
enum { LOG_NAME_MAX = 15, LOG_USER_LINE_SIZE = TEXT_PIECE };

// LogUserLine - what the filter reads of one line of logusr.prt.
struct LogUserLine {
    char name[LOG_NAME_MAX + 1];    // the first word, upper case, cut to LOG_NAME_MAX
    char letters[TEXT_PIECE];       // the word after it (the rest of a cut name)
    uint16_t mode;                  // the letters added up
};

// parse_log_user_line - one line of logusr.prt, upper-cased in place; false
// when it names no station.
bool parse_log_user_line(char *line, LogUserLine *entry);

// user_log_mode - the station's line of logusr.prt; false when not listed.
bool user_log_mode(uint16_t *mode);

// Room for a log's entry line, its line end and its NUL.
enum { LOG_ENTRY_MAX = 96 };

// format_log_entry - the entry line of a station on a port at a time
// ("21:30:05,27") and date ("08-12-2026"), line end included, as every log holds it.
void format_log_entry(char *out, size_t size, const char *callsign, int ssid, int port, const char *time_text,
                      const char *date_text);

// read_log_entry - the callsign (7 bytes), SSID and port of a log's entry
// line; false for any other line of a log.
bool read_log_entry(const char *line, char *callsign, int *ssid, int *port);

// LogEntry - an entry line whole: who, on which port, and when.
struct LogEntry {
    char callsign[7];
    int ssid, port;
    int hour, minute, second, hundredths;
    int day, month, year;
};

// read_dated_log_entry - an entry line with its time and date; false for any
// other line of a log, and for a time or date out of range.
bool read_dated_log_entry(const char *line, LogEntry *entry);

// attempt_log_name - "lognopas.prt" or "logexcld.prt", in the filter directory.
const char *attempt_log_name(int which);

// connection_log_directory - morvel\logcnx, where every connection log lies.
const char *connection_log_directory(void);

// is_general_log_name - a name the general connection log takes in some
// mode (logcnx.prt, logcnx49.prt, logcn342.prt), in any case; station logs
// (N0CALL.log, ...) are not.
bool is_general_log_name(const char *name);

// log_column_header - the upper-case column header line.
void log_column_header(char *out, size_t size);

#endif

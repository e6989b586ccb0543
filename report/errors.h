// errors.h - numbered error reports: error.prt, the error mail, markers and outcomes.
#ifndef FILTER_ERRORS_H
#define FILTER_ERRORS_H

#include "common/records.h"

#include <cstddef>
#include <cstdint>

// report_error - record, mail once per code, and note the outcome of the
// code: the verdict it leaves, and for codes 4 and 7 that the port's method
// is due. It never writes verdict; the operation that stopped on the error does.
void report_error(uint16_t code, uint16_t detail);

// The forms of error 2: the import file cannot take the mail, someone's
// lock keeps it out, or mail and log entries could not be written anywhere.
enum MailError { MAIL_ERROR_IMPORT, MAIL_ERROR_LOCK, MAIL_ERROR_LOST };

// report_mail_error - error 2 in one of its forms, with the messages and
// log entries lost for MAIL_ERROR_LOST: recorded, and mailed each time
// through the mail drop (into mail.prt while the import file cannot take
// it, so that it goes with the held mail). False when error.prt could not
// be written.
bool report_mail_error(MailError form, long lost_mail, long lost_entries);

// report_error_in - report_error for a wrong line of file_name ("guard.prt"),
// or another fault of that file, which the error text names (after the text
// when it names no file of its own), with a marker of its own; the code's verdict
// is noted as for report_error, and the caller may leave it unused.
void report_error_in(uint16_t code, uint16_t detail, const char *file_name);

// clear_error_marker_in - the marker of report_error_in's reports of file_name.
void clear_error_marker_in(uint16_t code, const char *file_name);

// report_verdict - the verdict the last report's code leaves, whether or
// not error.prt could be written; 0 at load.
uint8_t report_verdict(void);

// take_port_method_due - true once after a report of code 4 or 7, recorded
// or not: the operation that met it runs the port's method.
bool take_port_method_due(void);

// errors_reset - the load-time state of this file's globals; installs the
// reporter behind common/error_hook.
void errors_reset(void);

// Room for the longest error text built from five translated entries of 80
// characters and the file names (271 characters), so no translation is cut
// here. error_text cuts at its caller's size; a shorter buffer keeps the head.
enum { ERROR_TEXT_MAX = 300 };

// ErrorRecord - what error.prt holds: the last report, as written.
struct ErrorRecord {
    uint16_t code;
    char time_stamp[32];          // the call's time stamp, "21:30:05 08-12-2026"
    char station[16];             // "N0CALL-0"
    int port;
    char text[ERROR_TEXT_MAX];    // its lines joined by "\n", as error_text gives it
};

// error_file_path - morvel\error.prt, which holds the last report.
const char *error_file_path(void);

// read_error_record - the record of error.prt: 1 read, 0 no file, -1 a file
// that cannot be read or holds no record.
int read_error_record(ErrorRecord *record);

// error_text - the error text of a code, bounded to size.
void error_text(uint16_t code, uint16_t detail, char *out, size_t size);

// error_marker_path - morvel\ERROR<code>.TMP into buffer (FILTER_PATH_MAX); returns buffer.
char *error_marker_path(char *buffer, uint16_t code);

// clear_error_marker - remove the marker of a code; a missing marker is no error.
void clear_error_marker(uint16_t code);

#endif

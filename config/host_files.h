// host_files.h - what the filter reads, and never writes, from the host BBS's own files.
#ifndef FILTER_HOST_FILES_H
#define FILTER_HOST_FILES_H

#include "common/records.h"

#include <cstdint>


// The names of the start-up file and of the port file (in the system
// directory), in the order the filter tries them: the first that opens is read.
enum { HOST_FILE_NAMES = 3 };
extern const char *const startup_file_names[HOST_FILE_NAMES];
extern const char *const port_file_names[HOST_FILE_NAMES];

// load_host_info - read the start-up file into host_info; 1, or -1 after error 1.
int8_t load_host_info(void);

// Room for a language name of langue.sys and its NUL.
enum { LANGUAGE_NAME_SIZE = 12 };

// host_info_ready - the start-up file has been read, now or before; false
// after error 1.
bool host_info_ready(void);

// caller_language - the language name of the connection's station (out: LANGUAGE_NAME_SIZE bytes).
bool caller_language(char *out);

// find_host_user - the station's 360-byte record of inf.sys.
bool find_host_user(const char *callsign, unsigned char *record);

// language_name - the name of language number from langue.sys (out: LANGUAGE_NAME_SIZE bytes).
bool language_name(unsigned number, char *out);

// host_ports_ready - the host's port file has been read into port_table, now
// or before; false when it cannot be, which it reports to nobody (for the tools).
bool host_ports_ready(void);

// port_from_name - port number 0..9, PORT_ALL, or PORT_UNRESOLVED after error 5 or 7.
uint8_t port_from_name(const char *name, int line_number, bool from_user_list);

// host_files_reset - the load-time state of this file's globals.
void host_files_reset(void);

#endif

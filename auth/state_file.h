// state_file.h - a challenge state file read back: what it expects, and whose it is.
#ifndef FILTER_STATE_FILE_H
#define FILTER_STATE_FILE_H

#include "auth/digests.h"

#include <cstddef>
#include <cstdio>

enum { STATE_LINE = 300, STATION_NAME = 16 };

// What a state file says the answer must be, the station it was put to,
// and the port, method and time it was put for.
struct ExpectedAnswer {
    char plain[STATE_LINE];
    char digest[2][DIGEST_TEXT];   // FLEXNET: digest[0] holds the digits shown
    short kind;
    char station[STATE_LINE];
    bool bound;                    // the station line gave port, method and time
    int port;                      // 0 to 255, as the sysop numbers ports
    int method;
    long long put_at;              // seconds of the calendar time
};

// state_station_name - "CALL-SSID" of the connection, the first word of the last line of its state file.
void state_station_name(char *out, size_t size);

// write_station_line - the last line of a state file: "CALL-SSID PORT METHOD
// TIME" of the connection, the method that put the challenge and the time now.
void write_station_line(FILE *f, int method);

// is_expired - the challenge is older than its lifetime (or dated ahead of
// the clock by more than that), or tells no time at all.
bool is_expired(const ExpectedAnswer *e);

// station_challenge_pending - the connection's station has a challenge that
// waits for its answer: its state file names it and has not expired.
bool station_challenge_pending(void);

// remove_state_file - remove a state file that is a file of one name only;
// false, leaving it, when it is a link or another kind of file.
bool remove_state_file(const char *path);

// remove_expired_state_files - the state files of every station whose
// challenge has expired, at most once a minute; nothing else is touched.
void remove_expired_state_files(void);

// load_state_file - the expected answer of a state file; false when the file
// is missing, lacks a needed line or has more lines than any challenge writes.
bool load_state_file(const char *path, ExpectedAnswer *e);

// names_this_station - the file was put to the connection's station (case aside).
bool names_this_station(const ExpectedAnswer *e);

// accepts_digest - answer is one of the file's digests, all in lower or all in upper case.
bool accepts_digest(const char *answer, const ExpectedAnswer *e);

// pending_challenge_accepts - some state file in the filter directory, of any
// station, not expired, would take answer as its digest answer; also true
// when the directory exists but cannot be listed, or a state file's name
// cannot be read as a state file, since nothing is ruled out then.
bool pending_challenge_accepts(const char *answer);

// state_files_reset - the load-time state: no sweep done yet.
void state_files_reset(void);

#endif

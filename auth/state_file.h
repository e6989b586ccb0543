// state_file.h - a challenge state file read back: what it expects, and whose it is.
#ifndef FILTER_STATE_FILE_H
#define FILTER_STATE_FILE_H

#include "auth/digests.h"

#include <cstddef>

enum { STATE_LINE = 300, STATION_NAME = 16 };

// What a state file says the answer must be, and the station it was put to.
struct ExpectedAnswer {
    char plain[STATE_LINE];
    char digest[2][DIGEST_TEXT];   // FLEXNET: digest[0] holds the digits shown
    short kind;
    char station[STATE_LINE];
};

// state_station_name - "CALL-SSID" of the connection, the last line of its state file.
void state_station_name(char *out, size_t size);

// load_state_file - the expected answer of a state file; false when the file
// is missing, lacks a needed line or has more lines than any challenge writes.
bool load_state_file(const char *path, ExpectedAnswer *e);

// names_this_station - the file was put to the connection's station (case aside).
bool names_this_station(const ExpectedAnswer *e);

// accepts_digest - answer is one of the file's digests, all in lower or all in upper case.
bool accepts_digest(const char *answer, const ExpectedAnswer *e);

// pending_challenge_accepts - some state file in the filter directory, of any
// station, would take answer as its digest answer; also true when the
// directory exists but cannot be listed, since nothing is ruled out then.
bool pending_challenge_accepts(const char *answer);

#endif

// state_file.h - a challenge's state file: its name, its kinds, writing it
// and reading it back.
#ifndef FILTER_STATE_FILE_H
#define FILTER_STATE_FILE_H

#include "auth/digests.h"
#include "auth/exposure_record.h"

#include <cstddef>

enum { STATE_LINE = 300, STATION_NAME = 16 };

// Challenge kinds written on line 2 of the state file: the method's number,
// and for the one-time codes, which have none, numbers no method has.
enum { KIND_NORMAL = 0, KIND_FIXED = 4, KIND_MD = 6, KIND_TABLE = 7, KIND_FLEXNET = 9, KIND_FORWARD = 10,
       KIND_TOTP = 20, KIND_HOTP = 21 };

// StateKind - what a kind's file holds and how its answer is taken.
struct StateKind {
    short kind;
    const char *kind_line_end;  // what follows the kind on line 2; null: the file has no kind line
    bool digests;               // the MD2 digest follows the plain answer on line 1, the MD5 one is line 3
    const char *digest_line_end; // what follows the MD5 digest on line 3
    bool lower_extension;       // the file is named .tmp rather than .TMP
    bool plain_answer;          // a plain answer can pass
    bool one_answer;            // one wrong answer ends the challenge, whatever the attempt count
    bool one_time_code;         // answered by a code worked out from the secret, not by the file's text
    const char *what;           // the answer it asks for, in words, for the sysop's tools
    ExposureKind heard;         // what a right plain answer lets a listener hear
};

// state_kind - the row of a kind; a kind no challenge writes reads as NORMAL, which has no kind line.
const StateKind *state_kind(int kind);

// state_file_path - morvel\<callsign><ssid>.TMP of the connection's station,
// or .tmp as the MD and forward challenges spell it; the file system takes
// both for one name.
void state_file_path(char *out, size_t size, bool lower_extension);

// write_state_file - the state file of a challenge of kind that method put,
// readable by its owner only: plain on line 1 (md2 after it, and md5 on line
// 3, for a kind with digests), the kind line, the station line with the
// port, the method, the time and the note of what a right answer lets a
// listener hear (heard, a word of exposure_record.h; null or "" for none). False when it could not be written whole,
// and then no state file is left: it is written under a temporary name and
// takes the old one's place only when whole.
bool write_state_file(const char *path, int kind, int method, const char *plain, const char *md2, const char *md5,
                      const char *heard);

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
    char heard[HEARD_NOTE_TEXT];   // what a right answer lets a listener hear; "" for nothing
};

// state_station_name - "CALL-SSID" of the connection, the first word of the last line of its state file.
void state_station_name(char *out, size_t size);

// is_expired - the challenge is older than its lifetime (or dated ahead of
// the clock by more than that), or tells no time at all.
bool is_expired(const ExpectedAnswer *e);

// plain_answer_allowed - a plain answer can pass a challenge of kind: never a
// forward challenge's (its file holds a placeholder, not a secret), nor an
// MD5 one's under letter N.
bool plain_answer_allowed(int kind);

// answer_can_be_guessed - a challenge of kind takes an answer a caller could
// guess (a plain answer, a one-time code), not only a digest: the guard
// counts and refuses only where one is asked.
bool answer_can_be_guessed(int kind);

// station_challenge_pending - the connection's station has a challenge that
// waits for its answer: its state file names it and has not expired; *kind
// is its kind then.
bool station_challenge_pending(short *kind);

// end_callsign_challenges - remove the state file of every challenge put to
// the connection's callsign (any SSID, any port but the console's) that
// takes an answer a caller could guess; another station's file, one that is
// a link and a digest-only challenge stay.
void end_callsign_challenges(void);

// remove_state_file - remove a state file that is a file of one name only;
// false, leaving it, when it is a link or another kind of file.
bool remove_state_file(const char *path);

// remove_expired_state_files - the state files of every station whose
// challenge has expired, and the temporaries of files rewritten whole that
// have not been written for a minute (plat_is_temporary_name), at most once
// a minute; nothing else is touched.
void remove_expired_state_files(void);

// state_files_reset - the load-time state: no sweep done yet.
void state_files_reset(void);

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

#endif

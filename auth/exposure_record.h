// exposure_record.h - what a listener has heard of each password: the file
// morvel\exposure.dat, its writer and its reader, and the note a challenge
// leaves in its state file of what a right answer to it lets a listener hear.
//
// The record holds no password and no character of one: each line is keyed
// by a tag of the password (an HMAC under it), so a changed password starts
// from nothing, and it tells what was heard (positions, the digits of an
// equation) and since when, never what was answered.
#ifndef FILTER_EXPOSURE_RECORD_H
#define FILTER_EXPOSURE_RECORD_H

#include "common/records.h"

#include <cstddef>

#define EXPOSURE_FILE "exposure.dat"

// What a right plain answer lets a listener hear, by the kind of challenge:
// characters at drawn positions (NORMAL, TABLE, MD5 answered in plain), the
// whole password (FIXED), an equation over the key's digits (FLEXNET), or
// nothing usable (digests, one-time codes).
enum ExposureKind { EXPOSURE_NONE, EXPOSURE_POSITIONS, EXPOSURE_WHOLE, EXPOSURE_EQUATIONS };

enum {
    EXPOSURE_TAG_TEXT = 9,                       // four bytes in hexadecimal
    EXPOSURE_DRAWN = 5,                          // positions or digits a challenge shows
    EXPOSURE_EQUATIONS_MAX = 20,                 // equations kept; each one kept narrowed the keys
    EXPOSURE_POSITION_BYTES = (PASSWORD_MAX + 7) / 8,
    EXPOSURE_DATE_TEXT = 11,                     // "08-12-2026"
    EXPOSURE_STATION_TEXT = 16,
    HEARD_NOTE_TEXT = 48                         // the note of a state file
};

// ExposureRecord - one line of the file: one password.
struct ExposureRecord {
    char tag[EXPOSURE_TAG_TEXT];
    ExposureKind kind;
    char since[EXPOSURE_DATE_TEXT];              // the date of the first answer heard
    char station[EXPOSURE_STATION_TEXT];         // "CALL-SSID" of the last answer heard
    bool mailed;                                 // the sysops were told it passed the threshold
    unsigned char positions[EXPOSURE_POSITION_BYTES];   // bit p of byte p / 8: position p (0-based) heard
    int equation_count;
    char equations[EXPOSURE_EQUATIONS_MAX][EXPOSURE_DRAWN + 1];   // the digits shown, oldest first
};

// HeardAnswer - what a right answer to one challenge lets a listener hear;
// the challenge notes it in its state file, the verification records it.
struct HeardAnswer {
    ExposureKind kind;
    char tag[EXPOSURE_TAG_TEXT];
    int length;                                  // the password's length (positions)
    int positions[EXPOSURE_DRAWN];               // 0-based (positions)
    char digits[EXPOSURE_DRAWN + 1];             // the digits shown (equations)
};

// exposure_tag - the tag of a password: it tells a reader of the file
// nothing of the password, and a changed password has another.
void exposure_tag(const char *password, char tag[EXPOSURE_TAG_TEXT]);

// exposure_kind_name - "POSITIONS", "WHOLE", "EQUATIONS", or "NONE".
const char *exposure_kind_name(ExposureKind kind);

// position_heard - the record has heard the 0-based position p.
bool position_heard(const ExposureRecord *r, int p);

// positions_heard_count - how many distinct positions the record has heard.
int positions_heard_count(const ExposureRecord *r);

// ---- the note in a state file --------------------------------------------

// format_heard_note - the note of a heard answer as one word, "" for
// EXPOSURE_NONE.
void format_heard_note(const HeardAnswer *h, char out[HEARD_NOTE_TEXT]);

// parse_heard_note - a note back; false (h of EXPOSURE_NONE) for a word that
// is none.
bool parse_heard_note(const char *note, HeardAnswer *h);

// ---- the file ---------------------------------------------------------------

// exposure_file_path - morvel\exposure.dat.
const char *exposure_file_path(void);

// ExposureVisit - called for each record in file order, with its line as
// it stands in the file; false stops the reading.
typedef bool (*ExposureVisit)(const ExposureRecord *r, const char *line, void *context);

// read_exposure_records - visit every record line of the file (lines that
// are not records are skipped); a password may have several lines, each
// adding to the ones before it. False when the file exists but could not be
// read to its end; true for a missing file, which has no records.
bool read_exposure_records(ExposureVisit visit, void *context);

// find_exposure_record - the record of tag into *out, all its lines added
// up: 1 found, 0 none (a missing file has none), -1 when the file exists
// and could not be read.
int find_exposure_record(const char *tag, ExposureRecord *out);

// find_exposure_lines - find_exposure_record, and how many lines it has.
int find_exposure_lines(const char *tag, ExposureRecord *out, int *lines);

// add_heard - merge what h heard into r; true when r learnt something new.
// A record of another kind (the tag of a password now under another method)
// starts again, except one that heard the whole password, which stays.
bool add_heard(ExposureRecord *r, const HeardAnswer *h);

// append_exposure_record - r, which holds all its password's lines (lines
// of them, as find_exposure_lines counted) and more, as a line added at the
// end of the file. False when there is no file to add to, the password has
// as many lines as it may, or the line could not be written whole (a part
// of it may be there: it holds less than r): then rewrite the file.
bool append_exposure_record(const ExposureRecord *r, int lines);

// rewrite_exposure_record - the file rewritten whole, put in place in one
// step, with r's line in place of its password's lines, every other line
// kept, and made readable by the filter's account only. False when it could
// not be put in place (the old file is then as it was).
bool rewrite_exposure_record(const ExposureRecord *r);

#endif

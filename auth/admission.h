// admission.h - the admission decision and the access methods that need no password.
#ifndef FILTER_ADMISSION_H
#define FILTER_ADMISSION_H

#include <cstdint>

// decide_admission - decide a new connection; sets verdict.
void decide_admission(char *reply);

// refuse_closed - method 2: the information text and verdict 2, error 9 when it is missing.
void refuse_closed(char *reply);
// admit_open - method 1: the open text when switched on, the admission texts, verdict 0.
void admit_open(char *reply);
// refuse_excluded - method 3: the exclusion text and log when switched on, verdict 2.
void refuse_excluded(char *reply);
// admit_bbs - method 8: verdict 0 for a station flagged as a BBS, else as EXCLUDED.
void admit_bbs(char *reply);
// challenge_table_else_port - method 7: today's row of the station's table, else the port's method.
void challenge_table_else_port(char *reply);
// admit_read_only, admit_on_hold, admit_guest - methods 11, 12 and 14: their verdict, no text.
void admit_read_only(char *reply);
void admit_on_hold(char *reply);
void admit_guest(char *reply);

#endif

// admission.h - the admission decision and the access methods that need no password.
#ifndef FILTER_ADMISSION_H
#define FILTER_ADMISSION_H

#include <cstdint>

// decide_admission - decide a new connection; sets verdict.
void decide_admission(char *reply);

// apply_access_method - run an access method (a number without a row acts as OPEN); sets verdict.
void apply_access_method(unsigned method, char *reply);

// run_port_method - the port's own method for a station left to it (no entry
// line, no password for today, errors 4 and 7); refuses a forward login, a
// method no port line may name, and a fallback reached inside its own run.
void run_port_method(char *reply);

// stop_on_report - after the error just reported stopped an operation: the
// port's method when the report left the station to it, else the verdict
// the report left.
void stop_on_report(char *reply);

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

// caller_text_language - the caller's language (language: LANGUAGE_NAME_SIZE bytes) when
// texts go by language and a text of kind (TEXT_..., TEXT_INFORMATION) is
// looked for; null otherwise.
const char *caller_text_language(int kind, char *language);

// send_caller_text - append a caller text of a kind (TEXT_...) in the caller's language.
void send_caller_text(int kind, char *reply);

// send_new_user_message - mail the newmsg text of the port, or the general one, to the station.
void send_new_user_message(void);

// send_admission_texts - the guest, intro, new-user and station texts of an admitted caller.
void send_admission_texts(char *reply);

#endif

// notices.h - the mail the filter writes about a station: the new-user
// notice to the sysops and the welcome message to the station itself.
#ifndef FILTER_NOTICES_H
#define FILTER_NOTICES_H

#include "platform/platform.h"

// mail_new_user_notice - notice of this first connection to every sysop;
// -1 after error 2 when no mail could be opened, else 1. The caller has
// loaded config.prt and the start-up file.
int mail_new_user_notice(void);

// mail_guard_notice - the lockout of callsign to every sysop, subject
// "GUARD", with the failures counted and until (its end, as the time stamps
// show it); -1 after error 2, else 1. The caller has loaded config.prt and
// the start-up file.
int mail_guard_notice(const char *callsign, int failures, const char *until);

// mail_exposure_notice - to every sysop, subject "EXPOSED": the station whose
// password a listener could now answer with, the figure ("1 in 42 (7 of 10
// characters heard)"), since when the answers were heard, and what to do;
// -1 after error 2, else 1. The caller has loaded config.prt and the
// start-up file.
int mail_exposure_notice(const char *station, const char *figure, const char *since, const char *advice);

// mail_new_message - the welcome message with the open newmsg text to the
// station; false after error 2. The caller has loaded the start-up file and
// closes the text.
bool mail_new_message(PlatText *text);

#endif

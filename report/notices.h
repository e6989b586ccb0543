// notices.h - the mail the filter writes about a station: the new-user
// notice to the sysops and the welcome message to the station itself; and
// what the sysops must hear of mail that waits or was lost.
#ifndef FILTER_NOTICES_H
#define FILTER_NOTICES_H

#include "platform/platform.h"

// mail_new_user_notice - notice of this first connection to every sysop;
// -1 when no file took it (counted as lost), else 1. The caller has
// loaded config.prt and the start-up file.
int mail_new_user_notice(void);

// mail_guard_notice - the lockout of callsign to every sysop, subject
// "GUARD", with the failures counted and until (its end, as the time stamps
// show it). The mail is made of the file owed (a filter path), which leaves
// with it, so that a call ended at any point mails it once; -1 when no file
// took the mail (owed stays, for a later call), else 1. The caller has loaded
// config.prt and the start-up file.
int mail_guard_notice(const char *owed, const char *callsign, int failures, const char *until);

// mail_exposure_notice - to every sysop, subject "EXPOSED": the station whose
// password a listener could now answer with, the figure ("1 in 42 (7 of 10
// characters heard)"), since when the answers were heard, and what to do;
// -1 after error 2, else 1. The caller has loaded config.prt and the
// start-up file.
int mail_exposure_notice(const char *station, const char *figure, const char *since, const char *advice);

// mail_new_message - the welcome message with the open newmsg text to the
// station; false when no file took it (counted as lost). The caller has loaded the start-up file and
// closes the text.
bool mail_new_message(PlatText *text);

// mail_news_waiting - the mail drop or the logs have something for the sysop to hear.
bool mail_news_waiting(void);

// report_mail_news - error 2 for what the sysop must hear: why mail is held
// (once while it lasts), and the messages and log entries lost since the
// last report, once error.prt can be written again.
void report_mail_news(void);

#endif

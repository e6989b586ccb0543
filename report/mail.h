// mail.h - mail into the host's import file under its lock, or into the held-mail file.
#ifndef FILTER_MAIL_H
#define FILTER_MAIL_H

#include <cstdio>

// open_mail - a stream for appending messages, or null.
FILE *open_mail(void);

// close_mail - close the stream and release the lock taken by open_mail;
// false when a write or the close failed.
bool close_mail(FILE *stream);

// flush_held_mail - move morvel\mail.prt into the import file when the lock is free.
void flush_held_mail(char *reply);

// mail_new_user_notice - notice of a first connection to every sysop; -1 or 1.
int mail_new_user_notice(char *reply);

// mail_new_message - the welcome message to the new station itself.
void mail_new_message(char *reply);

// mail_reset - the load-time state of the diverted flag.
void mail_reset(void);

#endif

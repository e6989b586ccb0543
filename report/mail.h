// mail.h - the mail drop: the host's import file under its lock, or the held-mail file.
#ifndef FILTER_MAIL_H
#define FILTER_MAIL_H

#include <cstdio>

// open_mail - a stream for appending messages, or null (also while the
// start-up file, which names the import file, is not loaded).
FILE *open_mail(void);

// close_mail - close the stream and release the lock taken by open_mail;
// false when a write or the close failed.
bool close_mail(FILE *stream);

// held_mail_waiting - morvel\mail.prt holds mail for the import file.
bool held_mail_waiting(void);

// flush_held_mail - move morvel\mail.prt into the import file when the lock
// is free; nothing while the start-up file is not loaded.
void flush_held_mail(void);

// write_mail_header - the line that starts a message to to from from
// ("#\nSP N0SYS < MORVEL"); false when the write failed.
bool write_mail_header(FILE *mail, const char *to, const char *from);

// mail_reset - the load-time state of the diverted flag.
void mail_reset(void);

#endif

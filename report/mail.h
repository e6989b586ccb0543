// mail.h - the mail drop: the host's import file under its lock, or the held-mail file.
#ifndef FILTER_MAIL_H
#define FILTER_MAIL_H

#include <cstdio>

// MailWriter - writes one mail's messages into a stream; false when a write failed.
typedef bool (*MailWriter)(FILE *mail, void *context);

// send_mail - write a mail with write into the import file, or into the
// held-mail file while the host holds the lock or when the import file does
// not take it whole; false only when neither took it (also while the
// start-up file, which names the import file, is not loaded). The writer
// may run twice, and must write the same messages each time.
bool send_mail(MailWriter write, void *context);

// open_mail - a stream for appending messages: the import file, or the
// held-mail file while the host holds the lock or when the import file does
// not open; null when neither opens or the start-up file is not loaded.
// The filter's files stay locked until close_mail.
FILE *open_mail(void);

// close_mail - close the stream and release the lock taken by open_mail;
// false when a write or the close failed, and then the file is cut back.
bool close_mail(FILE *stream);

// held_mail_waiting - morvel\mail.prt holds mail for the import file.
bool held_mail_waiting(void);

// mail_drop_needs_care - held mail waits, or an earlier call left work for this one.
bool mail_drop_needs_care(void);

enum FlushResult {
    FLUSH_DONE,      // nothing is held any more
    FLUSH_WAITING,   // the host holds the lock: the held mail waits
    FLUSH_STUCK      // the mail drop fails: a lock that stays, an import file that takes nothing
};

// flush_held_mail - move morvel\mail.prt into the import file when the lock
// is free, after what an earlier call left undone; FLUSH_WAITING while the
// start-up file is not loaded.
FlushResult flush_held_mail(void);

// tidy_mail_drop - flush_held_mail; true when the sysop must now be told
// that the mail drop is stuck (once, until it works again).
bool tidy_mail_drop(void);

// write_mail_header - the line that starts a message to to from from
// ("#\nSP N0SYS < MORVEL"); false when the write failed.
bool write_mail_header(FILE *mail, const char *to, const char *from);

// read_mail_header - the addressee (to, at most size - 1 characters) of a
// line that write_mail_header wrote after its "#" line; false for another line.
bool read_mail_header(const char *line, char *to, size_t size);

// mail_reset - the load-time state of the diverted flag.
void mail_reset(void);

#endif

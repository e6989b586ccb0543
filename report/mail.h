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
// may run twice, and must write the same messages each time. The caller
// counts a mail that went nowhere (count_lost_mail).
bool send_mail(MailWriter write, void *context);

// send_mail_from - send_mail for a mail made of a file's text (source, a
// filter path): the file leaves the filter with the mail, removed (or
// emptied) once the mail is written whole and before anything is released,
// so that a call stopped at any point sends it exactly once. False when the
// mail went nowhere; the file then stays.
bool send_mail_from(const char *source, MailWriter write, void *context);

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

// mail_drop_needs_care - mail.prt is there, or an earlier call left work or a report for this one.
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

// Why mail is held instead of imported, as the sysop must hear it.
enum MailTrouble { MAIL_TROUBLE_NONE, MAIL_TROUBLE_IMPORT, MAIL_TROUBLE_LOCK };

// mail_new_call - the host called again: nothing is known yet of this call's mail.
void mail_new_call(void);

// mail_trouble_untold - this call found the mail drop failing, and the
// sysop has not heard of it yet.
bool mail_trouble_untold(void);

// take_mail_trouble - what this call found wrong with the mail drop, when
// the sysop has not heard of it yet (once while it lasts, again after mail
// reached the import file); MAIL_TROUBLE_NONE otherwise. The call's
// findings start again.
MailTrouble take_mail_trouble(void);

// count_lost_mail - messages that no file took: kept in memory until reported.
void count_lost_mail(long messages);

// lost_mail_count - the messages lost and not yet reported.
long lost_mail_count(void);

// forget_lost_mail - n of the messages lost have been reported.
void forget_lost_mail(long n);

// write_mail_header - the line that starts a message to to from from
// ("#\nSP N0SYS < MORVEL"); false when the write failed.
bool write_mail_header(FILE *mail, const char *to, const char *from);

// read_mail_header - the addressee (to, at most size - 1 characters) of a
// line that write_mail_header wrote after its "#" line; false for another line.
bool read_mail_header(const char *line, char *to, size_t size);

// mail_reset - the load-time state of the mail drop's globals.
void mail_reset(void);

#endif

// caller_texts.h - texts from the filter directory appended for the caller.
#ifndef FILTER_CALLER_TEXTS_H
#define FILTER_CALLER_TEXTS_H

enum { TEXT_INTRO = 0, TEXT_NEW_USER = 1, TEXT_GUEST = 2, TEXT_STATION = 3 };

// send_text_file - append the best text of a kind; nothing when none exists.
void send_text_file(int kind, char *reply);

// send_information_text - the CLOSED method's text; error 9 when missing; sets verdict.
void send_information_text(char *reply);

#endif

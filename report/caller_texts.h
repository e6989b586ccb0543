// caller_texts.h - texts from the filter directory appended for the caller.
#ifndef FILTER_CALLER_TEXTS_H
#define FILTER_CALLER_TEXTS_H

enum { TEXT_INTRO = 0, TEXT_NEW_USER = 1, TEXT_GUEST = 2, TEXT_STATION = 3, TEXT_INFORMATION = 4 };

// intro_held_back - the intro exceptions of config.prt hold the intro back
// from this caller.
bool intro_held_back(void);

// send_text_file - append the best text of a kind; nothing when none
// exists. language (null: none) names the sub-directory of the caller's
// language, for every kind but the station text.
void send_text_file(int kind, const char *language, char *reply);

// send_information_text - append the CLOSED method's text; false when it is
// missing. language as for send_text_file.
bool send_information_text(const char *language, char *reply);

#endif

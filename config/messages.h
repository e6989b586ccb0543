// messages.h - the built-in texts of the message table and the language file that replaces them.
#ifndef FILTER_MESSAGES_H
#define FILTER_MESSAGES_H

#include "common/records.h"

// restore_default_messages - put the 30 built-in English texts back.
void restore_default_messages(void);

// load_language_file - replace entries 1 to 29 from a file of the filter
// directory; "**..." means none. Error 6 when it has not exactly 29 texts.
void load_language_file(const char *name);

#endif

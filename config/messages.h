// messages.h - the table of the filter's 30 texts and the language file that replaces them.
#ifndef FILTER_MESSAGES_H
#define FILTER_MESSAGES_H

enum { MESSAGE_COUNT = 30, MESSAGE_SIZE = 81, LANGUAGE_TEXTS = 29 };

typedef char MessageTable[MESSAGE_COUNT][MESSAGE_SIZE];
extern MessageTable message_table;

// Entries by their use; the numbers are fixed by the language file's order.
enum {
    MSG_LANGUAGE_LINES = 0, MSG_FILE = 1, MSG_NOT_FOUND = 2, MSG_NO_MAIL_FILE = 3,
    MSG_CHECK_CONFIG = 4, MSG_CONFIG_FILE = 5, MSG_TABLE_FILE = 6, MSG_BAD_LINE = 7,
    MSG_NO_TEMP_FILE = 8, MSG_OPTION_ON = 9, MSG_NO_MEMORY = 10, MSG_UNKNOWN_ERROR = 11,
    MSG_PORT = 12, MSG_CONNECTED_CALLSIGN = 13, MSG_ERROR_DETECTED = 14,
    MSG_EXCLUSION_LOG = 15, MSG_PASSWORD_LOG = 16, MSG_LOG_FILE = 17, MSG_NEW_USER = 18,
    MSG_CALLSIGN = 19, MSG_FIRST_TIME = 20, MSG_TIME = 21, MSG_DATE = 22,
    MSG_MISTAKEN = 23, MSG_NOT_MD = 24, MSG_MD_ONLY = 25, MSG_DENIED = 26,
    MSG_RESTRICTED = 27, MSG_WELCOME = 28, MSG_CONNECTIONS_LOG = 29
};

// msg - the text of an entry.
const char *msg(int entry);

// restore_default_messages - put the 30 built-in English texts back.
void restore_default_messages(void);

// load_language_file - replace entries 1 to 29 from a file of the filter
// directory; "**..." means none. Error 6 when it has not exactly 29 texts.
void load_language_file(char *reply, const char *name);

#endif

// letter_values.h - option words made of letters, each letter worth a value,
// and the letters of a log mode, which config.prt and logusr.prt share.
#ifndef FILTER_LETTER_VALUES_H
#define FILTER_LETTER_VALUES_H

#include <cstdint>

struct LetterValue {
    char letter;
    uint16_t value;
};

// Log mode flags: console connections, then one file per day, week or month.
enum { LOG_CONSOLE = 1, LOG_DAILY = 2, LOG_WEEKLY = 4, LOG_MONTHLY = 8 };

// The letters C, D, W and M of a log mode; ends with a zero letter.
extern const LetterValue log_mode_letters[];

// letters_value - the sum of the values of the letters of text found in the
// table (ended by a zero letter); a letter written twice counts twice, and
// other characters add nothing.
uint16_t letters_value(const char *text, const LetterValue *table);

#endif

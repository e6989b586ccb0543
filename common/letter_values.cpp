// letter_values.cpp - adding up the letters of an option word.
#include "common/letter_values.h"

const LetterValue log_mode_letters[] = {{'C', LOG_CONSOLE}, {'D', LOG_DAILY}, {'W', LOG_WEEKLY},
                                        {'M', LOG_MONTHLY}, {0, 0}};

// letters_value - the values are added, not combined: "DD" is worth what "W"
// is, in config.prt and in logusr.prt alike.
uint16_t letters_value(const char *text, const LetterValue *table)
{
    uint16_t word = 0;
    for (; *text; text++)
        for (const LetterValue *l = table; l->letter; l++)
            if (*text == l->letter)
                word = (uint16_t)(word + l->value);
    return word;
}

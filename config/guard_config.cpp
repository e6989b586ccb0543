// guard_config.cpp - guard.prt, read at every need like config.prt.
//
// Comment lines as in config.prt. "FAILURES n MINUTES m" turns the guard on;
// "EXPIRE m" sets the lifetime of a challenge; "EXPOSURE n" asks for mail when
// a password's chance of being answered by a listener reaches 1 in n. A wrong line leaves the guard
// off and the default lifetime, and its number goes back to the caller, who
// reports it: the guard is an addition that a faulty file must not turn into
// an admission.
#include "config/guard_config.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/records.h"
#include "common/text_copy.h"
#include "config/filter_config.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Limits of the numbers: a count a sysop could mean, and a day of minutes.
// EXPOSURE goes to a million: past that the figure only says "far".
enum { FAILURES_MAX = 99, MINUTES_MAX = 1440, GUARD_WORDS_MAX = 5, GUARD_WORD = 16 };
static const long EXPOSURE_MAX = 1000000;

// number_in_range - a word that is all decimal digits and from 1 to max.
static bool number_in_range(const char *word, long max, long *out)
{
    char *end;
    long n = strtol(word, &end, 10);
    if (!word[0] || *end != '\0' || word[0] < '0' || word[0] > '9' || n < 1 || n > max)
        return false;
    *out = n;
    return true;
}

// small_number - a count or minutes word from 1 to max into *out.
static bool small_number(const char *word, long max, uint16_t *out)
{
    long n;
    if (!number_in_range(word, max, &n))
        return false;
    *out = (uint16_t)n;
    return true;
}

// split_words - the blank-separated words of line, each cut to GUARD_WORD - 1
// characters; their count, GUARD_WORDS_MAX when there are more.
static int split_words(const char *line, char words[GUARD_WORDS_MAX][GUARD_WORD])
{
    char extra[GUARD_WORD];
    int n = sscanf(line, "%15s %15s %15s %15s %15s", words[0], words[1], words[2], words[3], extra);
    return n < 0 ? 0 : n;
}

GuardLineResult parse_guard_line(char *line)
{
    char words[GUARD_WORDS_MAX][GUARD_WORD];
    int count = split_words(upper_case(line), words);
    GuardConfig g = guard_config;
    long exposure = 0;
    bool ok = false;
    if (count == 4 && strcmp(words[0], "FAILURES") == 0 && strcmp(words[2], "MINUTES") == 0)
        ok = small_number(words[1], FAILURES_MAX, &g.failures) && small_number(words[3], MINUTES_MAX, &g.minutes);
    else if (count == 2 && strcmp(words[0], "EXPIRE") == 0)
        ok = small_number(words[1], MINUTES_MAX, &g.expire_minutes);
    else if (count == 2 && strcmp(words[0], "EXPOSURE") == 0) {
        ok = number_in_range(words[1], EXPOSURE_MAX, &exposure);
        g.exposure_one_in = (uint32_t)exposure;
    }
    if (!ok)
        return GUARD_LINE_BAD;
    g.guard_on = g.guard_on || strcmp(words[0], "FAILURES") == 0;
    guard_config = g;
    return GUARD_LINE_OK;
}

int load_guard_config(void)
{
    char path[FILTER_PATH_MAX], line[GUARD_LINE_SIZE];
    guard_config_reset();
    config_file_path("guard.prt", path, sizeof path);
    PlatText f;
    if (!plat_open_text(path, &f))
        return 0;
    int physical = 0, bad = 0;
    while (!bad && read_significant_line(&f, line, sizeof line, &physical))
        if (parse_guard_line(line) == GUARD_LINE_BAD)
            bad = physical;
    plat_close_text(&f);
    if (bad)
        guard_config_reset();
    return bad ? -bad : 1;
}

long challenge_lifetime_seconds(void)
{
    return 60L * guard_config.expire_minutes;
}

void guard_config_reset(void)
{
    memset(&guard_config, 0, sizeof guard_config);
    guard_config.expire_minutes = CHALLENGE_LIFETIME_MINUTES;
}

// messages.cpp - the built-in texts and the language file that replaces entries 1 to 29.
//
// A language file is all or nothing: on any count error the built-in texts are
// put back, so one call never mixes a partial translation with English.
#include "config/messages.h"
#include "common/error_hook.h"
#include "common/filter_dir.h"
#include "common/line_reader.h"
#include "common/text_copy.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>

static const char *const default_messages[MESSAGE_COUNT] = {
    "Incorrect number of lines in language file",
    "File",
    "not found",
    "Unable to open mail file",
    "Check configuration in",
    "Configuration file",
    "File with table password for",
    "Incorrect data in line",
    "Unable to open temporal user file",
    "Option activated in",
    "Insufficient memory",
    "Not identified",
    "Port",
    "Connected callsign",
    "ERROR detected!",
    "Log of not autorized connection attemps",
    "Log of failed password attemps",
    "Log file",
    "NEW USER",
    "Callsign",
    "connected to the system at first time",
    "time",
    "date",
    "*** MISTAKEN IDENTITY -",
    "*** Answer not in MD format -",
    "*** MD is the only allowed format in answer",
    "DENIED ACCESS!",
    "Restrictions applied.",
    "Welcome!",
    "Connections log",
};

void restore_default_messages(void)
{
    for (int i = 0; i < MESSAGE_COUNT; i++)
        copy_text(message_table[i], MESSAGE_SIZE, default_messages[i]);
}

// language_text - the line up to its line feed, leading spaces kept.
static void language_text(const char *line, char *out)
{
    size_t n = strcspn(line, "\n");
    if (n >= MESSAGE_SIZE)
        n = MESSAGE_SIZE - 1;
    memcpy(out, line, n);
    out[n] = '\0';
}

void load_language_file(const char *name)
{
    char path[FILTER_PATH_MAX];
    char line[TEXT_PIECE];
    if (starts_with(name, "**")) {
        restore_default_messages();
        return;
    }
    snprintf(path, sizeof path, "%s\\%s", FILTER_DIR, name);
    PlatText f;
    if (!plat_open_text(path, &f))
        return;
    int n = 1;
    while (read_significant_line(&f, line, sizeof line, nullptr)) {
        if (line[0] == '-')
            break;
        if (n > LANGUAGE_TEXTS) {
            plat_close_text(&f);
            restore_default_messages();
            raise_error(ERR_LANGUAGE_LINES, LANGUAGE_TEXTS + 1);
            return;
        }
        language_text(line, message_table[n]);
        n++;
    }
    plat_close_text(&f);
    if (n - 1 != LANGUAGE_TEXTS) {
        restore_default_messages();
        raise_error(ERR_LANGUAGE_LINES, (uint16_t)(n - 1));
        return;
    }
    resolve_error(ERR_LANGUAGE_LINES);
}

// filter_dir.cpp - choosing and opening a file of the filter directory.
#include "common/filter_dir.h"
#include "common/trace.h"

#include <cstdio>

// language_path - the name's path in the language sub-directory when that file exists.
static bool language_path(const char *name, const char *language, char *path)
{
    if (!language)
        return false;
    int n = snprintf(path, FILTER_PATH_MAX, "%s\\%s\\%s", FILTER_DIR, language, name);
    return n > 0 && n < FILTER_PATH_MAX && plat_exists(path);
}

bool open_filter_file(const char *name, const char *language, bool traced, PlatText *text)
{
    char path[FILTER_PATH_MAX];
    if (!language_path(name, language, path)) {
        int n = snprintf(path, FILTER_PATH_MAX, "%s\\%s", FILTER_DIR, name);
        if (n < 0 || n >= FILTER_PATH_MAX)
            return false;
    }
    bool opened = plat_open_text(path, text);
    if (traced)
        trace(TRACE_TEXT, 0, opened, path);
    return opened;
}

bool open_specific_else_general(const char *specific, const char *general, const char *language, bool traced,
                                PlatText *text)
{
    return open_filter_file(specific, language, traced, text) || open_filter_file(general, language, traced, text);
}

// errors.cpp - numbered error reports.
#include "report/errors.h"
#include "common/filter_dir.h"
#include "filter/connection.h"

#include <cstdio>

// Placeholder until errors are recorded and mailed: the verdict of each code.
void report_error(uint16_t code, uint16_t, char *)
{
    verdict = (code == 9 || code == 10 || code == 11) ? 2 : 0;
}
void error_text(uint16_t, uint16_t, char *out, size_t size) { if (size) out[0] = '\0'; }
char *error_marker_path(char *buffer, uint16_t code)
{
    snprintf(buffer, FILTER_PATH_MAX, "%s\\ERROR%d.TMP", FILTER_DIR, code);
    return buffer;
}
void clear_error_marker(uint16_t) {}

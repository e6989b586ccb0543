// line_reader.cpp - skipping comment lines while counting every line.
#include "config/line_reader.h"
#include "config/host_files.h"
#include "platform/platform.h"

bool read_significant_line(FILE *in, char *line, int size, int *physical)
{
    while (plat_read_line(line, size, in)) {
        if (physical)
            (*physical)++;
        if (!is_comment_line(line))
            return true;
    }
    return false;
}

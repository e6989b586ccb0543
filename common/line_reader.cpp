// line_reader.cpp - skipping comment lines while counting every line.
#include "common/line_reader.h"

bool is_comment_line(const char *line)
{
    return starts_comment(line[0]);
}

bool read_significant_line(PlatText *in, char *line, int size, int *physical)
{
    PlatPiece piece;
    if (!next_significant_piece(in, size, &piece, physical))
        return false;
    plat_copy_piece(&piece, line);
    return true;
}

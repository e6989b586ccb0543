// line_reader.cpp - skipping comment lines while counting every line.
#include "common/line_reader.h"

// starts_comment - the first character of a line that makes it a comment line.
static bool starts_comment(char first)
{
    return first == '#' || first == '\n' || first == '\0';
}

bool is_comment_line(const char *line)
{
    return starts_comment(line[0]);
}

// piece_is_comment - is_comment_line of the line a piece stands for.
static bool piece_is_comment(const PlatPiece *piece)
{
    char first = piece->length ? piece->text[0] : piece->line_end ? '\n' : '\0';
    return starts_comment(first);
}

bool next_significant_piece(PlatText *in, int size, PlatPiece *piece, int *physical)
{
    while (plat_next_piece(in, size, piece)) {
        if (physical)
            (*physical)++;
        if (!piece_is_comment(piece))
            return true;
    }
    return false;
}

bool read_significant_line(PlatText *in, char *line, int size, int *physical)
{
    PlatPiece piece;
    if (!next_significant_piece(in, size, &piece, physical))
        return false;
    plat_copy_piece(&piece, line);
    return true;
}

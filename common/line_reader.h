// line_reader.h - the lines of the text files the filter reads, and comment lines.
//
// A line longer than the buffer is read in pieces, each piece a line of its
// own, so no reader ever needs more than its fixed buffer. The line ends of
// either system read alike (see plat_open_text).
#ifndef FILTER_LINE_READER_H
#define FILTER_LINE_READER_H

#include "platform/platform.h"

// is_comment_line - true for a line starting with "#" or a line feed, or empty.
bool is_comment_line(const char *line);

// read_significant_line - the next line that is not a comment line; false at
// the end of the file. physical (may be null) counts every line read, comments too.
bool read_significant_line(PlatText *in, char *line, int size, int *physical);

// starts_comment - the first character of a line that makes it a comment line.
inline bool starts_comment(char first)
{
    return first == '#' || first == '\n' || first == '\0';
}

// next_significant_piece - read_significant_line without the copy: the line
// seen in place, until the next read of any text (plat_copy_piece copies it).
// Inline, like plat_next_piece, for the scan of a large users.prt.
inline bool next_significant_piece(PlatText *in, int size, PlatPiece *piece, int *physical)
{
    while (plat_next_piece(in, size, piece)) {
        if (physical)
            (*physical)++;
        char first = piece->length ? piece->text[0] : piece->line_end ? '\n' : '\0';
        if (!starts_comment(first))
            return true;
    }
    return false;
}

#endif

// line_reader.h - the significant lines of the line-oriented files the filter reads.
//
// A line longer than the buffer is read in pieces, each piece a line of its
// own, so no reader ever needs more than its fixed buffer.
#ifndef FILTER_LINE_READER_H
#define FILTER_LINE_READER_H

#include <cstdio>

// read_significant_line - the next line that is not a comment line; false at
// the end of the file. physical (may be null) counts every line read, comments too.
bool read_significant_line(FILE *in, char *line, int size, int *physical);

#endif

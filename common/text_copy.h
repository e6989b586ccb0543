// text_copy.h - copying text files into the reply or a mail, and bounded string copies.
#ifndef FILTER_TEXT_COPY_H
#define FILTER_TEXT_COPY_H

#include "platform/platform.h"

#include <cstddef>
#include <cstdio>

// Texts are read in pieces of at most 79 characters, so long lines pass whole.
enum { TEXT_PIECE = 80 };

// copy_file_to_reply - append a "\n" and the whole of an open text file.
void copy_file_to_reply(PlatText *in, char *reply);

// copy_file_to_stream - copy the rest of an open text file into a stream;
// false when a read or a write failed.
bool copy_file_to_stream(PlatText *in, FILE *out);

// copy_text - bounded copy that always NUL-terminates; false when cut.
bool copy_text(char *dst, size_t size, const char *src);

// upper_case - convert ASCII letters to upper case, in place; returns text.
char *upper_case(char *text);

// starts_with - text begins with prefix.
bool starts_with(const char *text, const char *prefix);

#endif

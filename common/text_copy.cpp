// text_copy.cpp - file-to-reply and file-to-mail copies, and small string helpers.
#include "common/text_copy.h"
#include "common/reply.h"

#include <cstring>

// Both copies go through the text reader, so a text saved with Windows line
// ends reaches the caller and the mail with "\n" alone, as on Windows.
void copy_file_to_reply(PlatText *in, char *reply)
{
    char piece[TEXT_PIECE];
    reply_append(reply, "\n");
    while (plat_read_line(piece, sizeof piece, in))
        reply_append(reply, piece);
}

bool copy_file_to_stream(PlatText *in, FILE *out)
{
    char piece[TEXT_PIECE];
    bool ok = true;
    while (plat_read_line(piece, sizeof piece, in))
        if (fputs(piece, out) < 0)
            ok = false;
    return ok && !plat_text_failed(in);
}

bool copy_text(char *dst, size_t size, const char *src)
{
    if (size == 0)
        return false;
    size_t len = strlen(src);
    bool fits = len < size;
    if (!fits)
        len = size - 1;
    memcpy(dst, src, len);
    dst[len] = '\0';
    return fits;
}

char *upper_case(char *text)
{
    for (char *p = text; *p; p++)
        if (*p >= 'a' && *p <= 'z')
            *p = (char)(*p - 'a' + 'A');
    return text;
}

bool starts_with(const char *text, const char *prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

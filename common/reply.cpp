// reply.cpp - bounded writes into the host's reply buffer.
#include "common/reply.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

static size_t reply_limit = REPLY_CAPACITY;

void reply_set_limit(size_t capacity)
{
    reply_limit = capacity;
}

// reply_length - length of the reply's text, never looking past the limit.
static size_t reply_length(const char *reply)
{
    const void *nul = memchr(reply, '\0', reply_limit);
    return nul ? (size_t)((const char *)nul - reply) : reply_limit - 1;
}

void reply_append(char *reply, const char *text)
{
    if (!reply || !text || reply_limit == 0)
        return;
    size_t len = reply_length(reply);
    size_t room = reply_limit - 1 - len;
    size_t add = strlen(text);
    if (add > room)
        add = room;
    memcpy(reply + len, text, add);
    reply[len + add] = '\0';
}

void reply_appendf(char *reply, const char *format, ...)
{
    char piece[REPLY_CAPACITY];
    va_list ap;
    va_start(ap, format);
    vsnprintf(piece, sizeof piece, format, ap);
    va_end(ap);
    reply_append(reply, piece);
}

void reply_replace(char *reply, const char *text)
{
    if (!reply || reply_limit == 0)
        return;
    reply[0] = '\0';
    reply_append(reply, text);
}

// reply.h - the host's reply buffer, written through one bounded helper.
//
// The host passes no capacity with its reply buffer, so the filter never writes
// more than REPLY_CAPACITY bytes into it, the terminating NUL included; text
// beyond that is dropped and the reply always stays NUL-terminated. A caller
// with a smaller buffer sets its own limit.
#ifndef FILTER_REPLY_H
#define FILTER_REPLY_H

#include <cstddef>

enum { REPLY_CAPACITY = 4096 };

// reply_set_limit - the capacity of the reply buffer of the current call.
void reply_set_limit(size_t capacity);

// reply_append - append text; what does not fit is cut at the limit.
void reply_append(char *reply, const char *text);

// reply_appendf - append printf-style text, bounded as reply_append.
void reply_appendf(char *reply, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// reply_replace - replace the whole content of the reply with text.
void reply_replace(char *reply, const char *text);

#endif

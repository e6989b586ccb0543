// otp_secret.cpp - base32 text and the shared secret of the one-time codes.
//
// Results only; the reader of users.prt reports a secret that does not
// decode, since only it knows the line.
#include "common/otp_secret.h"

#include <cstring>

static const char base32_alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

// base32_value - the 5-bit value of a character of either case, or -1.
static int base32_value(char c)
{
    if (c >= 'a' && c <= 'z')
        c = (char)(c - 'a' + 'A');
    const char *at = c ? strchr(base32_alphabet, c) : nullptr;
    return at ? (int)(at - base32_alphabet) : -1;
}

// only_padding - the rest of a text is "=" characters (or nothing).
static bool only_padding(const char *text)
{
    return text[strspn(text, "=")] == '\0';
}

int base32_decode(const char *text, unsigned char *out, size_t size)
{
    unsigned bits = 0;
    int pending = 0;
    size_t count = 0;
    for (const char *p = text; *p; p++) {
        if (*p == '=') {
            if (!only_padding(p))
                return -1;
            break;
        }
        int value = base32_value(*p);
        if (value < 0)
            return -1;
        bits = (bits << 5) | (unsigned)value;
        pending += 5;
        if (pending >= 8) {
            pending -= 8;
            if (count == size)
                return -1;
            out[count++] = (unsigned char)(bits >> pending);
            bits &= (1u << pending) - 1;
        }
    }
    // The last few bits that make no whole byte are dropped, as every
    // authenticator app drops them.
    return (int)count;
}

bool base32_encode(const unsigned char *bytes, size_t length, char *out, size_t size)
{
    size_t needed = (length * 8 + 4) / 5;
    if (size <= needed)
        return false;
    unsigned bits = 0;
    int pending = 0;
    size_t at = 0;
    for (size_t i = 0; i < length; i++) {
        bits = (bits << 8) | bytes[i];
        pending += 8;
        while (pending >= 5) {
            pending -= 5;
            out[at++] = base32_alphabet[(bits >> pending) & 31];
        }
        bits &= (1u << pending) - 1;
    }
    if (pending > 0)
        out[at++] = base32_alphabet[(bits << (5 - pending)) & 31];
    out[at] = '\0';
    return true;
}

int otp_secret_decode(const char *text, unsigned char out[OTP_SECRET_MAX])
{
    int length = base32_decode(text, out, OTP_SECRET_MAX);
    return length >= OTP_SECRET_MIN ? length : -1;
}

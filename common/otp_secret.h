// otp_secret.h - the shared secret of the one-time-code methods, as users.prt
// holds it: base32 (RFC 4648), the form authenticator apps take.
#ifndef FILTER_OTP_SECRET_H
#define FILTER_OTP_SECRET_H

#include "common/records.h"

#include <cstddef>

// A secret below 128 bits could be found by trying; the longest fits a
// password field (300 base32 characters carry 187 bytes).
enum { OTP_SECRET_MIN = 16, OTP_SECRET_MAX = PASSWORD_MAX * 5 / 8 };

// OTP_SECRET_TEXT - room for the base32 text of the longest secret and a NUL.
enum { OTP_SECRET_TEXT = (OTP_SECRET_MAX * 8 + 4) / 5 + 1 };

// base32_decode - the bytes of a base32 text into out (size bytes); their
// count, or -1 when the text holds a character outside the alphabet, an "="
// before the end, or more than size bytes. Case and trailing "=" are ignored.
int base32_decode(const char *text, unsigned char *out, size_t size);

// base32_encode - upper-case base32 text of length bytes, without padding,
// into out (size bytes); false when it does not fit.
bool base32_encode(const unsigned char *bytes, size_t length, char *out, size_t size);

// otp_secret_decode - the secret of a password field into out
// (OTP_SECRET_MAX bytes); its length, or -1 when it is not base32 or shorter
// than OTP_SECRET_MIN bytes.
int otp_secret_decode(const char *text, unsigned char out[OTP_SECRET_MAX]);

#endif

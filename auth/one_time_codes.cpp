// one_time_codes.cpp - the codes of the one-time-code methods.
//
// The HMAC and its counter input hold what the shared secret gives, and are
// wiped before returning.
#include "auth/one_time_codes.h"
#include "auth/sha1.h"
#include "common/wipe.h"

#include <cstdio>

static const uint32_t powers_of_ten[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000,
                                         1000000000};

uint32_t hotp_value(const unsigned char *key, size_t key_length, uint64_t counter, int digits)
{
    unsigned char message[8];
    unsigned char mac[SHA1_SIZE];
    for (int i = 0; i < 8; i++)
        message[i] = (unsigned char)(counter >> (56 - 8 * i));
    hmac_sha1(key, key_length, message, sizeof message, mac);
    // Dynamic truncation: the low four bits of the last byte choose where
    // four bytes are taken; the top bit is dropped so that signed and
    // unsigned readings of the result agree.
    int offset = mac[SHA1_SIZE - 1] & 0x0f;
    uint32_t binary = ((uint32_t)(mac[offset] & 0x7f) << 24) | ((uint32_t)mac[offset + 1] << 16) |
                      ((uint32_t)mac[offset + 2] << 8) | (uint32_t)mac[offset + 3];
    wipe(message, sizeof message);
    wipe(mac, sizeof mac);
    if (digits < 1 || digits > 9)
        digits = OTP_DIGITS;
    return binary % powers_of_ten[digits];
}

void otp_code_text(const unsigned char *key, size_t key_length, uint64_t counter, char text[OTP_CODE_TEXT])
{
    uint32_t value = hotp_value(key, key_length, counter, OTP_DIGITS);
    snprintf(text, OTP_CODE_TEXT, "%0*u", OTP_DIGITS, (unsigned)value);
}

uint64_t totp_step(time_t seconds)
{
    return seconds > 0 ? (uint64_t)seconds / TOTP_STEP_SECONDS : 0;
}

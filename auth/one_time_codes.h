// one_time_codes.h - HOTP (RFC 4226) and TOTP (RFC 6238) codes over HMAC-SHA-1.
#ifndef FILTER_ONE_TIME_CODES_H
#define FILTER_ONE_TIME_CODES_H

#include <cstddef>
#include <cstdint>
#include <ctime>

// Six digits, 30-second steps, as every authenticator app makes them.
enum { OTP_DIGITS = 6, OTP_CODE_TEXT = OTP_DIGITS + 1, TOTP_STEP_SECONDS = 30 };

// hotp_value - the code of counter under key: HMAC-SHA-1 of the counter as
// eight big-endian bytes, dynamically truncated to 31 bits, modulo 10^digits
// (digits 1 to 9).
uint32_t hotp_value(const unsigned char *key, size_t key_length, uint64_t counter, int digits);

// otp_code_text - the six-digit code of counter under key, with leading zeros.
void otp_code_text(const unsigned char *key, size_t key_length, uint64_t counter, char text[OTP_CODE_TEXT]);

// totp_step - the number of the 30-second step that holds a calendar time
// (seconds since 1970, UTC); 0 for a time before 1970.
uint64_t totp_step(time_t seconds);

#endif

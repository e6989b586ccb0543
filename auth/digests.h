// digests.h - MD2 (RFC 1319), MD5 (RFC 1321) and their hexadecimal text.
#ifndef FILTER_DIGESTS_H
#define FILTER_DIGESTS_H

#include <cstddef>

enum { DIGEST_SIZE = 16, DIGEST_TEXT = 33 };

// A digest answer digests the challenge's ten digits followed by the password.
enum { DIGEST_DIGITS = 10 };
enum { DIGEST_MD2 = 2, DIGEST_MD5 = 5 };

void md2_digest(const unsigned char *input, size_t length, unsigned char out[DIGEST_SIZE]);
void md5_digest(const unsigned char *input, size_t length, unsigned char out[DIGEST_SIZE]);

// digest_hex - 32 lower-case hexadecimal characters and a NUL.
void digest_hex(const unsigned char digest[DIGEST_SIZE], char out[DIGEST_TEXT]);

// digest_answer - the digest text (DIGEST_MD2 or DIGEST_MD5) of the first
// DIGEST_DIGITS characters of digits followed by the password; every copy of
// the password is wiped before it returns.
void digest_answer(const char *digits, const char *password, int algorithm, char text[DIGEST_TEXT]);

#endif

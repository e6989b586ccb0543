// digests.h - MD2 (RFC 1319), MD5 (RFC 1321) and their hexadecimal text.
#ifndef FILTER_DIGESTS_H
#define FILTER_DIGESTS_H

#include <cstddef>

enum { DIGEST_SIZE = 16, DIGEST_TEXT = 33 };

void md2_digest(const unsigned char *input, size_t length, unsigned char out[DIGEST_SIZE]);
void md5_digest(const unsigned char *input, size_t length, unsigned char out[DIGEST_SIZE]);

// digest_hex - 32 lower-case hexadecimal characters and a NUL.
void digest_hex(const unsigned char digest[DIGEST_SIZE], char out[DIGEST_TEXT]);

#endif

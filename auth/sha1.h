// sha1.h - SHA-1 (FIPS 180, RFC 3174) and HMAC-SHA-1 (RFC 2104), for the
// one-time codes.
#ifndef FILTER_SHA1_H
#define FILTER_SHA1_H

#include <cstddef>

enum { SHA1_SIZE = 20, SHA1_BLOCK = 64 };

// sha1_digest - the 20-byte SHA-1 digest of input[0..length).
void sha1_digest(const unsigned char *input, size_t length, unsigned char out[SHA1_SIZE]);

// hmac_sha1 - the 20-byte HMAC-SHA-1 of message under key (any length).
void hmac_sha1(const unsigned char *key, size_t key_length, const unsigned char *message, size_t message_length,
               unsigned char out[SHA1_SIZE]);

#endif

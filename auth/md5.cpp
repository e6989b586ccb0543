// md5.cpp - the MD5 message digest (RFC 1321) and the hexadecimal text of a digest.
#include "auth/digests.h"

#include <cstring>

// Placeholder until the digest is written.
void md5_digest(const unsigned char *, size_t, unsigned char out[DIGEST_SIZE]) { memset(out, 0, DIGEST_SIZE); }
void digest_hex(const unsigned char[DIGEST_SIZE], char out[DIGEST_TEXT]) { out[0] = '\0'; }

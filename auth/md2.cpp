// md2.cpp - the MD2 message digest (RFC 1319).
#include "auth/digests.h"

#include <cstring>

// Placeholder until the digest is written.
void md2_digest(const unsigned char *, size_t, unsigned char out[DIGEST_SIZE]) { memset(out, 0, DIGEST_SIZE); }

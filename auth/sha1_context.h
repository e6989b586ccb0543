// sha1_context.h - SHA-1 in steps, for HMAC, which digests a padded key
// and a message without joining them in one buffer.
#ifndef FILTER_SHA1_CONTEXT_H
#define FILTER_SHA1_CONTEXT_H

#include "auth/sha1.h"

#include <cstddef>
#include <cstdint>

struct Sha1Context {
    uint32_t h[5];
    uint64_t bit_count;
    unsigned char buffer[SHA1_BLOCK];
    size_t buffered;
    uint32_t words[16];
};

// sha1_start - the initial hash value.
void sha1_start(Sha1Context *ctx);
// sha1_update - feed bytes; whole blocks are processed, the rest is kept.
void sha1_update(Sha1Context *ctx, const unsigned char *input, size_t length);
// sha1_finish - the digest of everything fed; the context is wiped.
void sha1_finish(Sha1Context *ctx, unsigned char out[SHA1_SIZE]);

#endif

// hmac_sha1.cpp - HMAC (RFC 2104) over SHA-1: H(K ^ opad, H(K ^ ipad, message)).
//
// The key is a shared secret: the padded key blocks and the inner digest are
// wiped before returning.
#include "auth/sha1.h"
#include "auth/sha1_context.h"
#include "common/wipe.h"

#include <cstring>

// padded_key - the key, or its digest when longer than a block, XORed with
// pad and filled up to a block with pad itself.
static void padded_key(const unsigned char *key, size_t key_length, unsigned char pad,
                       unsigned char block[SHA1_BLOCK])
{
    unsigned char digest[SHA1_SIZE];
    if (key_length > SHA1_BLOCK) {
        sha1_digest(key, key_length, digest);
        key = digest;
        key_length = SHA1_SIZE;
    }
    for (size_t i = 0; i < SHA1_BLOCK; i++)
        block[i] = (unsigned char)((i < key_length ? key[i] : 0) ^ pad);
    wipe(digest, sizeof digest);
}

void hmac_sha1(const unsigned char *key, size_t key_length, const unsigned char *message, size_t message_length,
               unsigned char out[SHA1_SIZE])
{
    unsigned char block[SHA1_BLOCK];
    unsigned char inner[SHA1_SIZE];
    Sha1Context ctx;
    padded_key(key, key_length, 0x36, block);
    sha1_start(&ctx);
    sha1_update(&ctx, block, sizeof block);
    sha1_update(&ctx, message, message_length);
    sha1_finish(&ctx, inner);
    padded_key(key, key_length, 0x5c, block);
    sha1_start(&ctx);
    sha1_update(&ctx, block, sizeof block);
    sha1_update(&ctx, inner, sizeof inner);
    sha1_finish(&ctx, out);
    wipe(block, sizeof block);
    wipe(inner, sizeof inner);
}

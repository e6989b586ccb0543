// md2.cpp - the MD2 message digest (RFC 1319).
//
// One fixed context on the stack, no heap; the digest of one input is taken
// in a single pass (start, one update, finish) and the context is cleared
// before returning, since its input holds a password.
#include "auth/digests.h"
#include "auth/digest_blocks.h"

#include "common/wipe.h"

#include <cstdint>
#include <cstring>

enum { MD2_BLOCK = 16, MD2_STATE = 48, MD2_ROUNDS = 18 };

// The state bytes are kept one to a word: the 864 steps of a block are one
// chain of dependent table look-ups, and a word that is already a table index
// saves the widening of every byte on that chain.
struct Md2Context {
    uint32_t state[MD2_STATE];       // X: 16 bytes of digest, the block, their sum
    unsigned char checksum[MD2_BLOCK];
    unsigned char last;              // L of the checksum, carried across blocks
    unsigned char buffer[MD2_BLOCK];
    size_t buffered;
};

// The permutation of 0..255 built from the digits of pi (RFC 1319, PI_SUBST),
// in words for the same reason as the state.
static const uint32_t pi_subst[256] = {
     41,  46,  67, 201, 162, 216, 124,   1,  61,  54,  84, 161, 236, 240,   6,  19,
     98, 167,   5, 243, 192, 199, 115, 140, 152, 147,  43, 217, 188,  76, 130, 202,
     30, 155,  87,  60, 253, 212, 224,  22, 103,  66, 111,  24, 138,  23, 229,  18,
    190,  78, 196, 214, 218, 158, 222,  73, 160, 251, 245, 142, 187,  47, 238, 122,
    169, 104, 121, 145,  21, 178,   7,  63, 148, 194,  16, 137,  11,  34,  95,  33,
    128, 127,  93, 154,  90, 144,  50,  39,  53,  62, 204, 231, 191, 247, 151,   3,
    255,  25,  48, 179,  72, 165, 181, 209, 215,  94, 146,  42, 172,  86, 170, 198,
     79, 184,  56, 210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116,   4, 241,
     69, 157, 112,  89, 100, 113, 135,  32, 134,  91, 207, 101, 230,  45, 168,   2,
     27,  96,  37, 173, 174, 176, 185, 246,  28,  70,  97, 105,  52,  64, 126,  15,
     85,  71, 163,  35, 221,  81, 175,  58, 195,  92, 249, 206, 186, 197, 234,  38,
     44,  83,  13, 110, 133,  40, 132,   9, 211, 223, 205, 244,  65, 129,  77,  82,
    106, 220,  55, 200, 108, 193, 171, 250,  36, 225, 123,   8,  12, 189, 177,  74,
    120, 136, 149, 139, 227,  99, 232, 109, 233, 203, 213, 254,  59,   0,  29,  57,
    242, 239, 183,  14, 102,  88, 208, 228, 166, 119, 114, 248, 235, 117,  75,  10,
     49,  68,  80, 180, 143, 237,  31,  26, 219, 153, 141,  51, 159,  17, 131,  20
};

// md2_checksum_block - fold one block into the running checksum.
//
// The RFC's prose (3.2) says "Set C[j] to S[c xor L]", which replaces the
// checksum byte; its reference code, and the published test suite, XOR the
// substituted byte into it: L = C[j] ^= S[M[i*16+j] ^ L]. The code is right.
static void md2_checksum_block(Md2Context *ctx, const unsigned char *block)
{
    uint32_t last = ctx->last;
    for (int j = 0; j < MD2_BLOCK; j++) {
        last = ctx->checksum[j] ^ pi_subst[block[j] ^ last];
        ctx->checksum[j] = (unsigned char)last;
    }
    ctx->last = (unsigned char)last;
}

// md2_transform - 18 rounds over the 48-byte state for one block. Each step
// waits for the one before it (load, then XOR), which bounds the speed; the
// loop keeps nothing else on that path.
static void md2_transform(Md2Context *ctx, const unsigned char *block)
{
    uint32_t *x = ctx->state;
    for (int j = 0; j < MD2_BLOCK; j++) {
        x[16 + j] = block[j];
        x[32 + j] = block[j] ^ x[j];
    }
    uint32_t t = 0;
    for (uint32_t round = 0; round < MD2_ROUNDS; round++) {
        for (int k = 0; k < MD2_STATE; k++) {
            t = x[k] ^ pi_subst[t];
            x[k] = t;
        }
        t = (t + round) & 0xff;
    }
}

// md2_block - one 16-byte block of the padded message, checksum included.
static void md2_block(Md2Context *ctx, const unsigned char *block)
{
    md2_checksum_block(ctx, block);
    md2_transform(ctx, block);
}

// md2_update - feed bytes: whole blocks straight from the input, the rest is
// kept (the digest is taken in one update, so nothing is buffered before).
static void md2_update(Md2Context *ctx, const unsigned char *input, size_t length)
{
    feed_blocks<MD2_BLOCK>(ctx, input, length, md2_block);
}

// md2_finish - pad with n bytes of value n (1..16), then the checksum block.
static void md2_finish(Md2Context *ctx, unsigned char out[DIGEST_SIZE])
{
    unsigned char pad = (unsigned char)(MD2_BLOCK - ctx->buffered);
    memset(ctx->buffer + ctx->buffered, pad, pad);
    md2_block(ctx, ctx->buffer);
    unsigned char checksum[MD2_BLOCK];
    memcpy(checksum, ctx->checksum, sizeof checksum);
    md2_transform(ctx, checksum);
    for (int j = 0; j < DIGEST_SIZE; j++)
        out[j] = (unsigned char)ctx->state[j];
    wipe(checksum, sizeof checksum);
}

// md2_digest - the 16-byte MD2 digest of input[0..length).
void md2_digest(const unsigned char *input, size_t length, unsigned char out[DIGEST_SIZE])
{
    Md2Context ctx;
    memset(&ctx, 0, sizeof ctx);
    md2_update(&ctx, input, length);
    md2_finish(&ctx, out);
    wipe(&ctx, sizeof ctx);
}

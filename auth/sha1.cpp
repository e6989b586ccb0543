// sha1.cpp - the SHA-1 message digest (FIPS 180, RFC 3174).
//
// One fixed context on the stack, no heap, and no assumption about the
// machine's byte order: words are read and written big-endian byte by byte,
// as the standard defines them. The context is cleared before returning,
// since its input holds a shared secret.
#include "auth/sha1.h"
#include "auth/sha1_context.h"
#include "auth/digest_blocks.h"
#include "common/wipe.h"

#include <cstdint>
#include <cstring>

enum { SHA1_LENGTH_AT = 56 };

static uint32_t load_be32(const unsigned char *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}

static void store_be32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)(v >> 24);
    p[1] = (unsigned char)(v >> 16);
    p[2] = (unsigned char)(v >> 8);
    p[3] = (unsigned char)v;
}

static uint32_t rotate_left(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

// sha1_round_value - f(t; B, C, D) + K(t) of the standard's four rounds.
static uint32_t sha1_round_value(int t, uint32_t b, uint32_t c, uint32_t d)
{
    if (t < 20)
        return ((b & c) | (~b & d)) + 0x5a827999;
    if (t < 40)
        return (b ^ c ^ d) + 0x6ed9eba1;
    if (t < 60)
        return ((b & c) | (b & d) | (c & d)) + 0x8f1bbcdc;
    return (b ^ c ^ d) + 0xca62c1d6;
}

// sha1_transform - the 80 steps of one block. The message schedule is kept
// as a ring of 16 words (RFC 3174 method 2), which lives in the context and
// is wiped with it.
static void sha1_transform(Sha1Context *ctx, const unsigned char *block)
{
    uint32_t *w = ctx->words;
    for (int i = 0; i < 16; i++)
        w[i] = load_be32(block + 4 * i);
    uint32_t a = ctx->h[0], b = ctx->h[1], c = ctx->h[2], d = ctx->h[3], e = ctx->h[4];
    for (int t = 0; t < 80; t++) {
        if (t >= 16)
            w[t & 15] = rotate_left(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
        uint32_t temp = rotate_left(a, 5) + sha1_round_value(t, b, c, d) + e + w[t & 15];
        e = d;
        d = c;
        c = rotate_left(b, 30);
        b = a;
        a = temp;
    }
    ctx->h[0] += a;
    ctx->h[1] += b;
    ctx->h[2] += c;
    ctx->h[3] += d;
    ctx->h[4] += e;
}

void sha1_start(Sha1Context *ctx)
{
    memset(ctx, 0, sizeof *ctx);
    ctx->h[0] = 0x67452301;
    ctx->h[1] = 0xefcdab89;
    ctx->h[2] = 0x98badcfe;
    ctx->h[3] = 0x10325476;
    ctx->h[4] = 0xc3d2e1f0;
}

void sha1_update(Sha1Context *ctx, const unsigned char *input, size_t length)
{
    ctx->bit_count += (uint64_t)length << 3;
    feed_blocks<SHA1_BLOCK>(ctx, input, length, sha1_transform);
}

// sha1_finish - a 0x80 byte, zeros up to 56 mod 64 (a second block when the
// first has no room for the length), the 64-bit bit count, big-endian; the
// context is wiped.
void sha1_finish(Sha1Context *ctx, unsigned char out[SHA1_SIZE])
{
    uint64_t bits = ctx->bit_count;
    ctx->buffer[ctx->buffered++] = 0x80;
    if (ctx->buffered > SHA1_LENGTH_AT) {
        memset(ctx->buffer + ctx->buffered, 0, SHA1_BLOCK - ctx->buffered);
        sha1_transform(ctx, ctx->buffer);
        ctx->buffered = 0;
    }
    memset(ctx->buffer + ctx->buffered, 0, SHA1_LENGTH_AT - ctx->buffered);
    for (int i = 0; i < 8; i++)
        ctx->buffer[SHA1_LENGTH_AT + i] = (unsigned char)(bits >> (56 - 8 * i));
    sha1_transform(ctx, ctx->buffer);
    for (int i = 0; i < 5; i++)
        store_be32(out + 4 * i, ctx->h[i]);
    wipe(ctx, sizeof *ctx);
}

void sha1_digest(const unsigned char *input, size_t length, unsigned char out[SHA1_SIZE])
{
    Sha1Context ctx;
    sha1_start(&ctx);
    sha1_update(&ctx, input, length);
    sha1_finish(&ctx, out);
}

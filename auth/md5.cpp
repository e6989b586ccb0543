// md5.cpp - the MD5 message digest (RFC 1321) and the hexadecimal text of a digest.
//
// One fixed context on the stack, no heap, and no assumption about the
// machine's byte order: words are read and written little-endian byte by
// byte, as the RFC defines them. The context is cleared before returning,
// since its input holds a password.
#include "auth/digests.h"
#include "auth/wipe.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

enum { MD5_BLOCK = 64, MD5_LENGTH_AT = 56 };

struct Md5Context {
    uint32_t a, b, c, d;
    uint64_t bit_count;
    unsigned char buffer[MD5_BLOCK];
    size_t buffered;
};

// T[i] = floor(4294967296 * abs(sin(i + 1))), RFC 1321 section 3.4.
static const uint32_t sine_table[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391
};

// Rotation amounts, four per round.
static const unsigned char shifts[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}
};

static uint32_t rotate_left(uint32_t x, unsigned n)
{
    return (x << n) | (x >> (32 - n));
}

static uint32_t load_le32(const unsigned char *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static void store_le32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

// md5_step_mix - the round function F, G, H or I of step i, and the message word it takes.
static uint32_t md5_step_mix(unsigned i, uint32_t b, uint32_t c, uint32_t d, unsigned *word)
{
    switch (i / 16) {
    case 0:
        *word = i;
        return (b & c) | (~b & d);
    case 1:
        *word = (5 * i + 1) % 16;
        return (b & d) | (c & ~d);
    case 2:
        *word = (3 * i + 5) % 16;
        return b ^ c ^ d;
    default:
        *word = (7 * i) % 16;
        return c ^ (b | ~d);
    }
}

// md5_transform - the 64 steps of one block.
static void md5_transform(Md5Context *ctx, const unsigned char *block)
{
    uint32_t x[16];
    for (int i = 0; i < 16; i++)
        x[i] = load_le32(block + 4 * i);
    uint32_t a = ctx->a, b = ctx->b, c = ctx->c, d = ctx->d;
    for (unsigned i = 0; i < 64; i++) {
        unsigned word;
        uint32_t f = md5_step_mix(i, b, c, d, &word);
        uint32_t next = b + rotate_left(a + f + x[word] + sine_table[i], shifts[i / 16][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    ctx->a += a;
    ctx->b += b;
    ctx->c += c;
    ctx->d += d;
    wipe(x, sizeof x);
}

// md5_update - feed bytes; whole blocks are processed, the rest is kept.
static void md5_update(Md5Context *ctx, const unsigned char *input, size_t length)
{
    ctx->bit_count += (uint64_t)length << 3;
    while (length > 0) {
        size_t take = MD5_BLOCK - ctx->buffered;
        if (take > length)
            take = length;
        memcpy(ctx->buffer + ctx->buffered, input, take);
        ctx->buffered += take;
        input += take;
        length -= take;
        if (ctx->buffered == MD5_BLOCK) {
            md5_transform(ctx, ctx->buffer);
            ctx->buffered = 0;
        }
    }
}

// md5_finish - a 0x80 byte, zeros up to 56 mod 64 (a second block when the
// first has no room for the length), the 64-bit bit count, little-endian.
static void md5_finish(Md5Context *ctx, unsigned char out[DIGEST_SIZE])
{
    uint64_t bits = ctx->bit_count;
    ctx->buffer[ctx->buffered++] = 0x80;
    if (ctx->buffered > MD5_LENGTH_AT) {
        memset(ctx->buffer + ctx->buffered, 0, MD5_BLOCK - ctx->buffered);
        md5_transform(ctx, ctx->buffer);
        ctx->buffered = 0;
    }
    memset(ctx->buffer + ctx->buffered, 0, MD5_LENGTH_AT - ctx->buffered);
    for (int i = 0; i < 8; i++)
        ctx->buffer[MD5_LENGTH_AT + i] = (unsigned char)(bits >> (8 * i));
    md5_transform(ctx, ctx->buffer);
    store_le32(out, ctx->a);
    store_le32(out + 4, ctx->b);
    store_le32(out + 8, ctx->c);
    store_le32(out + 12, ctx->d);
}

// md5_digest - the 16-byte MD5 digest of input[0..length).
void md5_digest(const unsigned char *input, size_t length, unsigned char out[DIGEST_SIZE])
{
    Md5Context ctx;
    memset(&ctx, 0, sizeof ctx);
    ctx.a = 0x67452301;
    ctx.b = 0xefcdab89;
    ctx.c = 0x98badcfe;
    ctx.d = 0x10325476;
    md5_update(&ctx, input, length);
    md5_finish(&ctx, out);
    wipe(&ctx, sizeof ctx);
}

// digest_hex - the 16 bytes in order as 32 lower-case hexadecimal digits.
void digest_hex(const unsigned char digest[DIGEST_SIZE], char out[DIGEST_TEXT])
{
    for (int i = 0; i < DIGEST_SIZE; i++)
        snprintf(out + 2 * i, 3, "%02x", digest[i]);
    out[DIGEST_TEXT - 1] = '\0';
}

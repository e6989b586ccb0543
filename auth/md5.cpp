// md5.cpp - the MD5 message digest (RFC 1321) and the hexadecimal text of a digest.
//
// One fixed context on the stack, no heap, and no assumption about the
// machine's byte order: words are read and written little-endian byte by
// byte, as the RFC defines them. The context is cleared before returning,
// since its input holds a password.
#include "auth/digests.h"
#include "auth/digest_blocks.h"
#include "common/wipe.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

enum { MD5_BLOCK = 64, MD5_LENGTH_AT = 56 };

struct Md5Context {
    uint32_t a, b, c, d;
    uint64_t bit_count;
    unsigned char buffer[MD5_BLOCK];
    size_t buffered;
    uint32_t words[16];
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

// The four round functions, in forms equal to the RFC's that need one
// operation less (F selects bits; G is split in MD5_STEP_G).
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

// MD5_STEP_G - the step with G(b, c, d) = (b & d) | (c & ~d): the two halves
// share no bits, so the half without b is added before b is known.
#define MD5_STEP_G(a, b, c, d, x, t, s)                    \
    do {                                                   \
        (a) += (x) + (t) + ((c) & ~(d));                   \
        (a) += (b) & (d);                                  \
        (a) = ((a) << (s)) | ((a) >> (32 - (s)));          \
        (a) += (b);                                        \
    } while (0)

// MD5_STEP - a = b + ((a + f(b, c, d) + x + t) <<< s), the step of the RFC.
#define MD5_STEP(f, a, b, c, d, x, t, s)                   \
    do {                                                   \
        (a) += f((b), (c), (d)) + (x) + (t);               \
        (a) = ((a) << (s)) | ((a) >> (32 - (s)));          \
        (a) += (b);                                        \
    } while (0)

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

// md5_transform - the 64 steps of one block, written out so that every
// rotation and word index is a constant. The words live in the context and
// are wiped with it.
static void md5_transform(Md5Context *ctx, const unsigned char *block)
{
    uint32_t *x = ctx->words;
    for (int i = 0; i < 16; i++)
        x[i] = load_le32(block + 4 * i);
    uint32_t a = ctx->a, b = ctx->b, c = ctx->c, d = ctx->d;
    MD5_STEP(MD5_F, a, b, c, d, x[0], sine_table[0], 7);
    MD5_STEP(MD5_F, d, a, b, c, x[1], sine_table[1], 12);
    MD5_STEP(MD5_F, c, d, a, b, x[2], sine_table[2], 17);
    MD5_STEP(MD5_F, b, c, d, a, x[3], sine_table[3], 22);
    MD5_STEP(MD5_F, a, b, c, d, x[4], sine_table[4], 7);
    MD5_STEP(MD5_F, d, a, b, c, x[5], sine_table[5], 12);
    MD5_STEP(MD5_F, c, d, a, b, x[6], sine_table[6], 17);
    MD5_STEP(MD5_F, b, c, d, a, x[7], sine_table[7], 22);
    MD5_STEP(MD5_F, a, b, c, d, x[8], sine_table[8], 7);
    MD5_STEP(MD5_F, d, a, b, c, x[9], sine_table[9], 12);
    MD5_STEP(MD5_F, c, d, a, b, x[10], sine_table[10], 17);
    MD5_STEP(MD5_F, b, c, d, a, x[11], sine_table[11], 22);
    MD5_STEP(MD5_F, a, b, c, d, x[12], sine_table[12], 7);
    MD5_STEP(MD5_F, d, a, b, c, x[13], sine_table[13], 12);
    MD5_STEP(MD5_F, c, d, a, b, x[14], sine_table[14], 17);
    MD5_STEP(MD5_F, b, c, d, a, x[15], sine_table[15], 22);
    MD5_STEP_G(a, b, c, d, x[1], sine_table[16], 5);
    MD5_STEP_G(d, a, b, c, x[6], sine_table[17], 9);
    MD5_STEP_G(c, d, a, b, x[11], sine_table[18], 14);
    MD5_STEP_G(b, c, d, a, x[0], sine_table[19], 20);
    MD5_STEP_G(a, b, c, d, x[5], sine_table[20], 5);
    MD5_STEP_G(d, a, b, c, x[10], sine_table[21], 9);
    MD5_STEP_G(c, d, a, b, x[15], sine_table[22], 14);
    MD5_STEP_G(b, c, d, a, x[4], sine_table[23], 20);
    MD5_STEP_G(a, b, c, d, x[9], sine_table[24], 5);
    MD5_STEP_G(d, a, b, c, x[14], sine_table[25], 9);
    MD5_STEP_G(c, d, a, b, x[3], sine_table[26], 14);
    MD5_STEP_G(b, c, d, a, x[8], sine_table[27], 20);
    MD5_STEP_G(a, b, c, d, x[13], sine_table[28], 5);
    MD5_STEP_G(d, a, b, c, x[2], sine_table[29], 9);
    MD5_STEP_G(c, d, a, b, x[7], sine_table[30], 14);
    MD5_STEP_G(b, c, d, a, x[12], sine_table[31], 20);
    MD5_STEP(MD5_H, a, b, c, d, x[5], sine_table[32], 4);
    MD5_STEP(MD5_H, d, a, b, c, x[8], sine_table[33], 11);
    MD5_STEP(MD5_H, c, d, a, b, x[11], sine_table[34], 16);
    MD5_STEP(MD5_H, b, c, d, a, x[14], sine_table[35], 23);
    MD5_STEP(MD5_H, a, b, c, d, x[1], sine_table[36], 4);
    MD5_STEP(MD5_H, d, a, b, c, x[4], sine_table[37], 11);
    MD5_STEP(MD5_H, c, d, a, b, x[7], sine_table[38], 16);
    MD5_STEP(MD5_H, b, c, d, a, x[10], sine_table[39], 23);
    MD5_STEP(MD5_H, a, b, c, d, x[13], sine_table[40], 4);
    MD5_STEP(MD5_H, d, a, b, c, x[0], sine_table[41], 11);
    MD5_STEP(MD5_H, c, d, a, b, x[3], sine_table[42], 16);
    MD5_STEP(MD5_H, b, c, d, a, x[6], sine_table[43], 23);
    MD5_STEP(MD5_H, a, b, c, d, x[9], sine_table[44], 4);
    MD5_STEP(MD5_H, d, a, b, c, x[12], sine_table[45], 11);
    MD5_STEP(MD5_H, c, d, a, b, x[15], sine_table[46], 16);
    MD5_STEP(MD5_H, b, c, d, a, x[2], sine_table[47], 23);
    MD5_STEP(MD5_I, a, b, c, d, x[0], sine_table[48], 6);
    MD5_STEP(MD5_I, d, a, b, c, x[7], sine_table[49], 10);
    MD5_STEP(MD5_I, c, d, a, b, x[14], sine_table[50], 15);
    MD5_STEP(MD5_I, b, c, d, a, x[5], sine_table[51], 21);
    MD5_STEP(MD5_I, a, b, c, d, x[12], sine_table[52], 6);
    MD5_STEP(MD5_I, d, a, b, c, x[3], sine_table[53], 10);
    MD5_STEP(MD5_I, c, d, a, b, x[10], sine_table[54], 15);
    MD5_STEP(MD5_I, b, c, d, a, x[1], sine_table[55], 21);
    MD5_STEP(MD5_I, a, b, c, d, x[8], sine_table[56], 6);
    MD5_STEP(MD5_I, d, a, b, c, x[15], sine_table[57], 10);
    MD5_STEP(MD5_I, c, d, a, b, x[6], sine_table[58], 15);
    MD5_STEP(MD5_I, b, c, d, a, x[13], sine_table[59], 21);
    MD5_STEP(MD5_I, a, b, c, d, x[4], sine_table[60], 6);
    MD5_STEP(MD5_I, d, a, b, c, x[11], sine_table[61], 10);
    MD5_STEP(MD5_I, c, d, a, b, x[2], sine_table[62], 15);
    MD5_STEP(MD5_I, b, c, d, a, x[9], sine_table[63], 21);
    ctx->a += a;
    ctx->b += b;
    ctx->c += c;
    ctx->d += d;
}

// md5_update - feed bytes; whole blocks are processed, the rest is kept.
static void md5_update(Md5Context *ctx, const unsigned char *input, size_t length)
{
    ctx->bit_count += (uint64_t)length << 3;
    feed_blocks<MD5_BLOCK>(ctx, input, length, md5_transform);
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

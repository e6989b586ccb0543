// nettle_digests.cpp - Nettle's MD2 and MD5 as reference digests of the benchmark.
//
// A file of its own: Nettle's headers define md2_digest and md5_digest as
// macros, which would rename the filter's own functions of those names.
#include "bench/nettle_digests.h"

#include <nettle/md2.h>
#include <nettle/md5.h>

void nettle_md2_of(const unsigned char *input, size_t length, unsigned char out[16])
{
    struct md2_ctx ctx;
    md2_init(&ctx);
    md2_update(&ctx, length, input);
    md2_digest(&ctx, MD2_DIGEST_SIZE, out);
}

void nettle_md5_of(const unsigned char *input, size_t length, unsigned char out[16])
{
    struct md5_ctx ctx;
    md5_init(&ctx);
    md5_update(&ctx, length, input);
    md5_digest(&ctx, MD5_DIGEST_SIZE, out);
}

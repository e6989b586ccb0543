// digest_blocks.h - feeding bytes to a digest that works on whole blocks,
// shared by MD2 and MD5.
#ifndef FILTER_DIGEST_BLOCKS_H
#define FILTER_DIGEST_BLOCKS_H

#include <cstddef>
#include <cstring>

// feed_blocks - whole blocks straight from the input while nothing is
// buffered, the rest through the context's buffer of BLOCK bytes; process
// runs on every block that is complete. Inline, so that each digest's block
// function is called directly, as it was before the two shared this.
template <size_t BLOCK, typename Context, typename Process>
inline void feed_blocks(Context *ctx, const unsigned char *input, size_t length, Process process)
{
    while (ctx->buffered == 0 && length >= BLOCK) {
        process(ctx, input);
        input += BLOCK;
        length -= BLOCK;
    }
    while (length > 0) {
        size_t take = BLOCK - ctx->buffered;
        if (take > length)
            take = length;
        memcpy(ctx->buffer + ctx->buffered, input, take);
        ctx->buffered += take;
        input += take;
        length -= take;
        if (ctx->buffered == BLOCK) {
            process(ctx, ctx->buffer);
            ctx->buffered = 0;
        }
    }
}

#endif

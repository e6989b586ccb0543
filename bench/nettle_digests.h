// nettle_digests.h - Nettle's MD2 and MD5 in one call each, as md2_digest and md5_digest take them.
#ifndef FILTER_BENCH_NETTLE_DIGESTS_H
#define FILTER_BENCH_NETTLE_DIGESTS_H

#include <cstddef>

// nettle_md2_of / nettle_md5_of - the 16-byte digest of input[0..length).
void nettle_md2_of(const unsigned char *input, size_t length, unsigned char out[16]);
void nettle_md5_of(const unsigned char *input, size_t length, unsigned char out[16]);

#endif

// digests_test.cpp - MD2 and MD5 against the RFC test suites, block edges and the hex text.
#include "auth/digests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string hex_of(void (*digest)(const unsigned char *, size_t, unsigned char *), const std::string &in)
{
    unsigned char d[DIGEST_SIZE];
    char text[DIGEST_TEXT];
    digest(reinterpret_cast<const unsigned char *>(in.data()), in.size(), d);
    digest_hex(d, text);
    return text;
}

struct Vector {
    std::string input;
    const char *md2;
    const char *md5;
};

const std::string alphanumeric = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const std::string eighty_digits =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";

// The test suites of RFC 1319 (appendix A.5) and RFC 1321 (appendix A.5).
const Vector rfc_suite[] = {
    {"", "8350e5a3e24c153df2275c9f80692773", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "32ec01ec4a6dac72c0ab96fb34c0b5d1", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "da853b0d3f88d99b30283a69e6ded6bb", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "ab4f496bfb2a530b219ff33031fe06b0", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "4e8ddff3650292ab5a4108c3aa47940b", "c3fcd3d76192e4007dfb496cca67e13b"},
    {alphanumeric, "da33def2a42df13975352846c30338cd", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {eighty_digits, "d5976f79d83d3a0dc9806c3c66f3efd8", "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Digests, Md2GivesTheRfc1319TestSuite)
{
    for (const auto &v : rfc_suite)
        EXPECT_EQ(hex_of(md2_digest, v.input), v.md2) << "input \"" << v.input << "\"";
}

TEST(Digests, Md5GivesTheRfc1321TestSuite)
{
    for (const auto &v : rfc_suite)
        EXPECT_EQ(hex_of(md5_digest, v.input), v.md5) << "input \"" << v.input << "\"";
}

// MD2 pads a 16-byte input with a whole block of 16s; MD5 needs a second
// padding block when 56 to 63 bytes remain, and none of these fit one block.
TEST(Digests, InputsAroundTheBlockEdgesAndLongerThanOneBlock)
{
    const struct {
        size_t length;
        const char *md2;
    } md2_cases[] = {
        {15, "a1379a1027d0d29af98200799b8d5d8e"},
        {16, "b437ae50feb09a37c16b4c605cd642da"},
        {17, "dbf15a5fdfd6f7e9ece27d5e310c58ed"},
        {32, "fc6f34c6b52617387390d85ea9e510be"},
        {310, "e7e5bad8eb2d87368c6cdbd45c77c45d"},
    };
    for (const auto &c : md2_cases)
        EXPECT_EQ(hex_of(md2_digest, std::string(c.length, 'a')), c.md2) << c.length << " bytes";

    const struct {
        size_t length;
        const char *md5;
    } md5_cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},
        {56, "3b0c8ac703f828b04c6c197006d17218"},
        {63, "b06521f39153d618550606be297466d5"},
        {64, "014842d480b571495a4a0363793f7367"},
        {65, "c743a45e0d2e6a95cb859adae0248435"},
        {128, "e510683b3f5ffe4093d021808bc6ff70"},
        {310, "a18012756f81341d3cd67ddd579c4fca"},
    };
    for (const auto &c : md5_cases)
        EXPECT_EQ(hex_of(md5_digest, std::string(c.length, 'a')), c.md5) << c.length << " bytes";
}

TEST(Digests, InputIsTakenByLengthNotUpToANul)
{
    const std::string with_nul("0123456789\0pw", 13);
    EXPECT_NE(hex_of(md5_digest, with_nul), hex_of(md5_digest, "0123456789"));
    EXPECT_NE(hex_of(md2_digest, with_nul), hex_of(md2_digest, "0123456789"));
}

TEST(Digests, HexTextIsThirtyTwoLowerCaseDigitsInByteOrder)
{
    unsigned char d[DIGEST_SIZE];
    for (int i = 0; i < DIGEST_SIZE; i++)
        d[i] = (unsigned char)(i * 0x11);
    char text[DIGEST_TEXT];
    memset(text, 'Z', sizeof text);
    digest_hex(d, text);
    EXPECT_STREQ(text, "00112233445566778899aabbccddeeff");
}

} // namespace

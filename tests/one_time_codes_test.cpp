// one_time_codes_test.cpp - SHA-1, HMAC-SHA-1, base32 and the HOTP and TOTP
// codes against the published test vectors.
#include "auth/one_time_codes.h"
#include "auth/sha1.h"
#include "common/otp_secret.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string hex(const unsigned char *bytes, size_t length)
{
    std::string text;
    char pair[3];
    for (size_t i = 0; i < length; i++) {
        snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

const unsigned char *bytes_of(const std::string &s)
{
    return reinterpret_cast<const unsigned char *>(s.data());
}

std::string sha1_hex(const std::string &in)
{
    unsigned char d[SHA1_SIZE];
    sha1_digest(bytes_of(in), in.size(), d);
    return hex(d, sizeof d);
}

std::string hmac_hex(const std::string &key, const std::string &message)
{
    unsigned char d[SHA1_SIZE];
    hmac_sha1(bytes_of(key), key.size(), bytes_of(message), message.size(), d);
    return hex(d, sizeof d);
}

std::string repeat(const std::string &s, int times)
{
    std::string out;
    for (int i = 0; i < times; i++)
        out += s;
    return out;
}

// FIPS 180 and the four tests of RFC 3174 section 7.3, with the empty input
// and inputs around the block edge, where the length needs a second block.
TEST(OneTimeCodes, Sha1GivesTheStandardsVectors)
{
    const struct {
        std::string input;
        const char *digest;
    } cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {repeat("01234567", 80), "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sha1_hex(c.input), c.digest) << c.input.size() << " bytes";
}

// The seven HMAC-SHA-1 tests of RFC 2202 section 3: short keys, a key
// longer than a block (digested first), and data longer than a block.
TEST(OneTimeCodes, HmacSha1GivesTheRfc2202Vectors)
{
    std::string key4;
    for (int i = 1; i <= 25; i++)
        key4 += (char)i;
    const struct {
        std::string key, data;
        const char *mac;
    } cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
        {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {key4, std::string(50, '\xcd'), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {std::string(20, '\x0c'), "Test With Truncation", "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(hmac_hex(c.key, c.data), c.mac) << c.data;
}

const std::string rfc_secret = "12345678901234567890";

// RFC 4226 appendix D: the HOTP values of counters 0 to 9.
TEST(OneTimeCodes, HotpGivesTheRfc4226Values)
{
    const char *codes[] = {"755224", "287082", "359152", "969429", "338314",
                           "254676", "287922", "162583", "399871", "520489"};
    for (uint64_t counter = 0; counter < 10; counter++) {
        char text[OTP_CODE_TEXT];
        otp_code_text(bytes_of(rfc_secret), rfc_secret.size(), counter, text);
        EXPECT_STREQ(text, codes[counter]) << "counter " << counter;
    }
}

// RFC 6238 appendix B, the SHA-1 rows (eight digits), through the step of
// each time; the last row's step needs more than 32 bits, and its time more
// than a 32-bit time_t holds, in every build.
TEST(OneTimeCodes, TotpGivesTheRfc6238Sha1Rows)
{
    const struct {
        long long seconds;
        uint64_t step;
        uint32_t code;
    } rows[] = {
        {59, 0x1, 94287082},
        {1111111109, 0x23523EC, 7081804},
        {1111111111, 0x23523ED, 14050471},
        {1234567890, 0x273EF07, 89005924},
        {2000000000, 0x3F940AA, 69279037},
        {20000000000, 0x27BC86AA, 65353130},
    };
    for (const auto &r : rows) {
        uint64_t step = totp_step((time_t)r.seconds);
        EXPECT_EQ(step, r.step) << r.seconds;
        EXPECT_EQ(hotp_value(bytes_of(rfc_secret), rfc_secret.size(), step, 8), r.code) << r.seconds;
    }
}

// RFC 4648 section 10, both ways; decoding ignores case and the padding,
// and refuses what is not base32.
TEST(OneTimeCodes, Base32GivesTheRfc4648Vectors)
{
    const struct {
        const char *bytes, *text;
    } cases[] = {
        {"", ""},        {"f", "MY======"},         {"fo", "MZXQ===="},         {"foo", "MZXW6==="},
        {"foob", "MZXW6YQ="}, {"fooba", "MZXW6YTB"}, {"foobar", "MZXW6YTBOI======"},
    };
    for (const auto &c : cases) {
        std::string bytes = c.bytes, text = c.text, unpadded = text.substr(0, text.find('='));
        char encoded[32];
        ASSERT_TRUE(base32_encode(bytes_of(bytes), bytes.size(), encoded, sizeof encoded));
        EXPECT_EQ(encoded, unpadded);
        std::string lower = text;
        for (char &ch : lower)
            ch = (char)tolower((unsigned char)ch);
        for (const std::string &form : {text, unpadded, lower}) {
            unsigned char out[16];
            int n = base32_decode(form.c_str(), out, sizeof out);
            EXPECT_EQ(std::string((const char *)out, n < 0 ? 0 : (size_t)n), bytes) << form;
        }
    }
    unsigned char out[16];
    for (const char *bad : {"MZXW1YTB", "MZXW6 YTB", "MZ=XW6YTB", "MZXW6YTB=X", "MZXW6YTBOI!"})
        EXPECT_EQ(base32_decode(bad, out, sizeof out), -1) << bad;
    EXPECT_EQ(base32_decode("MZXW6YTBOI", out, 5), -1) << "six bytes into five";
}

// A secret must carry 128 bits: 26 base32 characters do, 25 do not.
TEST(OneTimeCodes, SecretNeedsBase32AndAtLeast128Bits)
{
    unsigned char out[OTP_SECRET_MAX];
    EXPECT_EQ(otp_secret_decode("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ", out), 20);
    EXPECT_EQ(otp_secret_decode("gezdgnbvgy3tqojqgezdgnbvgy======", out), 16);
    EXPECT_EQ(otp_secret_decode("GEZDGNBVGY3TQOJQGEZDGNBVG", out), -1);
    EXPECT_EQ(otp_secret_decode("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJ0", out), -1);
    EXPECT_EQ(otp_secret_decode("", out), -1);
    std::string longest(300, 'A');
    EXPECT_EQ(otp_secret_decode(longest.c_str(), out), OTP_SECRET_MAX);
}

} // namespace

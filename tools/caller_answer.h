// caller_answer.h - the caller's side of a challenge: the answer that a
// station knowing its password works out from what the challenge line shows.
// Written apart from the filter's own challenge code, so that an answer
// worked out here checks it; the host simulator, the tests and the session
// fuzzer all answer with it.
#ifndef TOOLS_CALLER_ANSWER_H
#define TOOLS_CALLER_ANSWER_H

#include "auth/digests.h"

#include <cctype>
#include <string>
#include <vector>

// digest_text - the digest text of input (the shown digits, then the
// password): MD5 when md5, else MD2, in lower case.
inline std::string digest_text(bool md5, const std::string &input)
{
    unsigned char d[DIGEST_SIZE];
    char text[DIGEST_TEXT];
    const auto *bytes = reinterpret_cast<const unsigned char *>(input.data());
    md5 ? md5_digest(bytes, input.size(), d) : md2_digest(bytes, input.size(), d);
    digest_hex(d, text);
    return text;
}

// chars_at_positions - the password's characters at the shown 1-based
// positions; false when a position lies outside the password.
inline bool chars_at_positions(const std::string &password, const std::vector<int> &positions, std::string *out)
{
    out->clear();
    for (int p : positions) {
        if (p < 1 || p > (int)password.size())
            return false;
        *out += password[(size_t)p - 1];
    }
    return true;
}

// flexnet_answer - each of the five shown digits times the key's digit at
// its place; a key character that is no digit, or is missing, adds nothing.
inline int flexnet_answer(const std::string &key, const std::string &digits)
{
    int sum = 0;
    for (size_t i = 0; i < 5 && i < key.size() && i < digits.size(); i++)
        if (isdigit((unsigned char)key[i]))
            sum += (digits[i] - '0') * (key[i] - '0');
    return sum;
}

#endif

// digest_answer.cpp - the digest answer to a challenge: the ten digits of the
// challenge followed by the password, digested with MD2 or MD5.
#include "auth/digests.h"
#include "common/records.h"
#include "common/wipe.h"

#include <cstring>

void digest_answer(const char *digits, const char *password, int algorithm, char text[DIGEST_TEXT])
{
    unsigned char input[DIGEST_DIGITS + PASSWORD_MAX];
    unsigned char digest[DIGEST_SIZE];
    size_t password_length = strnlen(password, PASSWORD_MAX);
    memcpy(input, digits, DIGEST_DIGITS);
    memcpy(input + DIGEST_DIGITS, password, password_length);
    if (algorithm == DIGEST_MD2)
        md2_digest(input, DIGEST_DIGITS + password_length, digest);
    else
        md5_digest(input, DIGEST_DIGITS + password_length, digest);
    digest_hex(digest, text);
    wipe(input, sizeof input);
    wipe(digest, sizeof digest);
}

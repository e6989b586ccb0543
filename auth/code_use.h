// code_use.h - the one-time codes each station has used: for TOTP the last
// accepted step, for HOTP the counter one past the last accepted code. One
// file of the filter directory (otpused.prt), rewritten whole; it holds no
// secret, only a tag that tells whether the secret changed since.
#ifndef FILTER_CODE_USE_H
#define FILTER_CODE_USE_H

#include <cstddef>
#include <cstdint>

#define CODE_USE_FILE "otpused.prt"

// The two kinds of one-time code, as the file names them.
enum CodeKind { CODE_TOTP, CODE_HOTP };

// code_kind_name - "TOTP" or "HOTP".
const char *code_kind_name(CodeKind kind);

// read_code_use - the station's ("CALL-SSID") value for kind under this
// secret into *value: 0 when the file, the station or this secret has none
// yet. False when the file exists but could not be read to its end, and so
// a used code could pass again.
bool read_code_use(const char *station, CodeKind kind, const unsigned char *secret, size_t secret_length,
                   uint64_t *value);

// read_secret_use - the highest value for kind recorded under this secret,
// whatever station it was written for, into *value: 0 when none. False when
// the file exists but could not be read to its end. For the tools, which
// know an entry of users.prt by its secret, not by one CALL-SSID.
bool read_secret_use(CodeKind kind, const unsigned char *secret, size_t secret_length, uint64_t *value);

// write_code_use - rewrite the file with the station's value for kind, every
// other station's line kept; false when the new file could not be put in
// place (the old one is then as it was).
bool write_code_use(const char *station, CodeKind kind, const unsigned char *secret, size_t secret_length,
                    uint64_t value);

#endif

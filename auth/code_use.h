// code_use.h - the one-time codes each secret has used: for TOTP the last
// accepted step, for HOTP the counter one past the last accepted code. One
// file of the filter directory (otpused.prt), rewritten whole; it holds no
// secret, only a tag of each secret, which is the key of its lines.
#ifndef FILTER_CODE_USE_H
#define FILTER_CODE_USE_H

#include <cstddef>
#include <cstdint>

#define CODE_USE_FILE "otpused.prt"

// The two kinds of one-time code, as the file names them.
enum CodeKind { CODE_TOTP, CODE_HOTP };

// code_kind_name - "TOTP" or "HOTP".
const char *code_kind_name(CodeKind kind);

// read_code_use - the value for kind under this secret into *value, shared
// by every station whose entry carries the secret: 0 when the file or the
// secret has none yet. False when the file exists but could not be read to
// its end, or holds a line that is none of its own: a used code could pass
// again then.
bool read_code_use(CodeKind kind, const unsigned char *secret, size_t secret_length, uint64_t *value);

// write_code_use - rewrite the file with the secret's value for kind, every
// other secret's line kept; false when the old file could not be read whole
// or the new one could not be put in place (the old one is then as it was).
bool write_code_use(CodeKind kind, const unsigned char *secret, size_t secret_length, uint64_t value);

#endif

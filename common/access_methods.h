// access_methods.h - the access methods, one row each: the number files
// write, the keywords, what users.prt must give, whether a port line may name
// it, the challenge it puts and the function that runs it.
//
// The rows are defined in auth/access_methods.cpp, beside the functions that
// run them. The readers of config/ and the tools read the facts of a row;
// only auth/ runs its handler. A method that files name by number only (0,
// or above the last numbered row) has no row and acts as OPEN.
#ifndef FILTER_ACCESS_METHODS_H
#define FILTER_ACCESS_METHODS_H

#include <cstdint>

// Access methods by the number config.prt and users.prt write for them. A
// method named by keyword only takes an id from METHOD_KEYWORD_ONLY up, which
// no number in a file (one or two characters, read as a byte) can reach.
enum {
    METHOD_OPEN = 1, METHOD_CLOSED = 2, METHOD_EXCLUDED = 3, METHOD_FIXED = 4,
    METHOD_NORMAL = 5, METHOD_MD5 = 6, METHOD_TABLE = 7, METHOD_BBS = 8,
    METHOD_FLEXNET = 9, METHOD_FORWARD = 10, METHOD_READONLY = 11, METHOD_HOLD = 12,
    METHOD_FORWARD5 = 13, METHOD_GUEST = 14,
    METHOD_UNKNOWN = 255,      // left by a keyword without a row, as by "-1" written as a number
    METHOD_KEYWORD_ONLY = 256,
    METHOD_TOTP = METHOD_KEYWORD_ONLY, METHOD_HOTP
};

// A method that puts no challenge.
enum { NO_CHALLENGE = -1 };

// AccessMethod - one access method.
struct AccessMethod {
    uint16_t id;               // METHOD_...
    const char *spanish;       // the keywords files may write, in upper case
    const char *english;
    bool needs_password;       // users.prt's line must give the password its challenge is built on
    uint8_t password_length;   // the length that password must have; 0 for any
    bool password_digits;      // that password must be all digits (a key of weights)
    bool password_is_secret;   // the password is a shared secret in base32 (common/otp_secret.h)
    bool port_may_name;        // a port line may name it: never one that needs a password
    short challenge_kind;      // the kind of state file it writes (KIND_...), or NO_CHALLENGE
    void (*run)(char *reply);  // puts its challenge or decides; sets verdict
};

// find_access_method - the row of a method id; null for a number without one (it acts as OPEN).
const AccessMethod *find_access_method(unsigned id);

// access_method_by_keyword - the row whose Spanish or English keyword is
// keyword (upper case); null for none.
const AccessMethod *access_method_by_keyword(const char *keyword);

// access_method_by_kind - the first row that puts a challenge of kind; null for none.
const AccessMethod *access_method_by_kind(int kind);

// method_name - the English keyword of a method id, or null for a number without a row.
const char *method_name(unsigned id);

// The rows, in the order of their numbers; defined in auth/access_methods.cpp.
extern const AccessMethod access_methods[];
extern const int access_method_count;

#endif

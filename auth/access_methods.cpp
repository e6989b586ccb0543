// access_methods.cpp - the rows of the access-method table.
//
// Adding a method is one row here and its handler in auth/: the readers of
// config.prt and users.prt, the decision, the verification and the tools all
// read this table. A method that asks for a password must never be one a
// port line may name: the port's method is what a station falls back on when
// its own password cannot be had.
#include "common/access_methods.h"
#include "auth/admission.h"
#include "auth/challenges.h"

const AccessMethod access_methods[] = {
    // id               Spanish      English     password  length  digits  secret  port   challenge        handler
    {METHOD_OPEN,      "ABIERTO",   "OPEN",     false,    0,      false,   false,  true,  NO_CHALLENGE,    admit_open},
    {METHOD_CLOSED,    "CERRADO",   "CLOSED",   false,    0,      false,   false,  true,  NO_CHALLENGE,    refuse_closed},
    {METHOD_EXCLUDED,  "EXCLUIDO",  "EXCLUDED", false,    0,      false,   false,  true,  NO_CHALLENGE,    refuse_excluded},
    {METHOD_FIXED,     "FRASE",     "FIXED",    true,     0,      false,   false,  false, KIND_FIXED,      challenge_fixed},
    {METHOD_NORMAL,    "NORMAL",    "NORMAL",   true,     0,      false,   false,  false, KIND_NORMAL,     challenge_normal},
    {METHOD_MD5,       "MD2",       "MD5",      true,     0,      false,   false,  false, KIND_MD,         challenge_md},
    {METHOD_TABLE,     "TABLA",     "TABLE",    false,    0,      false,   false,  false, KIND_TABLE,      challenge_table_else_port},
    {METHOD_BBS,       "BBS",       "BBS",      false,    0,      false,   false,  true,  NO_CHALLENGE,    admit_bbs},
    {METHOD_FLEXNET,   "FLEXNET",   "FLEXNET",  true,     5,      true,    false,  false, KIND_FLEXNET,    challenge_flexnet},
    {METHOD_FORWARD,   "FORWARD",   "FORWARD",  true,     0,      false,   false,  false, KIND_FORWARD,    challenge_forward},
    {METHOD_READONLY,  "SOLOLEER",  "READONLY", false,    0,      false,   false,  true,  NO_CHALLENGE,    admit_read_only},
    {METHOD_HOLD,      "RETENIDOS", "HOLD",     false,    0,      false,   false,  true,  NO_CHALLENGE,    admit_on_hold},
    {METHOD_FORWARD5,  "FORWARD5",  "FORWARD5", true,     0,      false,   false,  false, KIND_FORWARD,    challenge_forward},
    {METHOD_GUEST,     "GUEST",     "GUEST",    false,    0,      false,   false,  false, NO_CHALLENGE,    admit_guest},
    {METHOD_TOTP,      "TOTP",      "TOTP",     true,     0,      false,   true,   false, KIND_TOTP,       challenge_totp},
    {METHOD_HOTP,      "HOTP",      "HOTP",     true,     0,      false,   true,   false, KIND_HOTP,       challenge_hotp},
};

const int access_method_count = (int)(sizeof access_methods / sizeof access_methods[0]);

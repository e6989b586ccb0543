// verification.cpp - checking a caller's answer, and answering a partner BBS's challenge.
//
// verify_answer reads the station's state file, the only record of the
// challenge it answers, and admits, restricts, refuses or challenges again;
// a state file that is missing or cut short is error 10 (the reporter
// refuses). answer_forward_challenge replaces the reply with a digest; every
// failure there leaves verdict 2 and reports nothing.
#include "auth/verification.h"
#include "auth/admission.h"
#include "auth/challenges.h"
#include "auth/digests.h"
#include "auth/wipe.h"
#include "common/filter_dir.h"
#include "common/reply.h"
#include "common/text_copy.h"
#include "config/filter_config.h"
#include "config/messages.h"
#include "config/user_list.h"
#include "filter/connection.h"
#include "platform/platform.h"
#include "report/errors.h"
#include "report/logs.h"

#include <cstdio>
#include <cstring>

enum { STATE_LINE = 300, KIND_LINE = 5, DIGEST_CHARS = 32, FORWARD_DIGITS = 10 };

// What a state file says the answer must be.
struct ExpectedAnswer {
    char plain[STATE_LINE];
    char digest[2][DIGEST_TEXT];
    short kind;
};

// read_digest_line - the second digest, from line 3 of an MD or forward file.
static bool read_digest_line(PlatText *f, ExpectedAnswer *e)
{
    char line[STATE_LINE];
    bool ok = plat_read_line(line, sizeof line, f) && sscanf(line, "%32s", e->digest[1]) == 1;
    wipe(line, sizeof line);
    return ok;
}

// parse_state_file - the three lines of an open state file; false when a
// needed line is missing. A first line without a word is as good as none:
// an empty expected answer would be found inside every answer.
static bool parse_state_file(PlatText *f, ExpectedAnswer *e)
{
    char line[STATE_LINE];
    char kind_line[KIND_LINE];
    bool ok = plat_read_line(line, sizeof line, f) && sscanf(line, "%299s %32s", e->plain, e->digest[0]) >= 1;
    wipe(line, sizeof line);
    if (!ok)
        return false;
    // A file without a kind line (NORMAL) or with no number there is kind 0.
    e->kind = KIND_NORMAL;
    if (plat_read_line(kind_line, sizeof kind_line, f) && sscanf(kind_line, "%2hd", &e->kind) != 1)
        e->kind = KIND_NORMAL;
    if (e->kind == KIND_MD || e->kind == KIND_FORWARD)
        return read_digest_line(f, e);
    return true;
}

// read_state_file - the expected answer of the station's challenge; false
// after error 10 when the file is missing or lacks a needed line.
static bool read_state_file(const char *path, ExpectedAnswer *e, char *reply)
{
    memset(e, 0, sizeof *e);
    PlatText f;
    if (!plat_open_text(path, &f)) {
        report_error(ERR_STATE_FILE, 0, reply);
        return false;
    }
    bool ok = parse_state_file(&f, e);
    plat_close_text(&f);
    if (!ok) {
        report_error(ERR_STATE_FILE, 0, reply);
        return false;
    }
    clear_error_marker(ERR_STATE_FILE);
    return true;
}

// matches_digest - an answer of 32 characters equal to a digest, all in
// lower case or all in upper case; mixed case does not pass.
static bool matches_digest(const char *answer, const ExpectedAnswer *e)
{
    if (strlen(answer) != DIGEST_CHARS)
        return false;
    char upper[DIGEST_TEXT];
    bool match = false;
    for (int i = 0; i < 2 && !match; i++)
        match = e->digest[i][0] && strcmp(answer, e->digest[i]) == 0;
    for (int i = 0; i < 2 && !match; i++) {
        copy_text(upper, sizeof upper, e->digest[i]);
        match = upper[0] && strcmp(answer, upper_case(upper)) == 0;
    }
    wipe(upper, sizeof upper);
    return match;
}

// plain_allowed - a forward challenge is answered by digest only (its file
// holds a placeholder, not a secret); letter N asks the same of MD5 callers.
static bool plain_allowed(short kind)
{
    if (kind == KIND_FORWARD)
        return false;
    return !(kind == KIND_MD && (filter_config.challenge_policy & POLICY_DIGEST_ONLY));
}

// restrictions_apply - the policy letters act on port 0 only with letter C.
static bool restrictions_apply(void)
{
    return connection_info.port != 0 || (filter_config.challenge_policy & POLICY_CONSOLE);
}

// restrict_plain_md_answer - the second letter set decides a right answer
// given in plain to an MD5 challenge.
static void restrict_plain_md_answer(char *reply)
{
    uint16_t policy = filter_config.challenge_policy;
    reply_append(reply, "\n");
    if (policy & (POLICY_PLAIN_READONLY | POLICY_PLAIN_HOLD)) {
        reply_appendf(reply, "%s %s\n", msg(MSG_NOT_MD), msg(MSG_RESTRICTED));
        send_admission_texts(reply);
        verdict = (policy & POLICY_PLAIN_READONLY) ? VERDICT_READ_ONLY : VERDICT_ON_HOLD;
    } else if (policy & POLICY_PLAIN_DENY) {
        reply_appendf(reply, "%s\n\n", msg(MSG_MD_ONLY));
        verdict = VERDICT_REFUSED;
    } else {
        send_admission_texts(reply);
        verdict = VERDICT_ADMITTED;
    }
}

// accept_answer - the challenge is over; admit, or restrict a plain MD5 answer.
static void accept_answer(const char *path, short kind, bool by_digest, char *reply)
{
    plat_remove(path);
    if (kind == KIND_MD && !by_digest && restrictions_apply()) {
        restrict_plain_md_answer(reply);
        return;
    }
    send_admission_texts(reply);
    verdict = VERDICT_ADMITTED;
}

// refuse_last_answer - the last wrong answer: end the challenge, log it, and
// refuse or restrict by the first letter set. No admission texts follow.
static void refuse_last_answer(const char *path, short kind, char *reply)
{
    uint16_t policy = filter_config.challenge_policy;
    reply_appendf(reply, "\n%s ", msg(MSG_MISTAKEN));
    plat_remove(path);
    if (filter_config.log_password_failures)
        write_attempt_log(LOG_FAILED_PASSWORDS);
    if (kind != KIND_FORWARD && restrictions_apply() && (policy & (POLICY_FAIL_READONLY | POLICY_FAIL_HOLD))) {
        reply_appendf(reply, "%s\n", msg(MSG_RESTRICTED));
        verdict = (policy & POLICY_FAIL_READONLY) ? VERDICT_READ_ONLY : VERDICT_ON_HOLD;
        return;
    }
    reply_appendf(reply, "%s\n\n", msg(MSG_DENIED));
    verdict = VERDICT_REFUSED;
}

// challenge_again - a fresh challenge of the same kind, which overwrites the state file.
static void challenge_again(short kind, char *reply)
{
    if (kind == KIND_MD)
        challenge_md(reply);
    else if (kind == KIND_TABLE)
        challenge_table(reply);
    else
        challenge_normal(reply);
}

// is_last_answer - the attempt limit is reached (by equality), or the
// challenge allows one answer only.
static bool is_last_answer(short kind)
{
    return connection_info.attempt == filter_config.max_attempts || kind == KIND_FIXED ||
           kind == KIND_FLEXNET || kind == KIND_FORWARD;
}

// verify_answer - check answer_text against the station's state file.
void verify_answer(char *reply)
{
    char path[FILTER_PATH_MAX];
    ExpectedAnswer expected;
    state_file_path(path, sizeof path, false);
    if (!filter_config.config_loaded && load_filter_config(reply) < 0)
        return;
    if (!read_state_file(path, &expected, reply)) {
        wipe(&expected, sizeof expected);
        return;
    }
    const char *answer = connection_info.answer_text;
    bool by_digest = (expected.kind == KIND_MD || expected.kind == KIND_FORWARD) && matches_digest(answer, &expected);
    bool by_plain = !by_digest && plain_allowed(expected.kind) && strstr(answer, expected.plain) != nullptr;
    short kind = expected.kind;
    wipe(&expected, sizeof expected);
    if (by_digest || by_plain)
        accept_answer(path, kind, by_digest, reply);
    else if (is_last_answer(kind))
        refuse_last_answer(path, kind, reply);
    else
        challenge_again(kind, reply);
}

// forward_challenge_digits - the characters after the first "[" up to the
// next "]" or the end; false unless there are exactly ten.
static bool forward_challenge_digits(const char *line, char digits[FORWARD_DIGITS + 1])
{
    const char *open = strchr(line, '[');
    if (!open)
        return false;
    size_t length = strcspn(open + 1, "]");
    if (length != FORWARD_DIGITS)
        return false;
    memcpy(digits, open + 1, FORWARD_DIGITS);
    digits[FORWARD_DIGITS] = '\0';
    return true;
}

// forward_answer_text - the digest text of the digits and the shared password:
// MD2 for a FORWARD partner, MD5 for a FORWARD5 partner.
static void forward_answer_text(const char *digits, uint8_t method, char text[DIGEST_TEXT])
{
    unsigned char input[FORWARD_DIGITS + PASSWORD_MAX];
    unsigned char digest[DIGEST_SIZE];
    size_t password_length = strnlen(user_entry.password, PASSWORD_MAX);
    memcpy(input, digits, FORWARD_DIGITS);
    memcpy(input + FORWARD_DIGITS, user_entry.password, password_length);
    if (method == METHOD_FORWARD)
        md2_digest(input, FORWARD_DIGITS + password_length, digest);
    else
        md5_digest(input, FORWARD_DIGITS + password_length, digest);
    digest_hex(digest, text);
    wipe(input, sizeof input);
    wipe(digest, sizeof digest);
}

// answer_forward_challenge - the digest answer to a partner's "![digits]"
// line, replacing the reply; verdict 0, or 2 when there is nothing to answer.
void answer_forward_challenge(char *reply)
{
    char digits[FORWARD_DIGITS + 1];
    char text[DIGEST_TEXT + 1];
    // The reporter admits on a missing or wrong config.prt (code 3 or 5); a
    // partner whose password cannot be known is refused all the same.
    bool known = load_filter_config(reply) >= 0 && find_user_entry(reply) == 1;
    verdict = VERDICT_REFUSED;
    if (!known)
        return;
    if (user_entry.method != METHOD_FORWARD && user_entry.method != METHOD_FORWARD5)
        return;
    if (!forward_challenge_digits(connection_info.answer_text, digits))
        return;
    forward_answer_text(digits, user_entry.method, text);
    text[DIGEST_TEXT - 1] = '\n';
    text[DIGEST_TEXT] = '\0';
    reply_replace(reply, text);
    verdict = VERDICT_ADMITTED;
}

// verification.cpp - checking a caller's answer, and answering a partner BBS's challenge.
//
// verify_answer reads the station's state file, the only record of the
// challenge it answers, and admits, restricts, refuses or challenges again;
// a state file that is missing, cut short, put to another station or for
// another port or method, or that is a link, is error 10 (refused). An
// answer to a challenge that has expired is refused as a wrong last answer
// is, whatever the letters, and reports no error. Every wrong or late
// answer to a challenge a guess could pass is a failure for the guard, and
// while the guard has the callsign locked out such answers are not checked. answer_forward_challenge replaces the
// reply with a digest; every failure there leaves verdict 2 and reports
// nothing.
#include "auth/verification.h"
#include "auth/admission_texts.h"
#include "auth/port_method.h"
#include "auth/challenges.h"
#include "auth/digests.h"
#include "auth/exposure.h"
#include "auth/guard.h"
#include "auth/one_time_check.h"
#include "auth/state_file.h"
#include "common/files_lock.h"
#include "common/filter_dir.h"
#include "common/records.h"
#include "common/reply.h"
#include "common/text_copy.h"
#include "common/wipe.h"
#include "config/filter_config.h"
#include "config/messages.h"
#include "config/user_list.h"
#include "platform/platform.h"
#include "report/errors.h"
#include "report/logs.h"

#include <cstdio>
#include <cstring>

enum { FORWARD_DIGITS = DIGEST_DIGITS };

// refuse_not_ours - error 10 for a state file that cannot be taken as this
// connection's challenge; refused even when error.prt cannot be written.
static bool refuse_not_ours(void)
{
    report_error(ERR_STATE_FILE, 0);
    verdict = VERDICT_REFUSED;
    return false;
}

// Whether a challenge was put for the connection that answers it.
enum Binding { BOUND, OTHER_PORT, OTHER_METHOD, ENTRY_FAILED };

// binding - the challenge was put for this port and for the method this
// station has here. One station may have a weak method on one port and a
// strong one on another; a challenge of the weak one must not answer the
// strong one's connection. ENTRY_FAILED when the user list failed (reported).
static Binding binding(const ExpectedAnswer *e)
{
    if (e->port != (uint8_t)connection_info.port)
        return OTHER_PORT;
    int8_t entry = station_entry();
    if (entry < 0)
        return ENTRY_FAILED;
    return entry == 1 && user_entry.method == e->method ? BOUND : OTHER_METHOD;
}

// read_state_file - the expected answer of the station's challenge; false
// after error 10 when the file is missing, lacks a needed line, holds the
// challenge of another station that shares its name, is a link, or was put
// for another port (that challenge stays pending) or another method than
// the station has here now (that one can never be answered, and ends). A
// user list that fails leaves the station to the port's method. An expired
// challenge reads as one, for its own refusal.
static bool read_state_file(const char *path, ExpectedAnswer *e, char *reply)
{
    memset(e, 0, sizeof *e);
    if (plat_file_kind(path) == PLAT_OTHER_FILE)
        return refuse_not_ours();
    if (!load_state_file(path, e)) {
        report_error(ERR_STATE_FILE, 0);
        stop_on_report(reply);
        return false;
    }
    if (!names_this_station(e))
        return refuse_not_ours();
    Binding b = is_expired(e) ? BOUND : binding(e);
    if (b == ENTRY_FAILED) {
        remove_state_file(path);
        stop_on_report(reply);
        return false;
    }
    if (b == OTHER_METHOD)
        remove_state_file(path);
    if (b != BOUND)
        return refuse_not_ours();
    clear_error_marker(ERR_STATE_FILE);
    return true;
}

// same_number - two runs of decimal digits of the same value, leading zeros aside.
static bool same_number(const char *a, size_t a_length, const char *b, size_t b_length)
{
    while (a_length > 1 && *a == '0')
        a++, a_length--;
    while (b_length > 1 && *b == '0')
        b++, b_length--;
    return a_length == b_length && memcmp(a, b, a_length) == 0;
}

// is_digit - a decimal digit.
static bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// DigitRun - a maximal run of digits of an answer.
struct DigitRun {
    const char *at;
    size_t length;
};

enum { FLEXNET_RUNS = 2 };

// digit_runs - the answer's maximal runs of digits, leaving out the first
// that is the digits shown (an echoed prompt); up to FLEXNET_RUNS of them
// in runs, and their count, which may be higher.
static int digit_runs(const char *answer, const char *shown, DigitRun runs[FLEXNET_RUNS])
{
    size_t shown_length = strlen(shown);
    bool echo_left_out = shown_length == 0;
    int count = 0;
    for (const char *p = answer; *p;) {
        size_t length = 0;
        while (is_digit(p[length]))
            length++;
        if (length == 0) {
            p++;
            continue;
        }
        if (!echo_left_out && length == shown_length && memcmp(p, shown, length) == 0)
            echo_left_out = true;
        else if (count++ < FLEXNET_RUNS)
            runs[count - 1] = {p, length};
        p += length;
    }
    return count;
}

// flexnet_answer_right - apart from an echo of the digits shown, the answer
// holds exactly one number, and it is the sum. Every number is a guess, and
// the likeliest sums of a challenge fit in one line; an answer that is only
// the echo is taken as the number it holds.
static bool flexnet_answer_right(const char *answer, const char *sum, const char *shown)
{
    size_t sum_length = strlen(sum);
    if (sum_length == 0 || strspn(sum, "0123456789") != sum_length)
        return false;
    DigitRun runs[FLEXNET_RUNS];
    int count = digit_runs(answer, shown, runs);
    if (count == 0)
        count = digit_runs(answer, "", runs);
    return count == 1 && same_number(runs[0].at, runs[0].length, sum, sum_length);
}

// plain_answer_right - the expected text anywhere in the answer; for FLEXNET
// one number, the sum. The other methods' decoys are intended.
static bool plain_answer_right(const char *answer, const ExpectedAnswer *e)
{
    if (e->kind == KIND_FLEXNET)
        return flexnet_answer_right(answer, e->plain, e->digest[0]);
    return strstr(answer, e->plain) != nullptr;
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
static void accept_answer(short kind, bool by_digest, char *reply)
{
    if (state_kind(kind)->digests && !by_digest && restrictions_apply()) {
        restrict_plain_md_answer(reply);
        return;
    }
    send_admission_texts(reply);
    verdict = VERDICT_ADMITTED;
}

// end_challenge - a wrong last answer: its line begins, the challenge ends,
// and the failed-password log gets the station.
static void end_challenge(const char *path, char *reply)
{
    reply_appendf(reply, "\n%s ", msg(MSG_MISTAKEN));
    remove_state_file(path);
    if (filter_config.log_password_failures)
        write_attempt_log(LOG_FAILED_PASSWORDS);
}

// end_in_refusal - the challenge ends and the caller is refused.
static void end_in_refusal(const char *path, char *reply)
{
    end_challenge(path, reply);
    reply_appendf(reply, "%s\n\n", msg(MSG_DENIED));
    verdict = VERDICT_REFUSED;
}

// refuse_last_answer - the last wrong answer: end the challenge, log it, and
// refuse or restrict by the first letter set. No admission texts follow.
static void refuse_last_answer(const char *path, short kind, char *reply)
{
    uint16_t policy = filter_config.challenge_policy;
    if (kind == KIND_FORWARD || !restrictions_apply() || !(policy & (POLICY_FAIL_READONLY | POLICY_FAIL_HOLD))) {
        end_in_refusal(path, reply);
        return;
    }
    end_challenge(path, reply);
    reply_appendf(reply, "%s\n", msg(MSG_RESTRICTED));
    verdict = (policy & POLICY_FAIL_READONLY) ? VERDICT_READ_ONLY : VERDICT_ON_HOLD;
}

// challenge_again - a fresh challenge of the same kind, which overwrites the state file.
static void challenge_again(short kind, char *reply)
{
    const AccessMethod *m = access_method_by_kind(kind);
    if (m)
        m->run(reply);
    else
        challenge_normal(reply);
}

// is_last_answer - the attempt limit is reached, or the challenge allows
// one answer only. A count above the limit is past it: a host that skipped
// the limit must not win a fresh challenge for every further guess.
static bool is_last_answer(short kind)
{
    return connection_info.attempt >= filter_config.max_attempts || state_kind(kind)->one_answer;
}

// answer_right - the answer passes the expected one; by_digest tells how.
static bool answer_right(const ExpectedAnswer *e, bool *by_digest)
{
    const char *answer = connection_info.answer_text;
    const StateKind *k = state_kind(e->kind);
    *by_digest = k->digests && accepts_digest(answer, e);
    return *by_digest || (plain_answer_allowed(e->kind) && plain_answer_right(answer, e));
}

// one_time_answer - 1 when the answer is a right one-time code, now
// recorded as used; 0 when it is wrong; -1 when the call stopped: the user
// list failed (reported), or the code could not be recorded, which is error
// 10 and a refusal whatever error.prt takes, since a code taken without its
// record could be taken again. The secret is the entry's of this call.
static int one_time_answer(short kind, const char *path, char *reply)
{
    if (station_entry() < 0) {
        stop_on_report(reply);
        return -1;
    }
    const AccessMethod *m = find_access_method(user_entry.method);
    if (!m || m->challenge_kind != kind)
        return 0;
    OneTimeResult result = check_one_time_code(kind == KIND_HOTP ? CODE_HOTP : CODE_TOTP, connection_info.answer_text);
    if (result == CODE_NOT_RECORDED) {
        remove_state_file(path);
        report_error_in(ERR_STATE_FILE, 0, CODE_USE_FILE);
        verdict = VERDICT_REFUSED;
        return -1;
    }
    if (result != CODE_RIGHT)
        return 0;
    clear_error_marker_in(ERR_STATE_FILE, CODE_USE_FILE);
    return 1;
}

// refused_while_locked - the callsign is locked out: the answer is refused
// unchecked, and the station's challenge ends, unless it is one no guess can
// pass (a partner's digest), which goes on. Counting nothing, it does not
// extend the lockout; a lockout that ended every challenge beforehand makes
// a missing state file no error either.
static bool refused_while_locked(const char *path)
{
    if (!guard_config.guard_on)
        return false;
    ExpectedAnswer e;
    bool ours = load_state_file(path, &e) && names_this_station(&e);
    bool digest_only = ours && !answer_can_be_guessed(e.kind);
    wipe(&e, sizeof e);
    if (digest_only || !guard_refuses_connection())
        return false;
    if (ours)
        remove_state_file(path);
    verdict = VERDICT_REFUSED;
    return true;
}

// verify_answer - check answer_text against the station's state file.
void verify_answer(char *reply)
{
    char path[FILTER_PATH_MAX];
    ExpectedAnswer expected;
    state_file_path(path, sizeof path, false);
    if (!filter_config.config_loaded && load_filter_config() < 0) {
        stop_on_report(reply);
        return;
    }
    load_guard();
    if (refused_while_locked(path))
        return;
    if (!read_state_file(path, &expected, reply)) {
        wipe(&expected, sizeof expected);
        return;
    }
    bool expired = is_expired(&expected), by_digest = false;
    bool right = !expired && answer_right(&expected, &by_digest);
    short kind = expected.kind;
    char heard[HEARD_NOTE_TEXT];
    copy_text(heard, sizeof heard, expected.heard);
    wipe(&expected, sizeof expected);
    // A late code is never checked: checking would record it as used.
    if (!expired && state_kind(kind)->one_time_code) {
        int code = one_time_answer(kind, path, reply);
        if (code < 0)
            return;
        right = code == 1;
    }
    if (right) {
        // One take of the lock for the record of what was heard and the
        // index of pending challenges: the answer's line costs no more takes.
        lock_filter_files();
        // What went out in clear is heard, whatever the letters make of it.
        if (!by_digest)
            note_heard_answer(kind, heard, user_entry.password);
        remove_state_file(path);
        unlock_filter_files();
        accept_answer(kind, by_digest, reply);
        return;
    }
    // The failure that locks the callsign out ends its challenges too. A
    // wrong digest is no guess worth counting: the password stays unknown.
    bool locked = answer_can_be_guessed(kind) && guard_count_failure(true);
    if (expired || locked)
        end_in_refusal(path, reply);
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
static void forward_answer_text(const char *digits, unsigned method, char text[DIGEST_TEXT])
{
    digest_answer(digits, user_entry.password, method == METHOD_FORWARD ? DIGEST_MD2 : DIGEST_MD5, text);
}

// answer_forward_challenge - the digest answer to a partner's "![digits]"
// line, replacing the reply; verdict 0, or 2 when there is nothing to answer.
// It is built as this filter's own FORWARD and MD challenges expect their
// answers, so it is never given when one of them, still pending, would take
// it: a caller who was challenged with those digits could send them as a
// partner's challenge and replay our answer.
void answer_forward_challenge(char *reply)
{
    char digits[FORWARD_DIGITS + 1];
    char text[DIGEST_TEXT + 1];
    // The reporter admits on a missing or wrong config.prt (code 3 or 5); a
    // partner whose password cannot be known is refused all the same.
    bool known = load_filter_config() >= 0 && find_user_entry() == 1;
    load_guard();
    verdict = VERDICT_REFUSED;
    if (!known)
        return;
    const AccessMethod *partner = find_access_method(user_entry.method);
    if (!partner || partner->challenge_kind != KIND_FORWARD)
        return;
    if (!forward_challenge_digits(connection_info.answer_text, digits))
        return;
    forward_answer_text(digits, user_entry.method, text);
    if (pending_challenge_accepts(text)) {
        wipe(text, sizeof text);
        return;
    }
    text[DIGEST_TEXT - 1] = '\n';
    text[DIGEST_TEXT] = '\0';
    reply_replace(reply, text);
    verdict = VERDICT_ADMITTED;
}

// caller_answer.h - the caller's side of a challenge: what the challenge line
// shows, and the answer that a station knowing its password works out from it.
// Written apart from the filter's own challenge code, so that a line read and
// an answer worked out here check it; the host simulator, the tests and the
// session fuzzer all read and answer with it.
#ifndef TOOLS_CALLER_ANSWER_H
#define TOOLS_CALLER_ANSWER_H

#include "auth/digests.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// ChallengeForm - what a challenge line asks for.
enum ChallengeForm {
    CHALLENGE_UNREAD,      // no challenge that the caller knows
    CHALLENGE_FIXED,       // the prompt alone, no line end: the whole password
    CHALLENGE_POSITIONS,   // five positions: the password's characters there (NORMAL, TABLE)
    CHALLENGE_DIGEST,      // five positions and "[digits]": those characters, or the digest of digits+password
    CHALLENGE_FORWARD,     // "![digits]": the digest of digits+password
    CHALLENGE_FLEXNET,     // five digits in one group: the sum with the key's digits
    CHALLENGE_TOTP,        // "TOTP": the code of the current time step
    CHALLENGE_HOTP,        // "HOTP n": code number n
};

// ChallengeLine - what a challenge line shows the caller.
struct ChallengeLine {
    ChallengeForm form = CHALLENGE_UNREAD;
    std::string prompt;           // the text before what is asked
    int table_day = 0;            // TABLE's row, from a prompt "PROMPT_dd>"; 0 for any other prompt
    std::vector<int> positions;   // 1-based, as shown
    std::string digits;           // the digits in "[...]" or "![...]", or FLEXNET's group of five
    uint64_t counter = 0;         // HOTP's code number
};

// Positions never reach a thousand and a code number stays within 64 bits:
// a longer number is no challenge of the filter's.
enum { SHOWN_POSITION_DIGITS = 3, SHOWN_COUNTER_DIGITS = 19 };

// is_number - a run of 1 to most decimal digits.
inline bool is_number(const std::string &text, size_t most)
{
    if (text.empty() || text.size() > most)
        return false;
    for (char c : text)
        if (!isdigit((unsigned char)c))
            return false;
    return true;
}

// bracketed_number - the digits of open + "digits]", or "" when token is not that.
inline std::string bracketed_number(const std::string &token, const std::string &open)
{
    size_t n = open.size();
    if (token.size() < n + 2 || token.compare(0, n, open) != 0 || token.back() != ']')
        return "";
    std::string inner = token.substr(n, token.size() - n - 1);
    return is_number(inner, inner.size()) ? inner : "";
}

// shown_positions - the five positions that end at tokens[end - 1]; false
// when those are not five small numbers.
inline bool shown_positions(const std::vector<std::string> &tokens, size_t end, std::vector<int> *out)
{
    out->clear();
    if (end < 5)
        return false;
    for (size_t i = end - 5; i < end; i++) {
        if (!is_number(tokens[i], SHOWN_POSITION_DIGITS))
            return false;
        out->push_back(atoi(tokens[i].c_str()));
    }
    return true;
}

// challenge_words - the blank-separated words of the reply's last line, where
// the filter puts its challenge.
inline std::vector<std::string> challenge_words(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    size_t start = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
    std::vector<std::string> words;
    for (size_t i = start; i < text.size();) {
        size_t end = text.find_first_of(" \t", i);
        if (end == std::string::npos)
            end = text.size();
        if (end > i)
            words.push_back(text.substr(i, end - i));
        i = end + 1;
    }
    return words;
}

// asked_words - how many of the last words say what is asked, with the
// form and what they show set in c; 0 when they ask nothing known.
inline size_t asked_words(const std::vector<std::string> &w, ChallengeLine *c)
{
    size_t n = w.size();
    const std::string &last = w[n - 1];
    if (!(c->digits = bracketed_number(last, "![")).empty()) {
        c->form = CHALLENGE_FORWARD;
        return 1;
    }
    if (last == "TOTP") {
        c->form = CHALLENGE_TOTP;
        return 1;
    }
    if (n >= 2 && w[n - 2] == "HOTP" && is_number(last, SHOWN_COUNTER_DIGITS)) {
        c->form = CHALLENGE_HOTP;
        c->counter = std::stoull(last);
        return 2;
    }
    if (!(c->digits = bracketed_number(last, "[")).empty() && shown_positions(w, n - 1, &c->positions)) {
        c->form = CHALLENGE_DIGEST;
        return 6;
    }
    c->digits.clear();
    if (shown_positions(w, n, &c->positions)) {
        c->form = CHALLENGE_POSITIONS;
        return 5;
    }
    if (last.size() == 5 && is_number(last, 5)) {
        c->form = CHALLENGE_FLEXNET;
        c->digits = last;
        return 1;
    }
    return 0;
}

// table_day - the row of a TABLE prompt "PROMPT_dd>"; 0 for another prompt.
inline int table_day(const std::string &prompt)
{
    size_t under = prompt.rfind('_');
    if (under == std::string::npos || prompt.size() < under + 3 || prompt.back() != '>')
        return 0;
    std::string day = prompt.substr(under + 1, prompt.size() - under - 2);
    return is_number(day, 2) ? atoi(day.c_str()) : 0;
}

// parse_challenge - what the challenge at the end of a reply shows; its form
// is CHALLENGE_UNREAD when the reply ends in no challenge the caller knows.
// FIXED's prompt stands with a blank and no line end after it.
inline ChallengeLine parse_challenge(const std::string &reply)
{
    ChallengeLine c;
    std::vector<std::string> words = challenge_words(reply);
    if (!reply.empty() && reply.back() == ' ') {
        c.form = CHALLENGE_FIXED;
        for (const auto &w : words)
            c.prompt += (c.prompt.empty() ? "" : " ") + w;
        return c;
    }
    size_t asked = words.empty() ? 0 : asked_words(words, &c);
    if (asked == 0)
        return ChallengeLine();
    for (size_t i = 0; i + asked < words.size(); i++)
        c.prompt += (c.prompt.empty() ? "" : " ") + words[i];
    c.table_day = table_day(c.prompt);
    return c;
}

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

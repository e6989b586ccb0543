// sessions_test.cpp - a station answers its challenge: right answers of every
// kind, wrong answers with attempts left, the last wrong answer, the policy
// letters, and answers that find no challenge.
#include "filter/filter_state.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

namespace {

const char *const STATE = "morvel/N0ABC0.TMP";
const char *const PASSWORD_LOG = "morvel/lognopas.prt";
const std::string STATION_TEXT = "\nHello N0ABC";
const std::string DENIED = "\n*** MISTAKEN IDENTITY - DENIED ACCESS!\n\n";
const std::string RESTRICTED = "\n*** MISTAKEN IDENTITY - Restrictions applied.\n";

// A host where N0ABC-0 is listed with one method on every port.
void set_up_station(HostDir &h, const std::string &entry_line, const FilterOptions &o = FilterOptions())
{
    write_filter_config(h, o);
    h.write_users("N0ABC\n" + entry_line + "\n-\n");
    h.write("morvel/N0ABC.ent", "Hello N0ABC");
    h.write("morvel/N0ABC.TBL", "# day password\n7 yesterday\n8 today\n9 tomorrow\n");
}

// The right answer, worked out from the challenge line as a caller would.
using Answer = std::function<std::string(const ChallengeLine &)>;

const Answer normal_inside_text = [](const ChallengeLine &c) {
    return "PASSWORD> " + chars_at("Secret12", c.positions) + " 73";
};
const Answer md_plain = [](const ChallengeLine &c) { return chars_at("Secret12", c.positions); };
Answer digest_of(bool md5, bool upper_case)
{
    return [=](const ChallengeLine &c) {
        std::string d = digest_text(md5, c.digits + "Secret12");
        return upper_case ? upper(d) : d;
    };
}

struct RightCase {
    const char *what;
    const char *entry_line;
    const char *attempts;
    int port;
    Answer answer;
};

TEST(Sessions, RightAnswersOfEveryKindAdmitTheStation)
{
    const RightCase cases[] = {
        {"NORMAL, answer inside other text", "* NORMAL Secret12", "3", 1, normal_inside_text},
        {"NORMAL, exactly the five characters", "* NORMAL Secret12", "3", 1, md_plain},
        {"FIXED", "* FIXED Secret12", "3", 1, [](const ChallengeLine &) { return std::string("Secret12"); }},
        {"FLEXNET", "* FLEXNET 30719",
         "3", 1, [](const ChallengeLine &c) { return std::to_string(flexnet_answer("30719", c.digits)); }},
        {"TABLE, today's password", "* TABLE", "3", 1,
         [](const ChallengeLine &c) { return chars_at("today", c.positions); }},
        {"MD5 method, MD2 lower case", "* MD5 Secret12", "3 - D", 1, digest_of(false, false)},
        {"MD5 method, MD2 upper case", "* MD5 Secret12", "3 - D", 1, digest_of(false, true)},
        {"MD5 method, MD5 lower case", "* MD5 Secret12", "3 - N", 1, digest_of(true, false)},
        {"MD5 method, MD5 upper case", "* MD5 Secret12", "3 C RHDN", 0, digest_of(true, true)},
        {"FORWARD answered with MD2", "* FORWARD Secret12", "3", 1, digest_of(false, false)},
        {"FORWARD answered with MD5", "* FORWARD Secret12", "3", 1, digest_of(true, false)},
        {"FORWARD5 answered with MD5", "* FORWARD5 Secret12", "3", 1, digest_of(true, true)},
        {"FORWARD5 answered with MD2", "* FORWARD5 Secret12", "3", 1, digest_of(false, false)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        FilterOptions o;
        o.attempts = c.attempts;
        set_up_station(h, c.entry_line, o);
        auto challenge = h.connect("N0ABC-0", c.port);
        ASSERT_EQ(challenge.result, 1) << challenge.reply;
        auto r = h.answer("N0ABC-0", 1, c.answer(parse_challenge(challenge.reply)), c.port);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.reply, STATION_TEXT);
        EXPECT_FALSE(h.exists(STATE));
        EXPECT_FALSE(h.exists(PASSWORD_LOG));
        EXPECT_FALSE(h.exists("morvel/error.prt"));
    }
}

struct PlainMdCase {
    const char *attempts;
    int port;
    int verdict;
    std::string reply;
};

// The five characters, not a digest, answer an MD5-method challenge: the
// second letter set decides, on port 0 only with letter C.
TEST(Sessions, PlainAnswerToAnMd5ChallengeUnderEachLetterOfTheSecondSet)
{
    const std::string not_md = "\n*** Answer not in MD format - Restrictions applied.\n";
    const PlainMdCase cases[] = {
        {"3", 1, 0, "\n" + STATION_TEXT},
        {"3 - R", 1, 3, not_md + STATION_TEXT},
        {"3 - H", 1, 4, not_md + STATION_TEXT},
        {"3 - D", 1, 2, "\n*** MD is the only allowed format in answer\n\n"},
        {"3 - RHD", 1, 3, not_md + STATION_TEXT},
        {"3 - HD", 1, 4, not_md + STATION_TEXT},
        {"3 - R", 0, 0, STATION_TEXT},
        {"3 - D", 0, 0, STATION_TEXT},
        {"3 C R", 0, 3, not_md + STATION_TEXT},
        {"3 - C", 0, 0, "\n" + STATION_TEXT},
        {"3 C D", 0, 2, "\n*** MD is the only allowed format in answer\n\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("attempts line \"") + c.attempts + "\" port " + std::to_string(c.port));
        HostDir h;
        FilterOptions o;
        o.attempts = c.attempts;
        set_up_station(h, "* MD5 Secret12", o);
        auto challenge = h.connect("N0ABC-0", c.port);
        ASSERT_EQ(challenge.result, 1);
        auto r = h.answer("N0ABC-0", 1, md_plain(parse_challenge(challenge.reply)), c.port);
        EXPECT_EQ(r.result, c.verdict);
        EXPECT_EQ(r.reply, c.reply);
        EXPECT_FALSE(h.exists(STATE));
        EXPECT_FALSE(h.exists(PASSWORD_LOG));
    }
}

// Letter N: only a digest can be right, on every port; a digest of the wrong
// length or in mixed case is no digest. Each is a wrong answer with attempts left.
TEST(Sessions, AnswersThatAreNoDigestGetAFreshMd5Challenge)
{
    const struct {
        const char *attempts;
        int port;
        Answer answer;
    } cases[] = {
        {"3 - N", 1, md_plain},
        {"3 - N", 0, md_plain},
        {"3", 1, [](const ChallengeLine &c) { return digest_text(true, c.digits + "Secret12").substr(1); }},
        {"3", 1, [](const ChallengeLine &c) { return digest_text(false, c.digits + "Secret12") + "0"; }},
        {"3", 1, [](const ChallengeLine &c) {
             std::string d = digest_text(true, c.digits + "Secret12");
             std::string mixed = upper(d.substr(0, 16)) + d.substr(16);
             return mixed == d ? std::string("no letter in it") : mixed;
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("attempts line \"") + c.attempts + "\" port " + std::to_string(c.port));
        HostDir h;
        FilterOptions o;
        o.attempts = c.attempts;
        set_up_station(h, "* MD5 Secret12", o);
        auto challenge = h.connect("N0ABC-0", c.port);
        h.set_clock(2026, 12, 8, 21, 30, 9, 0);
        auto r = h.answer("N0ABC-0", 1, c.answer(parse_challenge(challenge.reply)), c.port);
        EXPECT_EQ(r.result, 1);
        EXPECT_TRUE(std::regex_match(r.reply, std::regex(R"(\nPASSWORD> [1-8]( [1-8]){4} \[[0-9]{10}\]\n)")))
            << r.reply;
        ChallengeLine fresh = parse_challenge(r.reply);
        EXPECT_NE(fresh.digits, parse_challenge(challenge.reply).digits) << "drawn anew";
        std::string md2 = digest_text(false, fresh.digits + "Secret12");
        std::string md5 = digest_text(true, fresh.digits + "Secret12");
        EXPECT_EQ(h.read(STATE), chars_at("Secret12", fresh.positions) + " " + md2 + "\n6 \n" + md5 + "\n" +
                                     station_line("N0ABC-0", c.port, 6,
                                                  heard_note(EXPOSURE_POSITIONS, "Secret12", fresh.positions)));
    }
}

// A wrong answer before the last one puts a fresh challenge of the same kind,
// even after the library was reloaded between the calls (the password is
// looked up again).
TEST(Sessions, WrongAnswerWithAttemptsLeftGetsAFreshChallenge)
{
    const struct {
        const char *entry_line;
        int attempt;
        const char *reply;
        std::string password;
        bool md;
    } cases[] = {
        {"* NORMAL Secret12", 1, R"(\nPASSWORD> [1-8]( [1-8]){4}\n)", "Secret12", false},
        {"* NORMAL Secret12", 2, R"(\nPASSWORD> [1-8]( [1-8]){4}\n)", "Secret12", false},
        {"* MD5 Secret12", 1, R"(\nPASSWORD> [1-8]( [1-8]){4} \[[0-9]{10}\]\n)", "Secret12", true},
        {"* TABLE", 2, R"(\nPASSWORD_8> [1-5]( [1-5]){4}\n)", "today", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.entry_line) + " attempt " + std::to_string(c.attempt));
        HostDir h;
        set_up_station(h, c.entry_line);
        ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
        filter_reset_state();
        h.set_clock(2026, 12, 8, 21, 31, 0, 0);
        auto r = h.answer("N0ABC-0", c.attempt, "wrong", 1);
        EXPECT_EQ(r.result, 1);
        EXPECT_TRUE(std::regex_match(r.reply, std::regex(c.reply))) << r.reply;
        ChallengeLine fresh = parse_challenge(r.reply);
        std::string expected = chars_at(c.password, fresh.positions);
        EXPECT_EQ(h.read(STATE).substr(0, 5), expected);
        EXPECT_FALSE(h.exists(PASSWORD_LOG));
        auto right = h.answer("N0ABC-0", c.attempt + 1, c.md ? digest_text(true, fresh.digits + c.password) : expected, 1);
        EXPECT_EQ(right.result, 0);
        EXPECT_EQ(right.reply, STATION_TEXT);
    }
}

struct LastWrongCase {
    const char *attempts;
    int port;
    int attempt;
    int verdict;
    std::string reply;
};

// The last wrong answer ends the challenge, is logged, and is refused or
// restricted by the first letter set; on port 0 only with letter C. A count
// past the limit is a last answer too, not a fresh chance.
TEST(Sessions, LastWrongAnswerUnderEachLetterOfTheFirstSet)
{
    const LastWrongCase cases[] = {
        {"3", 1, 3, 2, DENIED},
        {"3", 1, 4, 2, DENIED},
        {"1", 1, 9, 2, DENIED},
        {"3 R", 1, 3, 3, RESTRICTED},
        {"3 H", 1, 3, 4, RESTRICTED},
        {"3 HR", 1, 3, 3, RESTRICTED},
        {"3 R", 0, 3, 2, DENIED},
        {"3 CR", 0, 3, 3, RESTRICTED},
        {"3 CH", 0, 3, 4, RESTRICTED},
        {"3 - RHD", 1, 3, 2, DENIED},
        {"1", 1, 1, 2, DENIED},
        {"5 R", 2, 5, 3, RESTRICTED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("attempts line \"") + c.attempts + "\" port " + std::to_string(c.port));
        HostDir h;
        FilterOptions o;
        o.attempts = c.attempts;
        set_up_station(h, "* NORMAL Secret12", o);
        ASSERT_EQ(h.connect("N0ABC-0", c.port).result, 1);
        auto r = h.answer("N0ABC-0", c.attempt, "wrong", c.port);
        EXPECT_EQ(r.result, c.verdict);
        EXPECT_EQ(r.reply, c.reply);
        EXPECT_FALSE(h.exists(STATE));
        std::string log = h.read(PASSWORD_LOG);
        EXPECT_NE(log.find(log_entry("N0ABC", 0, c.port)), std::string::npos) << log;
    }
}

TEST(Sessions, FailedPasswordsAreNotLoggedWhenSwitchedOff)
{
    HostDir h;
    FilterOptions o;
    o.log_password_failures = false;
    set_up_station(h, "* NORMAL Secret12", o);
    h.connect("N0ABC-0", 1);
    EXPECT_EQ(h.answer("N0ABC-0", 3, "wrong", 1).reply, DENIED);
    EXPECT_FALSE(h.exists(PASSWORD_LOG));
}

// FIXED, FLEXNET and FORWARD allow one answer, whatever the limit. A forward
// challenge is answered by digest only: its placeholder XXXXX is no password,
// and letter R does not restrict it.
TEST(Sessions, OneAnswerOnlyChallenges)
{
    const struct {
        const char *entry_line;
        const char *attempts;
        const char *answer;
        int verdict;
        std::string reply;
    } cases[] = {
        {"* FIXED Secret12", "5", "secret12", 2, DENIED},
        {"* FIXED Secret12", "5 R", "Secret1", 3, RESTRICTED},
        {"* FLEXNET 30719", "5", "1000", 2, DENIED},
        {"* FORWARD Secret12", "5", "XXXXX", 2, DENIED},
        {"* FORWARD Secret12", "5 R", "my answer is XXXXX", 2, DENIED},
        {"* FORWARD5 Secret12", "5 H", "0123456789abcdef0123456789abcdef", 2, DENIED},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.entry_line) + " answered " + c.answer);
        HostDir h;
        FilterOptions o;
        o.attempts = c.attempts;
        set_up_station(h, c.entry_line, o);
        ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
        auto r = h.answer("N0ABC-0", 1, c.answer, 1);
        EXPECT_EQ(r.result, c.verdict);
        EXPECT_EQ(r.reply, c.reply);
        EXPECT_FALSE(h.exists(STATE));
        EXPECT_NE(h.read(PASSWORD_LOG).find(log_entry("N0ABC", 0, 1)), std::string::npos);
    }
}

// An answer with no challenge behind it, or behind a state file that lacks a
// needed line, is refused through error 10, even when it holds the expected
// characters.
TEST(Sessions, AnswerWithoutAUsableStateFileIsError10)
{
    const struct {
        const char *what;
        const char *state;   // null: no file
    } cases[] = {
        {"no state file", nullptr},
        {"empty state file", ""},
        {"first line without a word", "   \nN0ABC-0\n"},
        {"MD file without its third line", "abcde 0123456789abcdef0123456789abcdef\n6 \nN0ABC-0\n"},
        {"forward file without its third line", "XXXXX 0123456789abcdef0123456789abcdef\n10\nN0ABC-0\n"},
        {"no line naming the station", "abcde\n"},
        {"more lines than a challenge writes", "abcde\n4 \n\n\nN0ABC-0\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        set_up_station(h, "* NORMAL Secret12");
        if (c.state)
            h.write(STATE, c.state);
        auto r = h.answer("N0ABC-0", 1, "abcde", 1);
        EXPECT_EQ(r.result, 2);
        EXPECT_EQ(r.reply, "");
        std::string error = h.read("morvel/error.prt");
        EXPECT_NE(error.find("*** ERROR 00110: Unable to open temporal user file\n"), std::string::npos) << error;
        EXPECT_FALSE(h.exists(PASSWORD_LOG));
    }
}

TEST(Sessions, ReadableStateFileClearsTheError10Marker)
{
    HostDir h;
    set_up_station(h, "* NORMAL Secret12");
    h.answer("N0ABC-0", 1, "no challenge yet", 1);
    ASSERT_TRUE(h.exists("morvel/ERROR10.TMP"));
    h.write(STATE, "abcde\n" + station_line("N0ABC-0", 1, 5));
    EXPECT_EQ(h.answer("N0ABC-0", 1, "xabcdex", 1).result, 0);
    EXPECT_FALSE(h.exists("morvel/ERROR10.TMP"));
}

// The station's entry was removed and the library reloaded while a challenge
// was pending: no password is known, so no fresh challenge can be drawn.
TEST(Sessions, FreshChallengeWithoutAnyPasswordRefusesAndEndsTheChallenge)
{
    HostDir h;
    set_up_station(h, "* NORMAL Secret12");
    ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
    filter_reset_state();
    h.write_users("N0XYZ\n* OPEN\n-\n");
    auto r = h.answer("N0ABC-0", 1, "wrong", 1);
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.reply, "");
    EXPECT_FALSE(h.exists(STATE));
}

} // namespace

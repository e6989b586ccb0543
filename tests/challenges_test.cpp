// challenges_test.cpp - the challenge state file of each kind, read back with
// its exact lines, the password table, and a state file that cannot be written.
#include "auth/state_file.h"
#include "common/access_methods.h"
#include "common/filter_dir.h"
#include "platform/platform.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const char *const STATE = "morvel/N0ABC0.TMP";
// station - the last line of a state file put to N0ABC-0 on port 1 for method.
std::string station(int method, const std::string &note = "")
{
    return station_line("N0ABC-0", 1, method, note);
}

bool listed(const HostDir &h, const std::string &name)
{
    auto names = h.list("morvel");
    return std::find(names.begin(), names.end(), name) != names.end();
}

CallResult challenge(HostDir &h, const std::string &entry_line, int ssid = 0)
{
    write_filter_config(h, FilterOptions());
    h.write_users("N0ABC\n" + entry_line + "\n-\n");
    return h.connect("N0ABC-" + std::to_string(ssid), 1);
}

// Each kind's file, line for line, from what its challenge line showed, and
// last the station it was put to, with the port, the method and the time. NORMAL,
// FIXED, TABLE and FLEXNET spell the extension TMP, the MD5 method and the
// forward challenges tmp; both are the same file for the host.
TEST(Challenges, StateFileOfEachKindHoldsExactlyItsLines)
{
    {
        HostDir h;
        auto r = challenge(h, "* FIXED Fixed-Pass");
        EXPECT_EQ(r.reply, TAG + "\nPASSWORD> ");
        EXPECT_EQ(h.read(STATE), "Fixed-Pass\n4 \n" + station(4, heard_note(EXPOSURE_WHOLE, "Fixed-Pass")));
        EXPECT_TRUE(listed(h, "N0ABC0.TMP"));
    }
    {
        HostDir h;
        auto c = parse_challenge(challenge(h, "* NORMAL Secret12").reply);
        ASSERT_EQ(c.positions.size(), 5u);
        EXPECT_EQ(h.read(STATE), chars_at("Secret12", c.positions) + "\n" +
                                     station(5, heard_note(EXPOSURE_POSITIONS, "Secret12", c.positions)));
        EXPECT_TRUE(listed(h, "N0ABC0.TMP"));
    }
    {
        HostDir h;
        h.write("morvel/N0ABC.TBL", "8 TodayPw\n");
        auto c = parse_challenge(challenge(h, "* TABLE").reply);
        ASSERT_EQ(c.positions.size(), 5u);
        EXPECT_EQ(h.read(STATE), chars_at("TodayPw", c.positions) + "\n7\n" +
                                     station(7, heard_note(EXPOSURE_POSITIONS, "TodayPw", c.positions)));
        EXPECT_TRUE(listed(h, "N0ABC0.TMP"));
    }
    {
        HostDir h;
        auto c = parse_challenge(challenge(h, "* FLEXNET 30719").reply);
        ASSERT_EQ(c.digits.size(), 5u);
        EXPECT_EQ(h.read(STATE), std::to_string(flexnet_answer("30719", c.digits)) + " " + c.digits + "\n9 \n" +
                                     station(9, heard_note(EXPOSURE_EQUATIONS, "30719", {}, c.digits)));
        EXPECT_TRUE(listed(h, "N0ABC0.TMP"));
    }
    {
        HostDir h;
        auto c = parse_challenge(challenge(h, "* MD5 MdSecret").reply);
        ASSERT_EQ(c.positions.size(), 5u);
        ASSERT_EQ(c.digits.size(), 10u);
        EXPECT_EQ(h.read(STATE), chars_at("MdSecret", c.positions) + " " + digest_text(false, c.digits + "MdSecret") +
                                     "\n6 \n" + digest_text(true, c.digits + "MdSecret") + "\n" +
                                     station(6, heard_note(EXPOSURE_POSITIONS, "MdSecret", c.positions)));
        EXPECT_TRUE(listed(h, "N0ABC0.tmp"));
    }
    for (const char *method : {"FORWARD", "FORWARD5"}) {
        HostDir h;
        auto r = challenge(h, std::string("* ") + method + " FwdSecret");
        auto c = parse_challenge(r.reply);
        ASSERT_EQ(c.digits.size(), 10u);
        EXPECT_EQ(r.reply, TAG + "\n![" + c.digits + "]\n") << method;
        EXPECT_EQ(h.read(STATE), "XXXXX " + digest_text(false, c.digits + "FwdSecret") + "\n10\n" +
                                     digest_text(true, c.digits + "FwdSecret") + " \n" +
                                     station(std::string(method) == "FORWARD" ? 10 : 13))
            << method;
        EXPECT_TRUE(listed(h, "N0ABC0.tmp"));
    }
}

// What the writer puts in a file of each kind, the reader gives back; a file
// cut before its station line is refused.
TEST(Challenges, StateFileOfEachKindReadsBackWhatWasWritten)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.connect("N0ABC-0", 1);
    char path[FILTER_PATH_MAX];
    state_file_path(path, sizeof path, false);
    const std::string md2(32, 'a'), md5(32, 'b');
    const std::string note = heard_note(EXPOSURE_WHOLE, "Plain");
    for (int kind : {KIND_NORMAL, KIND_FIXED, KIND_MD, KIND_TABLE, KIND_FLEXNET, KIND_FORWARD}) {
        SCOPED_TRACE(kind);
        ASSERT_TRUE(write_state_file(path, kind, METHOD_GUEST, "Plain", md2.c_str(), md5.c_str(), note.c_str()));
        ExpectedAnswer e;
        ASSERT_TRUE(load_state_file(path, &e));
        EXPECT_EQ(e.kind, kind);
        EXPECT_TRUE(e.bound);
        EXPECT_EQ(e.port, 1);
        EXPECT_EQ(e.method, METHOD_GUEST);
        EXPECT_EQ(e.put_at, (long long)plat_now_seconds());
        EXPECT_STREQ(e.plain, "Plain");
        EXPECT_EQ(std::string(e.digest[0]), state_kind(kind)->digests ? md2 : "");
        EXPECT_EQ(std::string(e.digest[1]), state_kind(kind)->digests ? md5 : "");
        EXPECT_TRUE(names_this_station(&e));
        EXPECT_EQ(e.heard, note);
        std::string text = h.read(STATE);
        text.erase(text.rfind('\n', text.size() - 2) + 1);
        h.write(STATE, text);
        if (state_kind(kind)->digests)
            EXPECT_FALSE(load_state_file(path, &e)) << "without its MD5 line";
        else
            EXPECT_FALSE(load_state_file(path, &e) && names_this_station(&e)) << "without its station line";
    }
}

TEST(Challenges, StateFileNameJoinsCallsignAndSsid)
{
    HostDir h;
    challenge(h, "* NORMAL Secret12", 15);
    EXPECT_TRUE(listed(h, "N0ABC15.TMP"));
}

// A one-character password has one position to ask, five times.
TEST(Challenges, OneCharacterPasswordIsAskedAtPositionOneFiveTimes)
{
    HostDir h;
    auto r = challenge(h, "* NORMAL x");
    EXPECT_EQ(r.reply, TAG + "\nPASSWORD> 1 1 1 1 1\n");
    EXPECT_EQ(h.read(STATE), "xxxxx\n" + station(5, heard_note(EXPOSURE_POSITIONS, "x", {1, 1, 1, 1, 1})));
}

// Nothing in a challenge follows from the clock: two connections in the same
// second get different digits (equal ones by chance: 1 in 10^10).
TEST(Challenges, TwoChallengesInTheSameSecondDiffer)
{
    for (const char *entry_line : {"* MD5 MdSecret", "* FORWARD FwdSecret"}) {
        SCOPED_TRACE(entry_line);
        HostDir h;
        auto first = parse_challenge(challenge(h, entry_line).reply);
        auto second = parse_challenge(h.connect("N0ABC-0", 1).reply);
        ASSERT_EQ(first.digits.size(), 10u);
        ASSERT_EQ(second.digits.size(), 10u);
        EXPECT_NE(first.digits, second.digits);
    }
}

// Every position of a three-character password and every digit is drawn,
// and nothing outside them: 100 challenges miss one of them with a chance
// far below 1 in 10^40.
TEST(Challenges, DrawsCoverTheirWholeRangeAndNothingElse)
{
    HostDir h;
    challenge(h, "* MD5 abc");
    std::set<int> positions;
    std::set<char> digits;
    for (int i = 0; i < 100; i++) {
        auto c = parse_challenge(h.connect("N0ABC-0", 1).reply);
        ASSERT_EQ(c.positions.size(), 5u);
        positions.insert(c.positions.begin(), c.positions.end());
        digits.insert(c.digits.begin(), c.digits.end());
    }
    EXPECT_EQ(positions, (std::set<int>{1, 2, 3}));
    EXPECT_EQ(digits.size(), 10u);
}

// Without the system's generator no challenge can be put: the station is
// refused, nothing is shown, and a challenge it had pending ends. FIXED draws
// nothing and is still put.
TEST(Challenges, FailingGeneratorRefusesEveryChallengeThatDraws)
{
    HostDir h;
    h.write("morvel/N0ABC.TBL", "8 TodayPw\n");
    for (const char *entry_line :
         {"* NORMAL Secret12", "* TABLE", "* FLEXNET 30719", "* MD5 MdSecret", "* FORWARD FwdSecret",
          "* FORWARD5 FwdSecret"}) {
        SCOPED_TRACE(entry_line);
        h.write(STATE, "abcde\n" + station(5));
        plat_test_fail_random(true);
        auto r = challenge(h, entry_line);
        plat_test_fail_random(false);
        EXPECT_EQ(r.result, 2);
        EXPECT_EQ(r.reply, TAG);
        EXPECT_FALSE(h.exists(STATE));
        EXPECT_FALSE(h.exists("morvel/error.prt"));
    }
    plat_test_fail_random(true);
    EXPECT_EQ(challenge(h, "* FIXED Fixed-Pass").result, 1);
}

// A wrong answer with attempts left asks for a fresh challenge, which the
// failing generator cannot give either: refused, and the challenge ends.
TEST(Challenges, FailingGeneratorRefusesAFreshChallengeAfterAWrongAnswer)
{
    HostDir h;
    ASSERT_EQ(challenge(h, "* NORMAL Secret12").result, 1);
    plat_test_fail_random(true);
    auto r = h.answer("N0ABC-0", 1, "wrong", 1);
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.reply, "");
    EXPECT_FALSE(h.exists(STATE));
}

#ifndef _WIN32
// A state file holds expected answers, for FIXED the whole password.
TEST(Challenges, StateFileIsReadableByItsOwnerOnly)
{
    HostDir h;
    challenge(h, "* FIXED Fixed-Pass");
    struct stat st;
    ASSERT_EQ(stat((h.root() + "/" + STATE).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
#endif

TEST(Challenges, StateFileThatCannotBeCreatedIsError10)
{
    HostDir h;
    plat_test_fail_open("morvel\\N0ABC0.TMP");
    auto r = challenge(h, "* NORMAL Secret12");
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.reply, TAG);
    EXPECT_NE(h.read("morvel/error.prt").find("*** ERROR 00110: Unable to open temporal user file"), std::string::npos);
}

struct TableCase {
    const char *what;
    const char *ssid_table;       // morvel/N0ABC0.TBL, null: none
    const char *callsign_table;   // morvel/N0ABC.TBL, null: none
    const char *prompt;
    int verdict;
    const char *password;         // today's password, or null when the port's method runs
    const char *reply_prompt;
};

// Port 1's own method is READONLY, so a fallback shows as verdict 3.
TEST(Challenges, PasswordTableForToday)
{
    const TableCase cases[] = {
        {"row for today", nullptr, "# comment\n\n7 Seventh\n8 Eighth\n9 Ninth\n", "PASSWORD>", 1, "Eighth",
         "PASSWORD_8>"},
        {"first row for today wins", nullptr, "8 FirstOne\n8 SecondOne\n", "PASSWORD>", 1, "FirstOne",
         "PASSWORD_8>"},
        {"table of the SSID first", "8 BySsid\n", "8 ByCall\n", "PASSWORD>", 1, "BySsid", "PASSWORD_8>"},
        {"prompt text after > is dropped", nullptr, "8 Eighth\n", "Key> please", 1, "Eighth", "Key_8>"},
        {"prompt starting with >", nullptr, "8 Eighth\n", ">", 1, "Eighth", "_8>"},
        {"no row for today", nullptr, "7 Seventh\n9 Ninth\n", "PASSWORD>", 3, nullptr, nullptr},
        {"row for today without password", nullptr, "7 Seventh\n8\n9 Ninth\n", "PASSWORD>", 3, nullptr, nullptr},
        {"row without password, then one with", nullptr, "7 Seventh\n8\n8 Later\n", "PASSWORD>", 1, "Later",
         "PASSWORD_8>"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        FilterOptions o;
        o.prompt = c.prompt;
        o.ports = {"1 READONLY"};
        write_filter_config(h, o);
        h.write_users("N0ABC\n1 TABLE\n-\n");
        if (c.ssid_table)
            h.write("morvel/N0ABC0.TBL", c.ssid_table);
        if (c.callsign_table)
            h.write("morvel/N0ABC.TBL", c.callsign_table);
        auto r = h.connect("N0ABC-0", 1);
        EXPECT_EQ(r.result, c.verdict);
        if (!c.password) {
            EXPECT_EQ(r.reply, TAG);
            EXPECT_FALSE(h.exists(STATE));
            EXPECT_FALSE(h.exists("morvel/error.prt"));
            continue;
        }
        auto ch = parse_challenge(r.reply);
        ASSERT_EQ(ch.positions.size(), 5u) << r.reply;
        EXPECT_EQ(r.reply.rfind(TAG + "\n" + c.reply_prompt + " ", 0), 0u) << r.reply;
        EXPECT_EQ(h.read(STATE), chars_at(c.password, ch.positions) + "\n7\n" +
                                     station(7, heard_note(EXPOSURE_POSITIONS, c.password, ch.positions)));
    }
}

TEST(Challenges, NoPasswordTableIsError4AndThePortMethodDecides)
{
    HostDir h;
    FilterOptions o;
    o.ports = {"1 HOLD"};
    write_filter_config(h, o);
    h.write_users("N0ABC\n1 TABLE\n-\n");
    auto r = h.connect("N0ABC-0", 1);
    EXPECT_EQ(r.result, 4);
    EXPECT_EQ(r.reply, TAG);
    EXPECT_FALSE(h.exists(STATE));
    EXPECT_NE(h.read("morvel/error.prt").find("*** ERROR 0014: File with table password for N0ABC not found."),
              std::string::npos)
        << h.read("morvel/error.prt");
    EXPECT_TRUE(h.exists("morvel/ERROR4.TMP"));

    h.write("morvel/N0ABC.TBL", "8 Eighth\n");
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 1);
    EXPECT_FALSE(h.exists("morvel/ERROR4.TMP")) << "a table challenge was put again";
}


// The caller's reading of a challenge line, which the simulator, the tests
// and the session fuzzer answer from: each form, a TABLE prompt's day, a
// prompt of more than one word, and lines that ask nothing it knows.
TEST(CallerSide, ReadsEveryFormOfChallengeLine)
{
    struct Row {
        std::string reply;
        ChallengeForm form;
        std::string prompt;
        int day;
        std::vector<int> positions;
        std::string digits;
        uint64_t counter;
    } rows[] = {
        {TAG + "\nPASSWORD> ", CHALLENGE_FIXED, "PASSWORD>", 0, {}, "", 0},
        {TAG + "\nPASSWORD> 1 12 3 4 5\n", CHALLENGE_POSITIONS, "PASSWORD>", 0, {1, 12, 3, 4, 5}, "", 0},
        {"\nPASSWORD_08> 7 1 2 3 4\n", CHALLENGE_POSITIONS, "PASSWORD_08>", 8, {7, 1, 2, 3, 4}, "", 0},
        {"\nPASSWORD> 1 2 3 4 5 [0123456789]\n", CHALLENGE_DIGEST, "PASSWORD>", 0, {1, 2, 3, 4, 5}, "0123456789", 0},
        {TAG + "\n![9876543210]\n", CHALLENGE_FORWARD, "", 0, {}, "9876543210", 0},
        {"\nPASSWORD> 30719\n", CHALLENGE_FLEXNET, "PASSWORD>", 0, {}, "30719", 0},
        {"\nPASSWORD> TOTP\n", CHALLENGE_TOTP, "PASSWORD>", 0, {}, "", 0},
        {"\nYour code> HOTP 42\r\n", CHALLENGE_HOTP, "Your code>", 0, {}, "", 42},
        {"\nPASSWORD> 1 2 3 4\n", CHALLENGE_UNREAD, "", 0, {}, "", 0},
        {"\nPASSWORD> 1 2 3 4 1000\n", CHALLENGE_UNREAD, "", 0, {}, "", 0},
        {"\nPASSWORD> HOTP 123456789012345678901\n", CHALLENGE_UNREAD, "", 0, {}, "", 0},
        {TAG + "\n*** MISTAKEN IDENTITY - DENIED ACCESS!\n\n", CHALLENGE_UNREAD, "", 0, {}, "", 0},
        {"", CHALLENGE_UNREAD, "", 0, {}, "", 0},
    };
    for (const Row &r : rows) {
        ChallengeLine c = parse_challenge(r.reply);
        EXPECT_EQ(c.form, r.form) << r.reply;
        EXPECT_EQ(c.prompt, r.prompt) << r.reply;
        EXPECT_EQ(c.table_day, r.day) << r.reply;
        EXPECT_EQ(c.positions, r.positions) << r.reply;
        EXPECT_EQ(c.digits, r.digits) << r.reply;
        EXPECT_EQ(c.counter, r.counter) << r.reply;
    }
}

} // namespace

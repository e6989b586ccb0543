// one_time_sessions_test.cpp - whole TOTP and HOTP sessions through the
// entry points on a fixed clock: right codes, reused codes, codes too far
// off, answers with more than one number, the counter moving on, secrets
// that are no secrets, a record of used codes that cannot be written or
// read, codes heard from another station of the same secret, the record of
// older filters, the guard's count of wrong codes, and codes given after the
// challenge expired.
#include "auth/one_time_codes.h"
#include "platform/platform.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"
#include "support/reported_error.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The secret of the published test vectors, "12345678901234567890", in base32.
const char *const SECRET = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";
const std::string KEY = "12345678901234567890";
const char *const STATION_TEXT = "\nHello N0ABC";
const char *const USED = "morvel/otpused.prt";
// The tag of SECRET in otpused.prt, which keys its lines.
const char *const TAG = "94fa1ae7";

std::string code_of(uint64_t counter)
{
    char text[OTP_CODE_TEXT];
    otp_code_text(reinterpret_cast<const unsigned char *>(KEY.data()), KEY.size(), counter, text);
    return text;
}

// step_now - the 30-second step of the fixed clock.
uint64_t step_now()
{
    return (uint64_t)plat_now_seconds() / 30;
}

void set_up_station(HostDir &h, const std::string &method, const FilterOptions &o = FilterOptions())
{
    write_filter_config(h, o);
    h.write_users("N0ABC\n*  " + method + "  " + SECRET + "\n-\n");
    h.write("morvel/N0ABC.ent", "Hello N0ABC");
}

// The last line of a reply: the challenge.
std::string challenge_line(const std::string &reply)
{
    std::string text = reply;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text.substr(text.rfind('\n') + 1);
}

TEST(OneTimeSessions, TotpTakesACodeOfTheStepOrOneAsideAndNeverTwice)
{
    HostDir h;
    set_up_station(h, "TOTP");
    uint64_t step = step_now();
    auto c = h.connect("N0ABC-0");
    ASSERT_EQ(c.result, 1) << c.reply;
    EXPECT_EQ(challenge_line(c.reply), "PASSWORD> TOTP");
    auto r = h.answer("N0ABC-0", 1, code_of(step));
    EXPECT_EQ(r.result, 0);
    EXPECT_NE(r.reply.find(STATION_TEXT), std::string::npos);
    EXPECT_EQ(h.read(USED).find(SECRET), std::string::npos) << "the record holds no secret";

    // The same code again, then a code two steps ahead: both wrong, each
    // answered by the same challenge again; one step ahead is still good.
    ASSERT_EQ(h.connect("N0ABC-0").result, 1);
    r = h.answer("N0ABC-0", 1, code_of(step));
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(challenge_line(r.reply), "PASSWORD> TOTP");
    EXPECT_EQ(h.answer("N0ABC-0", 2, code_of(step + 2)).result, 1);
    EXPECT_EQ(h.answer("N0ABC-0", 3, code_of(step + 1)).result, 0);

    // Thirty seconds on, the step just used and the one before it are spent;
    // a code from two steps back is too old anyway.
    h.set_clock(2026, 12, 8, 21, 30, 35, 0);
    ASSERT_EQ(step_now(), step + 1);
    ASSERT_EQ(h.connect("N0ABC-0").result, 1);
    EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(step + 1)).result, 1);
    EXPECT_EQ(h.answer("N0ABC-0", 2, code_of(step - 1)).result, 1);
    r = h.answer("N0ABC-0", 3, code_of(step + 2));
    EXPECT_EQ(r.result, 0) << r.reply;
}

// An answer holds exactly one run of digits, six long; text around it is allowed.
TEST(OneTimeSessions, AnAnswerCarriesOneSixDigitNumberOnly)
{
    uint64_t step;
    {
        HostDir clock;   // every host directory starts on the same fixed clock
        step = step_now();
    }
    const struct {
        const char *what;
        std::string answer;
        int verdict;
    } cases[] = {
        {"the code alone", code_of(step), 0},
        {"the code after an echo of the prompt", "PASSWORD> " + code_of(step) + " !", 0},
        {"two codes", code_of(step) + " " + code_of(step + 1), 1},
        {"a code and another number", "1 " + code_of(step), 1},
        {"seven digits holding the code", code_of(step) + "0", 1},
        {"the code split", code_of(step).substr(0, 3) + " " + code_of(step).substr(3), 1},
        {"no digits", "TOTP", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        set_up_station(h, "TOTP");
        ASSERT_EQ(h.connect("N0ABC-0").result, 1);
        EXPECT_EQ(h.answer("N0ABC-0", 1, c.answer).result, c.verdict);
    }
}

TEST(OneTimeSessions, HotpNamesTheNextCodeAndMovesPastTheOneUsed)
{
    HostDir h;
    set_up_station(h, "HOTP");
    auto c = h.connect("N0ABC-0");
    ASSERT_EQ(c.result, 1) << c.reply;
    EXPECT_EQ(challenge_line(c.reply), "PASSWORD> HOTP 0");
    EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(0)).result, 0);

    c = h.connect("N0ABC-0");
    EXPECT_EQ(challenge_line(c.reply), "PASSWORD> HOTP 1");
    auto r = h.answer("N0ABC-0", 1, code_of(0));
    EXPECT_EQ(r.result, 1) << "a used code";
    EXPECT_EQ(challenge_line(r.reply), "PASSWORD> HOTP 1");
    EXPECT_EQ(h.answer("N0ABC-0", 2, code_of(11)).result, 1) << "ten past the next";
    EXPECT_EQ(h.answer("N0ABC-0", 3, code_of(10)).result, 0) << "nine past the next";

    // Every code up to the one used is spent with it.
    c = h.connect("N0ABC-0");
    EXPECT_EQ(challenge_line(c.reply), "PASSWORD> HOTP 11");
    EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(5)).result, 1);
    EXPECT_EQ(h.answer("N0ABC-0", 2, code_of(11)).result, 0);
}

// Wrong codes count as wrong NORMAL answers: the last one refuses or, with
// letter R, admits read-only, and goes to the failed-password log.
TEST(OneTimeSessions, TheLastWrongCodeFollowsTheAttemptsLine)
{
    const struct {
        const char *attempts;
        int verdict;
        const char *text;
    } cases[] = {
        {"2", 2, "\n*** MISTAKEN IDENTITY - DENIED ACCESS!\n\n"},
        {"2 R", 3, "\n*** MISTAKEN IDENTITY - Restrictions applied.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.attempts);
        HostDir h;
        FilterOptions o;
        o.attempts = c.attempts;
        set_up_station(h, "HOTP", o);
        ASSERT_EQ(h.connect("N0ABC-0").result, 1);
        EXPECT_EQ(h.answer("N0ABC-0", 1, "000000").result, 1);
        auto r = h.answer("N0ABC-0", 2, code_of(20));
        EXPECT_EQ(r.result, c.verdict);
        EXPECT_NE(r.reply.find(c.text), std::string::npos) << r.reply;
        EXPECT_NE(h.read("morvel/lognopas.prt").find("N0ABC"), std::string::npos);
        EXPECT_FALSE(h.exists("morvel/N0ABC0.TMP"));
    }
}

// A secret that is not base32 or carries less than 128 bits is a wrong line
// of users.prt (error 7): the station gets its port's method (OPEN here).
TEST(OneTimeSessions, ASecretThatIsNoSecretIsError7)
{
    const char *lines[] = {
        "*  TOTP  GEZDGNBVGY3TQOJQGEZDGNBVG",           // 125 bits
        "*  HOTP  GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJ1",    // "1" is no base32 letter
        "*  TOTP",
    };
    for (const char *line : lines) {
        SCOPED_TRACE(line);
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users(std::string("N0ABC\n") + line + "\n-\n");
        EXPECT_EQ(h.connect("N0ABC-0").result, 0);
        EXPECT_EQ(reported_error_line(h), expected_error_line(7, 2));
    }
}

// A right code whose use cannot be recorded is refused (error 10): taken
// without its record it could be taken again. Once the record can be
// written, the same code, never taken, is good.
TEST(OneTimeSessions, ACodeWhoseUseCannotBeRecordedIsRefused)
{
    HostDir h;
    set_up_station(h, "HOTP");
    ASSERT_EQ(h.connect("N0ABC-0").result, 1);
    plat_test_fail(PLAT_FAULT_RENAME, 1, USED, true);
    EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(0)).result, 2);
    EXPECT_NE(reported_error_line(h).find("*** ERROR 00110"), std::string::npos) << reported_error_line(h);
    plat_test_clear_faults();
    ASSERT_EQ(h.connect("N0ABC-0").result, 1);
    EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(0)).result, 0);
}

// Wrong codes are failures for the guard as any wrong answer: the one that
// reaches the limit is refused, and so is the next call, whose right code
// is never taken, nor recorded as used.
TEST(OneTimeSessions, WrongCodesCountForTheGuard)
{
    HostDir h;
    set_up_station(h, "HOTP");
    h.write("morvel/guard.prt", "FAILURES 2 MINUTES 15\n");
    ASSERT_EQ(h.connect("N0ABC-0").result, 1);
    EXPECT_EQ(h.answer("N0ABC-0", 1, "111111").result, 1) << "the first failure";
    EXPECT_EQ(h.answer("N0ABC-0", 2, "111111").result, 2) << "the second locks out";
    EXPECT_EQ(h.connect("N0ABC-0").result, 2);
    EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(0)).result, 2);
    EXPECT_FALSE(h.exists(USED));
}

// A right code given after the challenge expired is refused and left
// unused: the station's next challenge still takes it.
TEST(OneTimeSessions, ALateCodeIsRefusedAndNotSpent)
{
    HostDir h;
    set_up_station(h, "HOTP");
    ASSERT_EQ(h.connect("N0ABC-0").result, 1);
    h.set_clock(2026, 12, 8, 21, 41, 5, 0);
    EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(0)).result, 2);
    EXPECT_FALSE(h.exists(USED));
    auto c = h.connect("N0ABC-0");
    ASSERT_EQ(c.result, 1);
    EXPECT_EQ(challenge_line(c.reply), "PASSWORD> HOTP 0");
    EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(0)).result, 0);
}

// A code heard from one station is worth nothing to any other station whose
// entry carries the same secret: every SSID of the callsign (a telnet front
// end passes SSIDs above 15) and every station under a wildcard header. The
// other stations' HOTP challenge names the secret's next code.
TEST(OneTimeSessions, AHeardCodeIsSpentForEveryStationOfTheSecret)
{
    const struct {
        const char *method;
        const char *header;
        const char *owner;
        std::vector<std::string> listeners;
    } cases[] = {
        {"TOTP", "N0ABC", "N0ABC-0", {"N0ABC-1", "N0ABC-15", "N0ABC-200"}},
        {"HOTP", "N0ABC", "N0ABC-0", {"N0ABC-1", "N0ABC-15", "N0ABC-200"}},
        {"TOTP", "N8*", "N8AAA-0", {"N8BBB-0", "N8CCC-0", "N8AAA-1"}},
        {"HOTP", "N8*", "N8AAA-0", {"N8BBB-0", "N8CCC-0", "N8AAA-1"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.method) + " under " + c.header);
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users(std::string(c.header) + "\n*  " + c.method + "  " + SECRET + "\n-\n");
        bool hotp = std::string(c.method) == "HOTP";
        std::string heard = hotp ? code_of(0) : code_of(step_now());
        ASSERT_EQ(h.connect(c.owner).result, 1);
        ASSERT_EQ(h.answer(c.owner, 1, heard).result, 0);
        for (const auto &listener : c.listeners) {
            SCOPED_TRACE(listener);
            auto challenge = h.connect(listener);
            ASSERT_EQ(challenge.result, 1);
            if (hotp) {
                EXPECT_EQ(challenge_line(challenge.reply), "PASSWORD> HOTP 1");
            }
            EXPECT_EQ(h.answer(listener, 1, heard).result, 1) << "the heard code let " << listener << " in";
        }
    }
}

// The record of older filters, one line a station, is read for the secret:
// its value is the highest any station of the secret reached, another
// secret's lines stay as they were, and the secret's lines become one.
TEST(OneTimeSessions, TheOlderRecordIsReadPerSecret)
{
    HostDir h;
    set_up_station(h, "HOTP");
    const std::string other = "N0XYZ-0 HOTP 50 0badcafe\n", totp = std::string("N0ABC-0 TOTP 9 ") + TAG + "\n";
    h.write(USED, std::string("N0ABC-3 HOTP 7 ") + TAG + "\nN0ABC-0 HOTP 2 " + TAG + "\n" + other + totp);
    auto c = h.connect("N0ABC-0");
    ASSERT_EQ(c.result, 1);
    EXPECT_EQ(challenge_line(c.reply), "PASSWORD> HOTP 7") << "N0ABC-3 had used up to 6";
    EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(4)).result, 1);
    EXPECT_EQ(h.answer("N0ABC-0", 2, code_of(7)).result, 0);
    std::string record = h.read(USED);
    EXPECT_NE(record.find(std::string("\n") + TAG + " HOTP 8\n"), std::string::npos) << record;
    EXPECT_NE(record.find(other), std::string::npos) << record;
    EXPECT_NE(record.find(totp), std::string::npos) << record;
    EXPECT_EQ(record.find("N0ABC-3 HOTP"), std::string::npos) << record;
    EXPECT_EQ(record.find("N0ABC-0 HOTP"), std::string::npos) << record;
    EXPECT_EQ(challenge_line(h.connect("N0ABC-9").reply), "PASSWORD> HOTP 8");
}

// A line of the record that is none of its own could hide a used code: the
// code is refused (error 10 naming the record, mailed once), as for a file
// that cannot be read; mended, the next right code is taken and the error
// is news again.
TEST(OneTimeSessions, ARecordLineThatIsNoneOfOursRefusesTheCode)
{
    const std::string error = "*** ERROR 00110: Unable to open temporal user file (otpused.prt)";
    const char *lines[] = {
        "garbage",
        "94fa1ae7 TOTP",
        "94fa1ae7 TOTP 1x",
        "94fa1ae TOTP 1",
        "94fa1ae7 MOTP 1",
        "N0ABC-0 TOTP 1 94fa1ae7 extra",
        "N0ABC0 TOTP 1 94fa1ae7",
        "94fa1ae7 TOTP 99999999999999999999",
    };
    for (const char *line : lines) {
        SCOPED_TRACE(line);
        HostDir h;
        set_up_station(h, "TOTP");
        h.write(USED, std::string("# kept\nN0XYZ-0 TOTP 5 0badcafe\n") + line + "\n");
        ASSERT_EQ(h.connect("N0ABC-0").result, 1);
        auto r = h.answer("N0ABC-0", 1, code_of(step_now()));
        EXPECT_EQ(r.result, 2) << r.reply;
        EXPECT_EQ(reported_error_line(h), error);
        ASSERT_EQ(h.connect("N0ABC-0").result, 1);
        EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(step_now())).result, 2);
        EXPECT_EQ(count_lines(h.read(MAIL_IMPORT), error), 1) << "mailed once";
        EXPECT_TRUE(h.exists("morvel/ERROR10-otpused.TMP"));
        h.write(USED, "N0XYZ-0 TOTP 5 0badcafe\n");
        ASSERT_EQ(h.connect("N0ABC-0").result, 1);
        EXPECT_EQ(h.answer("N0ABC-0", 1, code_of(step_now())).result, 0);
        EXPECT_FALSE(h.exists("morvel/ERROR10-otpused.TMP"));
    }
    HostDir h;
    set_up_station(h, "HOTP");
    h.write(USED, "garbage\n");
    EXPECT_EQ(h.connect("N0ABC-0").result, 2) << "no HOTP number to show";
    EXPECT_EQ(reported_error_line(h), error);
}

} // namespace

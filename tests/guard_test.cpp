// guard_test.cpp - the guard against repeated failures: a callsign that
// fails n times within m minutes is refused until m minutes after its last
// failure; the console stays open; the sysops hear of each lockout once.
#include "support/challenge_reply.h"
#include "support/host_dir.h"
#include "support/reported_error.h"
#include "report/lockouts.h"

#include <gtest/gtest.h>

namespace {

const char *const STATE = "morvel/N0ABC0.TMP";
const char *const GUARD_FILE = "morvel/guard.dat";
const char *const EXCLUSION_LOG = "morvel/logexcld.prt";
const std::string DENIED = "\n*** MISTAKEN IDENTITY - DENIED ACCESS!\n\n";

// A station under NORMAL on every port, three attempts, and guard.prt.
void set_up(HostDir &h, const std::string &guard = "# three strikes\nFAILURES 3 MINUTES 15\n")
{
    write_filter_config(h, FilterOptions());
    h.write_users("N0ABC\n* NORMAL Secret12\n-\n");
    if (!guard.empty())
        h.write("morvel/guard.prt", guard);
}

// at - the test clock, minutes and seconds after 21:30:05.
void at(HostDir &h, int minutes, int seconds = 0)
{
    int total = 5 + 60 * (30 + minutes) + seconds;
    h.set_clock(2026, 12, 8, 21 + total / 3600, total / 60 % 60, total % 60, 0);
}

// temporary_left - a file being rewritten stands in morvel (its name ends in ".new").
bool temporary_left(const HostDir &h)
{
    for (const auto &name : h.list("morvel"))
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".new") == 0)
            return true;
    return false;
}

long guard_mails(const HostDir &h)
{
    return h.exists(MAIL_IMPORT) ? count_lines(h.read(MAIL_IMPORT), "GUARD") : 0;
}

// Three wrong answers in one connection lock N0ABC out: the third is refused
// although the limit of three is reached only there, and the next
// connection, of any SSID, gets no challenge. The first refusal mails the
// sysop and logs the station as excluded; the next refusal does neither.
TEST(Guard, LocksOutAfterTheNthFailureAndReportsOnce)
{
    HostDir h;
    set_up(h, "FAILURES 2 MINUTES 15\n");
    ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
    EXPECT_EQ(h.answer("N0ABC-0", 1, "wrong", 1).result, 1) << "the first failure";
    auto r = h.answer("N0ABC-0", 2, "wrong", 1);
    EXPECT_EQ(r.result, 2) << "the second failure locks out, attempts left or not";
    EXPECT_EQ(r.reply, DENIED);
    EXPECT_FALSE(h.exists(STATE));
    EXPECT_EQ(guard_mails(h), 1);
    std::string mail = h.read(MAIL_IMPORT);
    EXPECT_NE(mail.find("SP N0SYS < MORVEL\nGUARD\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("N0ABC: 2 failures, refused until 21:45:05 08-12-2026."), std::string::npos) << mail;
    std::string excluded = h.read(EXCLUSION_LOG);
    EXPECT_NE(excluded.find("N0ABC"), std::string::npos);

    for (const char *station : {"N0ABC-0", "n0abc-7"}) {
        auto locked = h.connect(station, 2);
        EXPECT_EQ(locked.result, 2) << station;
        EXPECT_EQ(locked.reply, TAG) << station;
    }
    EXPECT_FALSE(h.exists(STATE));
    EXPECT_FALSE(h.exists("morvel/n0abc7.TMP"));
    EXPECT_EQ(guard_mails(h), 1) << "one mail per lockout";
    EXPECT_EQ(h.read(EXCLUSION_LOG), excluded);
    EXPECT_TRUE(nothing_reported(h));
    EXPECT_EQ(h.connect("N0XYZ-0", 1).result, 0) << "other callsigns keep their port's OPEN";
}

// The lockout lasts m minutes from the last failure; then the count starts
// again from nothing. Failures further apart than m minutes never add up.
TEST(Guard, LockoutEndsMMinutesAfterTheLastFailure)
{
    HostDir h;
    set_up(h, "FAILURES 2 MINUTES 15\n");
    h.connect("N0ABC-0", 1);
    ASSERT_EQ(h.answer("N0ABC-0", 1, "wrong", 1).result, 1);
    at(h, 1);
    ASSERT_EQ(h.answer("N0ABC-0", 2, "wrong", 1).result, 2);
    at(h, 15, 59);
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 2);
    at(h, 16);
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 1) << "15 minutes after the last failure";
    at(h, 17);
    EXPECT_EQ(h.answer("N0ABC-0", 1, "wrong", 1).result, 1) << "one failure counted since";
    at(h, 33);
    h.connect("N0ABC-0", 1);
    EXPECT_EQ(h.answer("N0ABC-0", 1, "wrong", 1).result, 1) << "16 minutes after the one before";
    EXPECT_EQ(guard_mails(h), 1);
}

// Each lockout leaves one line in the lockout log, from the failure that
// locked until the end, whatever refusals follow: guard.dat forgets a
// lockout once it has run out, the log keeps it for the sysop and the
// report. The filter's reader reads back what its writer wrote.
TEST(Guard, EachLockoutIsKeptInTheLockoutLog)
{
    HostDir h;
    set_up(h, "FAILURES 2 MINUTES 15\n");
    h.connect("N0ABC-0", 1);
    h.answer("N0ABC-0", 1, "wrong", 1);
    at(h, 1);
    ASSERT_EQ(h.answer("N0ABC-0", 2, "wrong", 1).result, 2);
    at(h, 2);
    EXPECT_EQ(h.connect("N0ABC-3", 1).result, 2);
    at(h, 40);
    h.connect("n0abc-1", 1);
    h.answer("n0abc-1", 1, "wrong", 1);
    h.answer("n0abc-1", 2, "wrong", 1);
    std::string log = h.read("morvel/lockouts.prt");
    EXPECT_EQ(log, "# The guard's lockouts: callsign, failures, from (date time), until (date time)\n"
                   "N0ABC 2 08-12-2026 21:31:05 08-12-2026 21:46:05\n"
                   "N0ABC 2 08-12-2026 22:10:05 08-12-2026 22:25:05\n");
    LockoutEntry e;
    EXPECT_FALSE(read_lockout_entry("# The guard's lockouts: callsign, failures, from (date time), until", &e));
    ASSERT_TRUE(read_lockout_entry("N0ABC 2 08-12-2026 22:10:05 08-12-2026 22:25:05\n", &e));
    EXPECT_STREQ(e.callsign, "N0ABC");
    EXPECT_EQ(e.failures, 2);
    EXPECT_EQ(e.from.tm_mday, 8);
    EXPECT_EQ(e.from.tm_hour, 22);
    EXPECT_EQ(e.until.tm_min, 25);
    EXPECT_FALSE(read_lockout_entry("N0ABC 2 08-13-2026 22:10:05 08-12-2026 22:25:05\n", &e)) << "month 13";
}

// A new connection while a challenge waits abandons it, and that is a
// failure: calling again does not buy fresh guesses.
TEST(Guard, AbandonedChallengesCount)
{
    HostDir h;
    set_up(h);
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 1);
    EXPECT_EQ(h.connect("N0ABC-1", 1).result, 1) << "another SSID, its own state file";
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 1) << "abandons the first challenge: failure 1";
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 1) << "failure 2";
    auto r = h.connect("N0ABC-0", 1);
    EXPECT_EQ(r.result, 2) << "failure 3 is refused itself";
    EXPECT_EQ(r.reply, TAG);
    EXPECT_FALSE(h.exists(STATE)) << "the abandoned challenge ends";
    EXPECT_EQ(guard_mails(h), 1);
}

// The console is never refused, so the sysop always gets in; its own
// failures still count for the callsign's radio connections.
TEST(Guard, ConsoleIsNeverRefused)
{
    HostDir h;
    set_up(h, "FAILURES 1 MINUTES 15\n");
    ASSERT_EQ(h.connect("N0ABC-0", 0).result, 1);
    auto r = h.answer("N0ABC-0", 3, "wrong", 0);
    EXPECT_EQ(r.result, 2) << "the last answer, refused as always";
    EXPECT_EQ(guard_mails(h), 0) << "the console was not refused by the guard";
    EXPECT_EQ(h.connect("N0ABC-0", 0).result, 1);
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 2);
    EXPECT_EQ(guard_mails(h), 1);
    auto shown = parse_challenge(h.connect("N0ABC-0", 0).reply);
    EXPECT_EQ(h.answer("N0ABC-0", 1, chars_at("Secret12", shown.positions), 0).result, 0);
}

// A partner BBS's forward login is no caller's attempt: it counts nothing
// and is never refused.
TEST(Guard, ForwardLoginsAreNotCounted)
{
    HostDir h;
    set_up(h, "FAILURES 1 MINUTES 15\n");
    h.write_users("N0ABC\n* FORWARD Shared1\n-\n");
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(h.forward("N0ABC-0", "no challenge").result, 2);
    EXPECT_EQ(h.forward("N0ABC-0", "![0123456789]").result, 0);
    EXPECT_EQ(h.connect("N0ABC-0", 1, 0x10).result, 1);
}

// The guard's file holds callsigns, counts and times, never a password or
// an expected answer, and is replaced whole: no temporary file stays.
TEST(Guard, ItsFileHoldsNoSecret)
{
    HostDir h;
    set_up(h);
    auto shown = parse_challenge(h.connect("N0ABC-0", 1).reply);
    std::string expected = chars_at("Secret12", shown.positions);
    h.answer("N0ABC-0", 1, "wrong", 1);
    std::string file = h.read(GUARD_FILE);
    EXPECT_NE(file.find("N0ABC 1 "), std::string::npos) << file;
    EXPECT_EQ(file.find("Secret12"), std::string::npos);
    EXPECT_EQ(file.find("wrong"), std::string::npos);
    EXPECT_FALSE(temporary_left(h));
}

// A guard file that cannot be put in place keeps what it held, whole, and no
// temporary stays beside it; the challenge goes on as without the guard.
TEST(Guard, ItsFileStaysWholeWhenItCannotBeReplaced)
{
    HostDir h;
    set_up(h);
    ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
    ASSERT_EQ(h.answer("N0ABC-0", 1, "wrong", 1).result, 1);
    std::string kept = h.read(GUARD_FILE);
    plat_test_fail(PLAT_FAULT_RENAME, 1, GUARD_FILE, true);
    EXPECT_EQ(h.answer("N0ABC-0", 2, "wrong", 1).result, 1);
    EXPECT_EQ(h.read(GUARD_FILE), kept);
    plat_test_clear_faults();
    EXPECT_FALSE(temporary_left(h));
}

// A wrong line of guard.prt is error 5 naming guard.prt and its line; the
// guard is then off, and the decision goes on as without the file: the
// station is challenged, not admitted as error 5 of config.prt would.
TEST(Guard, WrongLineIsError5AndLeavesTheGuardOff)
{
    const struct {
        const char *content;
        int line;
    } cases[] = {
        {"FAILURES 3\n", 1},
        {"# comment\nFAILURES 0 MINUTES 5\n", 2},
        {"FAILURES 3 MINUTES 15\nEXPIRE x\n", 2},
        {"FAILURES 3 MINUTES 15 EXTRA\n", 1},
        {"\nLOCK 3\n", 2},
        {"FAILURES 3 MINUTES 1441\n", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.content);
        HostDir h;
        set_up(h, c.content);
        ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
        std::string error = reported_error_line(h);
        EXPECT_EQ(error, "*** ERROR 0015: Incorrect data in line " + std::to_string(c.line) + " (guard.prt)");
        for (int attempt = 1; attempt <= 3; attempt++)
            h.answer("N0ABC-0", attempt, "wrong", 1);
        EXPECT_EQ(h.connect("N0ABC-0", 1).result, 1) << "no guard";
        EXPECT_EQ(guard_mails(h), 0);
    }
}

// Each wrong guard.prt is mailed once, though config.prt is read without
// fault at every call; mended, its next fault is news again.
TEST(Guard, WrongLineIsMailedOnce)
{
    HostDir h;
    set_up(h, "FAILURES 3\n");
    h.connect("N0ABC-0", 1);
    h.connect("N0ABC-0", 1);
    std::string mail = h.read(MAIL_IMPORT);
    EXPECT_EQ(count_lines(mail, "*** ERROR 0015: Incorrect data in line 1 (guard.prt)"), 1) << mail;
    h.write("morvel/guard.prt", "FAILURES 3 MINUTES 5\n");
    h.connect("N0ABC-0", 1);
    h.write("morvel/guard.prt", "EXPIRE\n");
    h.connect("N0ABC-0", 1);
    EXPECT_EQ(count_lines(h.read(MAIL_IMPORT), "*** ERROR 0015: Incorrect data in line 1 (guard.prt)"), 2);
}

} // namespace

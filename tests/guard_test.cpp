// guard_test.cpp - the guard against repeated failures: a callsign that
// fails n times within m minutes is refused until m minutes after its last
// failure; the console stays open; the sysops hear of each lockout once.
#include "auth/one_time_codes.h"
#include "platform/platform.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"
#include "support/reported_error.h"
#include "report/lockouts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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

// right_answer - the right answer to a NORMAL challenge of Secret12 in reply.
std::string right_answer(const std::string &reply)
{
    return chars_at("Secret12", parse_challenge(reply).positions);
}

// Challenges opened on other SSIDs and ports before the lockout do not
// carry the guessing on: the failure that locks the callsign out ends them
// all, and while it is locked an answer is refused unchecked, the right one
// too. Another station whose file name looks alike (N0ABC1-7 writes
// N0ABC17.TMP) and the console keep theirs. Refused answers count nothing,
// so the lockout ends m minutes after the last real failure.
TEST(Guard, ALockoutEndsEveryChallengeOfTheCallsign)
{
    HostDir h;
    FilterOptions o;
    o.ports = {"0 OPEN", "1 OPEN", "2 OPEN"};
    write_filter_config(h, o);
    h.write_users("N0ABC\n* NORMAL Secret12\n-\nN0ABC1\n* NORMAL Secret12\n-\n");
    h.write("morvel/guard.prt", "FAILURES 3 MINUTES 15\n");
    const struct {
        const char *station;
        int port;
        int verdict;    // of its right answer after the lockout
    } pending[] = {
        {"N0ABC-1", 1, 2}, {"N0ABC-15", 2, 2}, {"n0abc-200", 1, 2}, {"N0ABC-7", 2, 2},
        {"N0ABC1-7", 1, 0}, {"N0ABC-9", 0, 0},
    };
    std::vector<std::string> answers;
    for (const auto &p : pending) {
        auto c = h.connect(p.station, p.port);
        ASSERT_EQ(c.result, 1) << p.station;
        answers.push_back(right_answer(c.reply));
    }
    ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
    h.answer("N0ABC-0", 1, "wrong", 1);
    h.answer("N0ABC-0", 2, "wrong", 1);
    ASSERT_EQ(h.answer("N0ABC-0", 3, "wrong", 1).result, 2);
    EXPECT_TRUE(h.exists("morvel/N0ABC17.TMP"));
    EXPECT_TRUE(h.exists("morvel/N0ABC9.TMP"));
    at(h, 9);
    for (size_t i = 0; i < answers.size(); i++) {
        SCOPED_TRACE(pending[i].station);
        auto r = h.answer(pending[i].station, 1, answers[i], pending[i].port);
        EXPECT_EQ(r.result, pending[i].verdict) << r.reply;
    }
    EXPECT_EQ(guard_mails(h), 1);
    EXPECT_TRUE(nothing_reported(h)) << "a challenge the lockout ended is no error";
    at(h, 15);
    EXPECT_EQ(h.connect("N0ABC-3", 1).result, 1) << "the refused answers did not extend the lockout";
}

// The guard counts and refuses only connections challenged for an answer
// a caller could guess. With N0ABC locked out through port 1, its other
// ports still admit it without a password, a partner whose only answer is a
// digest still gets its challenge, and every guessable challenge is refused.
TEST(Guard, RefusesOnlyWhereAGuessableAnswerIsAsked)
{
    const char *const secret = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";
    const struct {
        const char *line;        // N0ABC's line for port 2
        std::string attempts;    // line 3 of config.prt
        int flags;
        int verdict;
    } cases[] = {
        {"", "3", 0, 0},                     // no line: the port's OPEN
        {"2 OPEN", "3", 0, 0},
        {"2 HOLD", "3", 0, 4},
        {"2 READONLY", "3", 0, 3},
        {"2 GUEST", "3", 0, 11},
        {"2 BBS", "3", 0x10, 0},
        {"2 FORWARD Shared12", "3", 0x10, 1},
        {"2 FORWARD5 Shared12", "3", 0x10, 1},
        {"2 MD5 Shared12", "3 - N", 0, 1},    // letter N: a digest only
        {"2 MD5 Shared12", "3", 0, 2},
        {"2 NORMAL Shared12", "3", 0, 2},
        {"2 FIXED Shared12", "3", 0, 2},
        {"2 FLEXNET 12345", "3", 0, 2},
        {"2 TABLE", "3", 0, 2},
        {"2 TOTP", "3", 0, 2},
        {"2 HOTP", "3", 0, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        HostDir h;
        FilterOptions o;
        o.attempts = c.attempts;
        write_filter_config(h, o);
        std::string line = c.line;
        if (line == "2 TOTP" || line == "2 HOTP")
            line += std::string(" ") + secret;
        h.write_users("N0ABC\n1 NORMAL Secret12\n" + line + (line.empty() ? "" : "\n") + "-\n");
        h.write("morvel/N0ABC.TBL", "8 TodaysPw\n");
        h.write("morvel/guard.prt", "FAILURES 1 MINUTES 15\n");
        ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
        ASSERT_EQ(h.answer("N0ABC-0", 1, "wrong", 1).result, 2);
        EXPECT_EQ(h.connect("N0ABC-0", 2, c.flags).result, c.verdict);
        EXPECT_EQ(h.connect("N0ABC-0", 1).result, 2) << "still locked out";
    }
}

// A partner's wrong digests are no guesses: they neither count nor lock
// the callsign out, so a stranger cannot stop the partner's mail by failing
// in its name.
TEST(Guard, WrongDigestsAreNotCounted)
{
    HostDir h;
    set_up(h, "FAILURES 1 MINUTES 15\n");
    h.write_users("N0BBS\n* FORWARD Shared12\n-\n");
    for (int i = 0; i < 6; i++) {
        ASSERT_EQ(h.connect("N0BBS-0", 1, 0x10).result, 1);
        EXPECT_EQ(h.answer("N0BBS-0", 1, "0123456789abcdef0123456789abcdef", 1, 0x10).result, 2);
    }
    EXPECT_FALSE(h.exists(GUARD_FILE));
    auto c = h.connect("N0BBS-0", 1, 0x10);
    ASSERT_EQ(c.result, 1);
    std::string digits = parse_challenge(c.reply).digits;
    EXPECT_EQ(h.answer("N0BBS-0", 1, digest_text(false, digits + "Shared12"), 1, 0x10).result, 0);
}

// guard_file_line - a line of guard.dat: callsign, failures, the last one
// minutes before the test clock's time, reported or not.
std::string guard_file_line(const std::string &callsign, int failures, int minutes_ago, bool mailed)
{
    long long now = (long long)plat_now_seconds();
    return callsign + " " + std::to_string(failures) + " " + std::to_string(now - 60LL * minutes_ago) + " " +
           (mailed ? "1" : "0") + "\n";
}

// throwaway - the n-th of many callsigns.
std::string throwaway(int n)
{
    char call[8];
    snprintf(call, sizeof call, "T%05d", n);
    return call;
}

// A full table never drops a lockout while an unlocked callsign can go, and
// keeps 4,096 callsigns; with every one locked out, the lockout nearest its
// end goes first.
TEST(Guard, ItsTableCannotBeFlushed)
{
    const struct {
        const char *what;
        int throwaway_failures;
        const char *dropped;
    } cases[] = {
        {"4,095 callsigns failed once each", 1, "T00000"},
        {"4,095 callsigns locked out", 3, "T00000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        set_up(h);
        h.write_users("N0ABC\n* NORMAL Secret12\n-\nN0NEW\n* NORMAL Secret12\n-\n");
        ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
        std::string file = guard_file_line("N0ABC", 3, 8, true);
        // T00000 failed longest ago; N0ABC's lockout is older than the others'.
        file += guard_file_line(throwaway(0), c.throwaway_failures, 10, c.throwaway_failures >= 3);
        for (int i = 1; i < 4095; i++)
            file += guard_file_line(throwaway(i), c.throwaway_failures, 1, c.throwaway_failures >= 3);
        h.write(GUARD_FILE, file);
        EXPECT_EQ(h.connect("N0ABC-1", 1).result, 2) << "the 4,096th callsign kept";
        ASSERT_EQ(h.connect("N0NEW-0", 1).result, 1);
        EXPECT_EQ(h.answer("N0NEW-0", 1, "wrong", 1).result, 1);
        std::string after = h.read(GUARD_FILE);
        EXPECT_EQ(after.find(std::string("\n") + c.dropped + " "), std::string::npos);
        EXPECT_NE(after.find("\nN0NEW 1 "), std::string::npos);
        EXPECT_NE(after.find("\n" + throwaway(4094) + " "), std::string::npos);
        EXPECT_EQ(h.connect("N0ABC-2", 1).result, 2) << "the lockout stays";
    }
}

// While guard.prt is in force, a guard file that cannot be read or written
// is error 10 naming guard.dat, mailed once; the challenges go on as
// without the guard. Once it is written again, the next fault is news.
TEST(Guard, AGuardThatCannotWorkSaysSo)
{
    const std::string error = "*** ERROR 00110: Unable to open temporal user file (guard.dat)";
    const struct {
        const char *what;
        void (*spoil)(HostDir &h);
    } cases[] = {
        {"a directory", [](HostDir &h) { h.make_dir(GUARD_FILE); }},
#ifndef _WIN32
        {"a symbolic link",
         [](HostDir &h) {
             h.write("elsewhere", "");
             std::filesystem::create_symlink(std::filesystem::path(h.root()) / "elsewhere",
                                             std::filesystem::path(h.root()) / GUARD_FILE);
         }},
#endif
        {"not readable", [](HostDir &) { plat_test_deny(GUARD_FILE, PLAT_MAY_READ); }},
        {"not writable", [](HostDir &) { plat_test_deny(GUARD_FILE, PLAT_MAY_WRITE); }},
        {"not replaceable", [](HostDir &) { plat_test_fail(PLAT_FAULT_RENAME, 1, GUARD_FILE, true); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        set_up(h, "FAILURES 2 MINUTES 15\n");
        ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
        if (std::string(c.what) != "a directory" && std::string(c.what) != "a symbolic link")
            h.answer("N0ABC-0", 1, "wrong", 1);   // guard.dat exists: one failure counted
        c.spoil(h);
        for (int call = 0; call < 3; call++) {
            ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1) << "no lockout";
            EXPECT_EQ(h.answer("N0ABC-0", 1, "wrong", 1).result, 1);
            EXPECT_EQ(h.answer("N0ABC-0", 2, "wrong", 1).result, 1);
        }
        EXPECT_EQ(reported_error_line(h), error);
        EXPECT_EQ(count_lines(h.read(MAIL_IMPORT), error), 1) << "mailed once";
        EXPECT_EQ(guard_mails(h), 0);
        plat_test_clear_faults();
        if (std::filesystem::is_directory(std::filesystem::path(h.root()) / GUARD_FILE) ||
            std::filesystem::is_symlink(std::filesystem::path(h.root()) / GUARD_FILE))
            std::filesystem::remove(std::filesystem::path(h.root()) / GUARD_FILE);
        EXPECT_EQ(h.answer("N0ABC-0", 3, "wrong", 1).result, 2) << "the guard works again";
        EXPECT_FALSE(h.exists("morvel/ERROR10-guard.TMP"));
    }
}

// One-time-code stations under a wildcard header are counted and locked out
// per callsign: the lockout ends N8AAA's challenges on every SSID, its right
// code is then refused unchecked and so not spent, and N8BBB, under the same
// entry, keeps its challenge and gets in with that very code.
TEST(Guard, OneTimeCodeStationsUnderAWildcardAreLockedOutPerCallsign)
{
    const char *const secret = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";
    const std::string key = "12345678901234567890";
    for (const char *method : {"TOTP", "HOTP"}) {
        SCOPED_TRACE(method);
        HostDir h;
        set_up(h, "FAILURES 2 MINUTES 15\n");
        h.write_users(std::string("N8*\n* ") + method + " " + secret + "\n-\n");
        char code[OTP_CODE_TEXT];
        uint64_t counter = std::string(method) == "HOTP" ? 0 : (uint64_t)plat_now_seconds() / 30;
        otp_code_text(reinterpret_cast<const unsigned char *>(key.data()), key.size(), counter, code);
        ASSERT_EQ(h.connect("N8AAA-1", 1).result, 1);
        ASSERT_EQ(h.connect("N8BBB-0", 1).result, 1);
        ASSERT_EQ(h.connect("N8AAA-0", 1).result, 1);
        EXPECT_EQ(h.answer("N8AAA-0", 1, "000000", 1).result, 1);
        EXPECT_EQ(h.answer("N8AAA-0", 2, "000000", 1).result, 2) << "the second failure locks N8AAA out";
        EXPECT_FALSE(h.exists("morvel/N8AAA1.TMP"));
        EXPECT_EQ(h.answer("N8AAA-1", 1, code, 1).result, 2);
        EXPECT_EQ(h.connect("N8AAA-7", 1).result, 2);
        EXPECT_FALSE(h.exists("morvel/otpused.prt")) << "a refused answer spends no code";
        EXPECT_EQ(h.answer("N8BBB-0", 1, code, 1).result, 0);
    }
}

} // namespace

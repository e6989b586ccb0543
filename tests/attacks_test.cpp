// attacks_test.cpp - ways in without the password, tried as a hostile caller
// or a hostile partner BBS would, each as the whole sequence of calls the
// host makes: a replayed digest, a reflected forward challenge, a digit sum
// hidden in a row of digits, a state file shared by two stations, and a
// callsign in lower case.
#include "platform/platform.h"
#include "platform/test_hooks.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"
#include "support/reported_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

const std::string DENIED = "\n*** MISTAKEN IDENTITY - DENIED ACCESS!\n\n";

// A digest answer overheard on the channel is worth nothing to the next
// connection, even one in the same second.
TEST(Attacks, OverheardDigestDoesNotAnswerTheNextChallenge)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0ABC\n* MD5 Secret12\n-\n");
    auto heard = parse_challenge(h.connect("N0ABC-0", 1).reply);
    std::string overheard = digest_text(true, heard.digits + "Secret12");
    ASSERT_EQ(h.answer("N0ABC-0", 1, overheard, 1).result, 0);

    auto next = h.connect("N0ABC-0", 1);
    ASSERT_EQ(next.result, 1);
    EXPECT_NE(parse_challenge(next.reply).digits, heard.digits);
    EXPECT_EQ(h.answer("N0ABC-0", 1, overheard, 1).result, 1) << "a wrong answer, challenged again";
}

// The forward-login answer is the digest our own FORWARD and MD5 challenges
// expect. A caller who was challenged as a station (any station, any SSID,
// whose password the partner shares), then plays the partner when the host
// forwards to it, sends the same digits back as its challenge and gets no
// answer; the challenge it holds ends with a wrong answer.
TEST(Attacks, ForwardLoginDoesNotAnswerOurOwnPendingChallenge)
{
    const struct {
        const char *station;   // the connection the attacker opens first
        const char *entry;     // its users.prt entry
    } cases[] = {
        {"N0FWD-0", "N0FWD\n* FORWARD Shared1\n-\n"},
        {"N0FWD-7", "N0FWD\n* FORWARD Shared1\n-\n"},
        {"N0MD-3", "N0MD\n* MD5 Shared1\n-\nN0FWD\n* FORWARD Shared1\n-\n"},
        {"N0F5-0", "N0F5\n* FORWARD5 Shared1\n-\nN0FWD\n* FORWARD5 Shared1\n-\n"},
    };
    const std::string prefill = "what the host had in the buffer";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.station);
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users(c.entry);
        auto challenge = h.connect(c.station, 1, 0x10);
        ASSERT_EQ(challenge.result, 1);
        std::string digits = parse_challenge(challenge.reply).digits;
        ASSERT_EQ(digits.size(), 10u);

        auto reflected = h.svc({"bbs", "N0FWD-0", "0", "0", "-1", "0", "1", "N0FWD> ![" + digits + "]"}, 1, prefill);
        EXPECT_EQ(reflected.result, 2);
        EXPECT_EQ(reflected.reply, prefill);

        auto r = h.answer(c.station, 1, reflected.reply.substr(0, 32), 1, 0x10);
        EXPECT_NE(r.result, 0);
        EXPECT_FALSE(h.exists("morvel/error.prt"));
    }
}

// Once no challenge with those digits is pending, the same line is answered:
// it is the pending challenge that is protected, not the digits.
TEST(Attacks, ForwardLoginAnswersAgainOnceTheChallengeHasEnded)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0FWD\n* FORWARD Shared1\n-\n");
    std::string digits = parse_challenge(h.connect("N0FWD-0", 1, 0x10).reply).digits;
    std::string line = "![" + digits + "]";
    ASSERT_EQ(h.forward("N0FWD-0", line).result, 2);
    ASSERT_EQ(h.answer("N0FWD-0", 1, digest_text(false, digits + "Shared1"), 1, 0x10).result, 0);
    auto r = h.forward("N0FWD-0", line);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.reply, digest_text(false, digits + "Shared1") + "\n");
}

// A FLEXNET answer holds one number, the sum: every further number would be
// one more guess, and the likeliest sums of a challenge fit in one answer.
// An echo of the digits shown is left out, with or without a blank before
// it; the sum inside a longer run of digits is a wrong answer.
TEST(Attacks, FlexnetAnswerIsOneNumber)
{
    using Build = std::string (*)(const std::string &sum, const std::string &shown);
    const struct {
        const char *what;
        Build answer;
        int verdict;
    } cases[] = {
        {"the sum", [](const std::string &s, const std::string &) { return s; }, 0},
        {"with leading zeros", [](const std::string &s, const std::string &) { return "00" + s; }, 0},
        {"after the echoed prompt", [](const std::string &s, const std::string &d) { return "PASSWORD> " + d + " " + s; }, 0},
        {"after a prompt, no blank", [](const std::string &s, const std::string &) { return "PASSWORD>" + s; }, 0},
        {"inside a word", [](const std::string &s, const std::string &) { return "sum=" + s + "."; }, 0},
        {"many guesses", [](const std::string &s, const std::string &) { return "1 " + s + " 2 3"; }, 2},
        {"echo and two guesses", [](const std::string &s, const std::string &d) { return d + " " + s + " 7"; }, 2},
        {"a second number", [](const std::string &s, const std::string &) { return "PASSWORD> " + s + "\t73"; }, 2},
        {"inside a run of digits", [](const std::string &s, const std::string &) { return "1" + s + "1"; }, 2},
        {"a longer number", [](const std::string &s, const std::string &) { return s + "0"; }, 2},
        {"only the echo", [](const std::string &, const std::string &d) { return d; }, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users("N0FLX\n* FLEXNET 30719\n-\n");
        auto shown = parse_challenge(h.connect("N0FLX-0", 1).reply);
        ASSERT_EQ(shown.digits.size(), 5u);
        int sum = flexnet_answer("30719", shown.digits);
        if (std::string(c.what) == "only the echo" && std::stoi(shown.digits) == sum)
            continue;
        auto r = h.answer("N0FLX-0", 1, c.answer(std::to_string(sum), shown.digits), 1);
        EXPECT_EQ(r.result, c.verdict);
        if (c.verdict == 2) {
            EXPECT_EQ(r.reply, DENIED);
        }
    }
}

// A FLEXNET key that is not five digits weighs nothing: every challenge
// would expect 0. Such an entry is a wrong line of users.prt, and the port's
// method decides (here OPEN on port 1, EXCLUDED on port 2).
TEST(Attacks, FlexnetKeyWithoutFiveDigitsIsAWrongLine)
{
    for (const char *key : {"abcde", "1234x", "12 45"}) {
        SCOPED_TRACE(key);
        HostDir h;
        FilterOptions o;
        o.ports = {"0 OPEN", "1 EXCLUDED"};
        write_filter_config(h, o);
        h.write_users(std::string("N0FLX\n* FLEXNET ") + key + "\n-\n");
        auto r = h.connect("N0FLX-0", 1);
        EXPECT_EQ(r.result, 2);
        EXPECT_TRUE(reported(h, 7, 2));
        EXPECT_EQ(h.answer("N0FLX-0", 1, "0", 1).result, 2);
    }
}

// A challenge that asked one position five times would be answered by a
// row of one letter, and rows of every letter fit in one answer. Every
// position is asked once before any is asked again: five distinct ones from
// a password of five or more, and each of a shorter one's in every run of
// its length. 40 challenges of the old draws would all pass with a chance
// below 1 in 10^10.
TEST(Attacks, PositionsAreDistinctUntilEveryOneWasAsked)
{
    const struct {
        const char *entry_line;
        size_t length;
    } cases[] = {
        {"* NORMAL abcde", 5}, {"* NORMAL Secret12", 8}, {"* MD5 abcdef", 6},
        {"* TABLE", 7},        {"* NORMAL ab", 2},       {"* NORMAL abc", 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.entry_line);
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write("morvel/N0ABC.TBL", "8 TodayPw\n");
        h.write_users(std::string("N0ABC\n") + c.entry_line + "\n-\n");
        for (int i = 0; i < 40; i++) {
            auto shown = parse_challenge(h.connect("N0ABC-0", 1).reply);
            ASSERT_EQ(shown.positions.size(), 5u);
            for (size_t from = 0; from < 5; from += c.length) {
                std::set<int> run(shown.positions.begin() + from,
                                  shown.positions.begin() + std::min<size_t>(5, from + c.length));
                EXPECT_EQ(run.size(), std::min<size_t>(5 - from, c.length));
            }
        }
    }
}

// One station, a weak NORMAL password on port 1 and MD5 digest-only (or
// restricted to read-only for plain answers) on port 2. Connection A waits
// at its MD5 challenge; connection B of the same station on port 1 gets a
// NORMAL challenge that replaces the state file; A answers with B's weak
// characters. The answer belongs to port 1's challenge: error 10, refused,
// and B's challenge stays pending for B.
TEST(Attacks, AnswerBelongsToThePortItWasAskedFor)
{
    for (const char *attempts : {"3 - N", "3 - R"}) {
        SCOPED_TRACE(attempts);
        HostDir h;
        FilterOptions o;
        o.attempts = attempts;
        write_filter_config(h, o);
        h.write_users("N0ABC\n1 NORMAL weak12\n2 MD5 Strong99\n-\n");
        ASSERT_EQ(h.connect("N0ABC-0", 2).result, 1);
        auto weak = parse_challenge(h.connect("N0ABC-0", 1).reply);
        std::string chars = chars_at("weak12", weak.positions);
        auto r = h.answer("N0ABC-0", 1, chars, 2);
        EXPECT_EQ(r.result, 2);
        EXPECT_EQ(r.reply, "");
        EXPECT_NE(reported_error_line(h).find("ERROR 00110"), std::string::npos);
        EXPECT_EQ(h.answer("N0ABC-0", 1, chars, 1).result, 0) << "B's own challenge";
    }
}

// The method that put a challenge is the station's method on that port when
// it is answered: a challenge of a method the sysop has since replaced can
// no longer be answered, and ends.
TEST(Attacks, AnswerBelongsToTheMethodItWasAskedFor)
{
    HostDir h;
    FilterOptions o;
    o.attempts = "3 - N";
    write_filter_config(h, o);
    h.write_users("N0ABC\n* NORMAL weak12\n-\n");
    auto weak = parse_challenge(h.connect("N0ABC-0", 1).reply);
    h.write_users("N0ABC\n* MD5 weak12\n-\n");
    EXPECT_EQ(h.answer("N0ABC-0", 1, chars_at("weak12", weak.positions), 1).result, 2);
    EXPECT_NE(reported_error_line(h).find("ERROR 00110"), std::string::npos);
    EXPECT_FALSE(h.exists("morvel/N0ABC0.TMP"));
}

// at - the test clock, minutes and seconds after the challenge at 21:30:05.
void at(HostDir &h, int minutes, int seconds = 0)
{
    int total = 5 + 60 * (30 + minutes) + seconds;
    h.set_clock(2026, 12, 8, 21 + total / 3600, total / 60 % 60, total % 60, 0);
}

// A challenge lives 10 minutes, or as guard.prt's EXPIRE says. A right
// answer after that is refused whatever the letters, logged as a failed
// password, and reported as no error.
TEST(Attacks, ChallengesExpire)
{
    const struct {
        const char *guard;       // guard.prt; null: none
        const char *attempts;
        int minutes, seconds;
        int verdict;
    } cases[] = {
        {nullptr, "3", 9, 59, 0},
        {nullptr, "3", 10, 0, 2},
        {nullptr, "3 CR", 60, 0, 2},
        {"EXPIRE 2\n", "3", 1, 59, 0},
        {"EXPIRE 2\n", "3", 2, 0, 2},
        {"EXPIRE 30\n", "3", 29, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.minutes) + ":" + std::to_string(c.seconds) + (c.guard ? c.guard : ""));
        HostDir h;
        FilterOptions o;
        o.attempts = c.attempts;
        write_filter_config(h, o);
        h.write_users("N0ABC\n* FIXED Fixed-Pass\n-\n");
        if (c.guard)
            h.write("morvel/guard.prt", c.guard);
        ASSERT_EQ(h.connect("N0ABC-0", 1).result, 1);
        at(h, c.minutes, c.seconds);
        auto r = h.answer("N0ABC-0", 1, "Fixed-Pass", 1);
        EXPECT_EQ(r.result, c.verdict);
        EXPECT_FALSE(h.exists("morvel/N0ABC0.TMP"));
        EXPECT_FALSE(h.exists("morvel/error.prt"));
        if (c.verdict == 2) {
            EXPECT_EQ(r.reply, DENIED);
            EXPECT_NE(h.read("morvel/lognopas.prt").find("N0ABC"), std::string::npos);
        }
    }
}

// A new challenge removes the expired state files of every station, and
// nothing else: not a challenge still running, not an error marker, not a
// file that only shares the extension.
TEST(Attacks, NewChallengeRemovesExpiredStateFilesOnly)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0OLD\n* FIXED OldPass\n-\nN0MID\n* MD5 MidPass\n-\nN0NEW\n* NORMAL NewPass\n-\n");
    h.write("morvel/ERROR8.TMP", "");
    h.write("morvel/NOTES.TMP", "a sysop's note\n");
    for (int ssid = 0; ssid < 3; ssid++)
        ASSERT_EQ(h.connect("N0OLD-" + std::to_string(ssid), 1).result, 1);
    at(h, 5);
    ASSERT_EQ(h.connect("N0MID-0", 1).result, 1);
    at(h, 11);
    ASSERT_EQ(h.connect("N0NEW-0", 1).result, 1);
    for (const char *gone : {"morvel/N0OLD0.TMP", "morvel/N0OLD1.TMP", "morvel/N0OLD2.TMP"})
        EXPECT_FALSE(h.exists(gone)) << gone;
    for (const char *kept : {"morvel/N0MID0.TMP", "morvel/N0NEW0.TMP", "morvel/ERROR8.TMP", "morvel/NOTES.TMP"})
        EXPECT_TRUE(h.exists(kept)) << kept;
}

// An attacker who holds our forward challenge gets the partner's filter to
// answer it; once the challenge has expired, that answer admits nothing,
// and the forward-login check no longer counts the expired file.
TEST(Attacks, RelayWindowClosesWithTheChallenge)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0FWD\n* FORWARD Shared1\n-\n");
    std::string digits = parse_challenge(h.connect("N0FWD-0", 1, 0x10).reply).digits;
    ASSERT_EQ(h.forward("N0FWD-0", "![" + digits + "]").result, 2) << "pending: not answered";
    at(h, 10);
    auto relayed = h.forward("N0FWD-0", "![" + digits + "]");
    ASSERT_EQ(relayed.result, 0) << "expired: answered";
    EXPECT_EQ(h.answer("N0FWD-0", 1, relayed.reply.substr(0, 32), 1, 0x10).result, 2);
}

// The forward-login check fails closed: a state file name that cannot be
// read as a state file might hold the very challenge, so no answer is given.
TEST(Attacks, ForwardLoginRefusesWhenAPendingNameCannotBeRead)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0FWD\n* FORWARD Shared1\n-\n");
    h.make_dir("morvel/N0XYZ0.TMP");
    EXPECT_EQ(h.forward("N0FWD-0", "![0123456789]").result, 2);
#ifndef _WIN32
    h.remove("morvel/N0XYZ0.TMP");
    ASSERT_EQ(symlink("nowhere", (h.root() + "/morvel/N0XYZ0.TMP").c_str()), 0);
    EXPECT_EQ(h.forward("N0FWD-0", "![0123456789]").result, 2);
#endif
}

// The forward-login check reads only the challenge files its index names,
// and fails closed there too: a named file that cannot be read, an index
// that cannot be read, and an index gone (searched without it, then rebuilt
// from the directory by the next challenge of any station) all leave the
// answer unsent while the challenge waits.
TEST(Attacks, ForwardLoginIndexFailsClosed)
{
    const struct {
        const char *what;
        void (*spoil)(HostDir &h);
    } cases[] = {
        {"named file not readable", [](HostDir &h) { h.remove("morvel/N0MD3.tmp"); h.make_dir("morvel/N0MD3.tmp"); }},
        {"index not readable", [](HostDir &h) { h.remove("morvel/pending.idx"); h.make_dir("morvel/pending.idx"); }},
        {"index gone", [](HostDir &h) { h.remove("morvel/pending.idx"); }},
        {"index gone, then another station challenged",
         [](HostDir &h) {
             h.remove("morvel/pending.idx");
             ASSERT_EQ(h.connect("N0NRM-1", 1).result, 1);
             EXPECT_EQ(h.read("morvel/pending.idx"), "N0MD3.tmp\n");
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users("N0MD\n* MD5 Shared1\n-\nN0FWD\n* FORWARD Shared1\n-\nN0NRM\n* NORMAL Secret12\n-\n");
        std::string digits = parse_challenge(h.connect("N0MD-3", 1).reply).digits;
        ASSERT_EQ(digits.size(), 10u);
        c.spoil(h);
        EXPECT_EQ(h.forward("N0FWD-0", "![" + digits + "]").result, 2);
    }
}

// A digest challenge that cannot be entered in the index is not put: the
// forward-login check would not know of it. Error 10, as for a state file
// that cannot be written.
TEST(Attacks, DigestChallengeOutsideTheIndexIsNotPut)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0MD\n* MD5 Shared1\n-\n");
    plat_test_fail(PLAT_FAULT_RENAME, 1, "morvel\\pending.idx", false);
    EXPECT_EQ(h.connect("N0MD-3", 1).result, 2);
    EXPECT_NE(reported_error_line(h).find("ERROR 00110"), std::string::npos);
    EXPECT_FALSE(h.exists("morvel/N0MD3.tmp"));
}

// A state file name that is a link to another file is never written,
// rewritten or removed: a hard link to users.prt and one FIXED challenge
// would put the password over every entry. Error 10 instead.
TEST(Attacks, StateFileIsNeverWrittenThroughALink)
{
    const std::string users = "N0ABC\n* FIXED Fixed-Pass\n-\nN0BAD\n* EXCLUDED\n-\n";
    for (bool hard : {true, false}) {
#ifdef _WIN32
        if (!hard)
            continue;
#endif
        SCOPED_TRACE(hard ? "hard link" : "symbolic link");
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users(users);
        std::string state = h.root() + "/morvel/N0ABC0.TMP", target = h.root() + "/morvel/users.prt";
        std::error_code ec;
        if (hard)
            std::filesystem::create_hard_link(target, state, ec);
        else
            std::filesystem::create_symlink(target, state, ec);
        ASSERT_FALSE(ec) << ec.message();
        auto r = h.connect("N0ABC-0", 1);
        EXPECT_EQ(r.result, 2);
        EXPECT_NE(reported_error_line(h).find("ERROR 00110"), std::string::npos);
        EXPECT_EQ(h.answer("N0ABC-0", 1, "Fixed-Pass", 1).result, 2);
        EXPECT_EQ(h.read("morvel/users.prt"), users);
        EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(state)));
        EXPECT_EQ(h.connect("N0BAD-0", 1).result, 2);
    }
}

// Two stations whose callsign and SSID run together the same way share one
// state file. While the first has a challenge pending, the second connects
// under its own FIXED password, which overwrites the file; that password
// does not answer the first station's challenge, and the second's own
// challenge stays pending for it. Refused also when error.prt cannot be
// written, which leaves other errors' verdicts to the caller.
TEST(Attacks, StateFileOfAnotherStationAnswersNothing)
{
    const struct {
        const char *victim, *intruder, *state;
        bool error_file_fails;
    } cases[] = {
        {"G4ABC-10", "G4ABC1-0", "morvel/G4ABC10.TMP", false},
        {"N0AB-110", "N0AB11-0", "morvel/N0AB110.TMP", false},
        {"G4ABC-10", "G4ABC1-0", "morvel/G4ABC10.TMP", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.victim) + " and " + c.intruder);
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users("G4ABC\n* NORMAL Secret12\n-\nG4ABC1\n* FIXED Mine1234\n-\n"
                      "N0AB\n* NORMAL Secret12\n-\nN0AB11\n* FIXED Mine1234\n-\n");
        ASSERT_EQ(h.connect(c.victim, 1).result, 1);
        ASSERT_EQ(h.connect(c.intruder, 1).result, 1);
        if (c.error_file_fails)
            plat_test_fail_open("morvel\\error.prt");
        auto r = h.answer(c.victim, 1, "Mine1234", 1);
        plat_test_fail_open(nullptr);
        EXPECT_EQ(r.result, 2);
        EXPECT_EQ(r.reply, "");
        if (!c.error_file_fails) {
            EXPECT_NE(h.read("morvel/error.prt").find("*** ERROR 00110: Unable to open temporal user file"),
                      std::string::npos);
        }
        EXPECT_TRUE(h.exists(c.state));
        EXPECT_EQ(h.answer(c.intruder, 1, "Mine1234", 1).result, 0);
    }
}

// users.prt patterns are upper case; a callsign the host passes in lower or
// mixed case finds its own entry all the same, instead of the port's method
// (OPEN here).
TEST(Attacks, CallsignCaseDoesNotEscapeTheStationsEntry)
{
    const struct {
        const char *station;
        int flags;
        int verdict;
    } cases[] = {
        {"n0excl-0", 0, 2},   // EXCLUDED
        {"N0eXcL-0", 0, 2},
        {"n0fix-0", 0, 1},    // FIXED: challenged
        {"n0norm-0", 0, 1},   // NORMAL
        {"n1bbs-0", 0, 2},    // BBS, not flagged as one
        {"n1bbs-0", 0x10, 0},
        {"n0ssid-5", 0, 2},   // header with SSID: EXCLUDED
        {"n0ssid-4", 0, 0},   // bare header: OPEN
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.station);
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users("N0EXCL\n* EXCLUDED\n-\nN0FIX\n* FIXED Fixed-Pass\n-\nN0NORM\n* NORMAL Secret12\n-\n"
                      "N1BBS\n* BBS\n-\nN0SSID\n* OPEN\n-\nN0SSID-5\n* EXCLUDED\n-\n");
        EXPECT_EQ(h.connect(c.station, 1, c.flags).result, c.verdict);
    }
}

// The state file keeps the callsign as the host gave it; the same station
// answering in another case is still the station the challenge was put to.
TEST(Attacks, AnswerInAnotherCaseIsTheSameStation)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0FIX\n* FIXED Fixed-Pass\n-\n");
    ASSERT_EQ(h.connect("n0fix-0", 1).result, 1);
    EXPECT_EQ(h.read("morvel/n0fix0.TMP"),
              "Fixed-Pass\n4 \n" + station_line("n0fix-0", 1, 4, heard_note(EXPOSURE_WHOLE, "Fixed-Pass")));
    EXPECT_EQ(h.answer("N0FIX-0", 1, "Fixed-Pass", 1).result, 0);
}

} // namespace

// A host killed at any moment of a call. The fault layer ends the call at
// each of its changes to the disk in turn (plat_test_crash_at: that change
// and every later one never happen, and what the streams still buffer is
// lost), the library is loaded afresh, and the next calls must find every
// message whole and once, the host's lock left to the host, and nothing
// left behind that stops the mail.
#include "filter/filter_state.h"
#include "support/challenge_reply.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const HELD = "morvel/mail.prt";
const std::string EARLIER = "#\nSP N0SYS < MORVEL\nearlier\n/EX\n";

// Mail - the messages of the import file and of mail.prt, in that order;
// torn when some text stands outside a whole message ("#" to "/EX").
struct Mail {
    std::vector<std::string> messages;
    bool torn = false;

    // count - the messages that hold piece.
    long count(const std::string &piece) const
    {
        long n = 0;
        for (const std::string &m : messages)
            n += m.find(piece) != std::string::npos;
        return n;
    }
};

// add_messages - the messages of one mail file.
void add_messages(const std::string &text, Mail *mail)
{
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\n/EX\n", at);
        if (text.compare(at, 2, "#\n") != 0 || end == std::string::npos) {
            mail->torn = true;
            return;
        }
        mail->messages.push_back(text.substr(at, end + 5 - at));
        at = end + 5;
    }
}

// all_mail - what the host has imported or will import.
Mail all_mail(const HostDir &h)
{
    Mail mail;
    for (const char *file : {MAIL_IMPORT, HELD})
        if (h.exists(file))
            add_messages(h.read(file), &mail);
    return mail;
}

// nothing_left_behind - no lock of the filter's, no unfinished mail noted,
// no file that was to become the lock.
void expect_nothing_left_behind(const HostDir &h)
{
    for (const char *file : {"morvel/maillock.own", "morvel/mailcut.own", "morvel/heldcut.own", "mail/mail.lck.own"})
        EXPECT_FALSE(h.exists(file)) << file;
}

// Steps - a scenario: the files before, the call that is ended, what the
// host and the next calls do after the reload, and what must hold then
// (told whether the call was ended).
struct Steps {
    std::function<void(HostDir &)> before;
    std::function<void(HostDir &)> ended;
    std::function<void(HostDir &)> after;
    std::function<void(HostDir &, bool)> check;
};

// crash_everywhere - the scenario once for every change the ended call
// makes, ended just before it, and once more through (the crash never
// comes): the last run is the scenario without a crash.
void crash_everywhere(const Steps &s)
{
    for (int n = 1;; n++) {
        SCOPED_TRACE("ended before change " + std::to_string(n));
        HostDir h;
        s.before(h);
        plat_test_crash_at(n);
        s.ended(h);
        bool ended = plat_test_crashed();
        // A new process of the host loads the library.
        plat_test_clear_faults();
        filter_reset_state();
        s.after(h);
        s.check(h, ended);
        if (!ended || ::testing::Test::HasFatalFailure())
            return;
        ASSERT_LT(n, 1000) << "a call of that many changes";
    }
}

// notices_host - config.prt mails first connections to one sysop (or two).
void notices_host(HostDir &h, const char *sysops = "N0SYS")
{
    h.write_config({"**", sysops, "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "OK", "NO", "OK", "OK",
                    "3 OPEN"});
}

// lines - n numbered lines of about 60 characters that start with a word.
std::string lines(const std::string &word, int n)
{
    std::string text;
    for (int i = 1; i <= n; i++)
        text += word + " " + std::to_string(i) + std::string(50, '.') + "\n";
    return text;
}

}  // namespace

// mail.prt of more than a stream's buffer is moved by a flush ended at any
// moment: the next call cuts back what the import file took, moves it
// again, and every held message arrives once and whole.
TEST(Crash, HeldMailMovedAtAnyMomentArrivesOnceAndWhole)
{
    const int held = 12;
    crash_everywhere({
        [&](HostDir &h) {
            notices_host(h);
            h.write(MAIL_IMPORT, EARLIER);
            std::string text;
            for (int i = 1; i <= held; i++)
                text += "#\nSP N0SYS < MORVEL\nheld " + std::to_string(i) + "\n" + lines("line", 10) + "/EX\n";
            ASSERT_GT(text.size(), 4096u);
            h.write(HELD, text);
        },
        [](HostDir &h) { h.connect("N0CALL-1", 3, 0, 2); },
        [](HostDir &h) { h.connect("N0CALL-1", 3, 0, 2); },
        [&](HostDir &h, bool) {
            Mail mail = all_mail(h);
            EXPECT_FALSE(mail.torn);
            EXPECT_EQ(mail.count("\nearlier\n"), 1);
            for (int i = 1; i <= held; i++)
                EXPECT_EQ(mail.count("\nheld " + std::to_string(i) + "\n"), 1) << i;
            EXPECT_FALSE(h.exists(HELD)) << "moved by the call after";
            EXPECT_FALSE(h.exists(MAIL_LOCK));
            expect_nothing_left_behind(h);
        },
    });
}

// Mail written while another process held the lock of the filter's files
// waits in files of its own; their gathering into mail.prt and the flush,
// ended at any moment, still bring each message once and whole.
TEST(Crash, SpilledMailGatheredAtAnyMomentArrivesOnceAndWhole)
{
    crash_everywhere({
        [](HostDir &h) {
            notices_host(h);
            h.write(HELD, "#\nSP N0SYS < MORVEL\nheld\n/EX\n");
            h.write("morvel/mail0000000a.spl", "#\nSP N0SYS < MORVEL\nspilled a\n/EX\n");
            h.write("morvel/mail0000000b.spl", "#\nSP N0SYS < MORVEL\nspilled b\n" + lines("line", 80) + "/EX\n");
            h.write("morvel/mailspil.own", "");
        },
        [](HostDir &h) { h.connect("N0CALL-1", 3, 0, 2); },
        [](HostDir &h) { h.connect("N0CALL-1", 3, 0, 2); },
        [](HostDir &h, bool) {
            Mail mail = all_mail(h);
            EXPECT_FALSE(mail.torn);
            for (const char *piece : {"\nheld\n", "\nspilled a\n", "\nspilled b\n"})
                EXPECT_EQ(mail.count(piece), 1) << piece;
            for (const char *file : {"morvel/mail0000000a.spl", "morvel/mail0000000b.spl", "morvel/mailspil.own", HELD})
                EXPECT_FALSE(h.exists(file)) << file;
            expect_nothing_left_behind(h);
        },
    });
}

// A notice ended at any moment, after which the host takes its lock
// whenever it is free: the next call never takes the host's lock for the
// filter's own, and once the host is done every notice is there once.
TEST(Crash, NoticeEndedAtAnyMomentNeverTakesTheHostsLock)
{
    crash_everywhere({
        [](HostDir &h) {
            notices_host(h);
            h.write(MAIL_IMPORT, EARLIER);
        },
        [](HostDir &h) { h.connect("N0ONE-1", 3, 0, 1); },
        [](HostDir &h) {
            bool host_took_it = !h.exists(MAIL_LOCK);
            if (host_took_it)
                h.write(MAIL_LOCK, "host");
            h.connect("N0TWO-1", 3, 0, 1);
            if (host_took_it) {
                ASSERT_TRUE(h.exists(MAIL_LOCK)) << "the host's lock was taken away";
                EXPECT_EQ(h.read(MAIL_LOCK), "host");
                h.remove(MAIL_LOCK);
            }
            EXPECT_FALSE(h.exists(MAIL_LOCK)) << "the filter's leftover lock is gone";
            h.connect("N0CALL-1", 3, 0, 2);
        },
        [](HostDir &h, bool) {
            Mail mail = all_mail(h);
            EXPECT_FALSE(mail.torn);
            EXPECT_EQ(mail.count("\nearlier\n"), 1);
            EXPECT_LE(mail.count("Callsign N0ONE-1 "), 1);
            EXPECT_EQ(mail.count("Callsign N0TWO-1 "), 1);
            EXPECT_FALSE(h.exists(HELD));
            EXPECT_FALSE(h.exists(MAIL_LOCK));
            expect_nothing_left_behind(h);
        },
    });
}

// "-log" ended at any moment, its logs longer than a stream's buffer: the
// next "-log" mails what was not mailed whole, and each entry reaches each
// of the two sysops once.
TEST(Crash, LogCommandEndedAtAnyMomentMailsEachEntryOnce)
{
    const int entries = 80;
    crash_everywhere({
        [&](HostDir &h) {
            notices_host(h, "N0SYS N1SYS");
            h.write(MAIL_IMPORT, EARLIER);
            h.write("morvel/logexcld.prt", lines("excluded", entries));
            h.write("morvel/lognopas.prt", lines("failed", entries));
        },
        [](HostDir &h) { h.command("-log"); },
        [](HostDir &h) { h.command("-log"); },
        [&](HostDir &h, bool) {
            Mail mail = all_mail(h);
            EXPECT_FALSE(mail.torn);
            for (const char *word : {"excluded", "failed"})
                for (int i = 1; i <= entries; i += 7) {
                    std::string line = std::string("\n") + word + " " + std::to_string(i) + ".";
                    EXPECT_EQ(mail.count(line), 2) << line;
                }
            EXPECT_EQ(mail.count("SP N0SYS < MORVEL\nLog file."), 2);
            EXPECT_EQ(mail.count("SP N1SYS < MORVEL\nLog file."), 2);
            for (const char *file : {"morvel/logexcld.prt", "morvel/lognopas.prt", "morvel/logexcld.snd",
                                     "morvel/lognopas.snd"})
                EXPECT_FALSE(h.exists(file)) << file;
            expect_nothing_left_behind(h);
        },
    });
}

// The lockout of the guard ended at any moment: the sysop hears of it
// exactly once when the table kept it (the next connections are refused),
// and never of a lockout the table lost with the ended call.
TEST(Crash, GuardLockoutEndedAtAnyMomentIsMailedOnce)
{
    int runs = 0;
    bool refused = false;
    crash_everywhere({
        [](HostDir &h) {
            write_filter_config(h, FilterOptions());
            h.write_users("N0ABC\n* NORMAL Secret12\n-\n");
            h.write("morvel/guard.prt", "FAILURES 2 MINUTES 15\n");
            h.connect("N0ABC-0", 1);
            h.answer("N0ABC-0", 1, "wrong", 1);
        },
        [](HostDir &h) { h.answer("N0ABC-0", 2, "wrong", 1); },
        [&](HostDir &h) {
            refused = h.connect("N0ABC-0", 1).result == 2;
            refused = h.connect("N0ABC-0", 1).result == 2 || refused;
            runs++;
        },
        [&](HostDir &h, bool ended) {
            Mail mail = all_mail(h);
            EXPECT_FALSE(mail.torn);
            EXPECT_EQ(mail.count("\nGUARD\n"), refused ? 1 : 0);
            if (!ended) {
                EXPECT_TRUE(refused);
            }
            EXPECT_FALSE(h.exists("morvel/guard.snd"));
            expect_nothing_left_behind(h);
        },
    });
    EXPECT_GT(runs, 5);
}

// A process that ended while rewriting a file leaves its temporary
// ("error.prt.4242.new"); the sweep of the next challenge takes away those
// no process has written for a minute, whatever their number, and nothing else.
TEST(Crash, TemporariesLeftByEndedProcessesAreSweptAfterAMinute)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0ABC\n* NORMAL Secret12\n-\n");
    const char *const old_ones[] = {"morvel/error.prt.4242.new", "morvel/guard.dat.7.new"};
    const char *const kept[] = {"morvel/otpused.prt.99.new", "morvel/notes.new", "morvel/error.prt.x.new"};
    for (const char *file : old_ones) {
        h.write(file, "half");
        fs::last_write_time(h.root() + "/" + file, fs::file_time_type::clock::now() - std::chrono::minutes(5));
    }
    for (const char *file : kept) {
        h.write(file, "half");
        if (std::string(file) != "morvel/otpused.prt.99.new")
            fs::last_write_time(h.root() + "/" + file, fs::file_time_type::clock::now() - std::chrono::minutes(5));
    }
    time_t now = time(nullptr);
    struct tm local = *localtime(&now);
    plat_test_set_clock(&local, 0, now);
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 1);
    for (const char *file : old_ones)
        EXPECT_FALSE(h.exists(file)) << file;
    for (const char *file : kept)
        EXPECT_TRUE(h.exists(file)) << file << (std::string(file).find(".99.") != std::string::npos
                                                    ? ": written within the minute"
                                                    : ": no temporary's name");
}

// The mail drop and the logs under failing files and a second process:
// nothing lost, nothing torn, nothing imported twice.
#include "platform/platform.h"
#include "common/files_lock.h"
#include "filter/filter_state.h"
#include "report/mail.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#endif

static const char HELD[] = "morvel/mail.prt";
static const char EARLIER[] = "#\nSP N0SYS < MORVEL\nearlier\n/EX\n";
static const char HELD_MESSAGE[] = "#\nSP N0SYS < MORVEL\nheld\n/EX\n";

// notices_host - a host whose first connections are mailed to one sysop.
static void notices_host(HostDir &h)
{
    h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "OK", "NO", "NO", "NO",
                    "3 OPEN"});
}

// The flush cannot remove mail.prt: it empties it, and an empty mail.prt
// is no held mail; the message is imported once over any number of calls.
TEST(MailDrop, HeldMailThatCannotBeRemovedIsEmptiedAndImportedOnce)
{
    HostDir h;
    notices_host(h);
    h.write(HELD, HELD_MESSAGE);
    plat_test_fail(PLAT_FAULT_REMOVE, 1, "morvel\\mail.prt", true);
    for (int call = 0; call < 4; call++)
        h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_EQ(h.read(MAIL_IMPORT), HELD_MESSAGE);
    EXPECT_EQ(h.read(HELD), "");
    EXPECT_FALSE(h.exists(MAIL_LOCK));
    EXPECT_FALSE(h.exists("morvel/error.prt"));
}

// Neither removed nor emptied: the copy is cut out of the import file again,
// reported once while it lasts, and moved once the disk works again.
TEST(MailDrop, HeldMailThatCannotLeaveMailPrtIsNotImportedAndReportedOnce)
{
    HostDir h;
    notices_host(h);
    h.write(MAIL_IMPORT, EARLIER);
    h.write(HELD, HELD_MESSAGE);
    plat_test_fail(PLAT_FAULT_REMOVE, 1, "morvel\\mail.prt", true);
    plat_test_fail(PLAT_FAULT_TRUNCATE, 1, "morvel\\mail.prt", true);
    h.connect("N0CALL-1", 3, 0, 2);
    std::string import = h.read(MAIL_IMPORT);
    EXPECT_EQ(import.rfind(EARLIER, 0), 0u) << import;
    EXPECT_EQ(count_lines(import, "held"), 0) << import;
    EXPECT_EQ(h.read(HELD), HELD_MESSAGE);
    EXPECT_FALSE(h.exists(MAIL_LOCK));
    EXPECT_NE(h.read("morvel/error.prt").find("ERROR 0012"), std::string::npos);
    h.remove("morvel/error.prt");
    h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_FALSE(h.exists("morvel/error.prt")) << "reported once while it lasts";

    plat_test_clear_faults();
    h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_EQ(h.read(MAIL_IMPORT), import + HELD_MESSAGE);
    EXPECT_FALSE(h.exists(HELD));
}

// The filter's own lock that cannot be removed goes first at the next call;
// while it stays it is reported once, and the host is never shut out for good.
TEST(MailDrop, OwnLockThatCannotBeRemovedIsRemovedAtTheNextCall)
{
    HostDir h;
    notices_host(h);
    plat_test_fail(PLAT_FAULT_REMOVE, 1, "mail\\mail.lck", true);
    h.connect("N0ONE-1", 3, 0, 1);
    EXPECT_TRUE(h.exists(MAIL_LOCK));
    h.connect("N0TWO-1", 3, 0, 1);   // still stuck: the notice waits in mail.prt
    EXPECT_NE(h.read("morvel/error.prt").find("ERROR 0012"), std::string::npos);
    h.remove("morvel/error.prt");
    h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_FALSE(h.exists("morvel/error.prt")) << "reported once while it stays";

    plat_test_clear_faults();
    h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_FALSE(h.exists(MAIL_LOCK));
    std::string mail = h.read(MAIL_IMPORT);
    EXPECT_EQ(count_lines(mail, "NEW USER"), 2) << mail;
    EXPECT_EQ(count_lines(mail, "    File MAIL\\MAIL.lck (locked)"), 1) << "the error mail went with them: " << mail;
    EXPECT_NE(mail.find("N0ONE-1"), std::string::npos);
    EXPECT_NE(mail.find("N0TWO-1"), std::string::npos);
    EXPECT_FALSE(h.exists(HELD));
}

// A cut-back that fails keeps the lock, so the host cannot import the torn
// tail; the message (and the error mail after it) waits whole in mail.prt,
// and the next call cuts the tail, frees the lock and moves them.
TEST(MailDrop, TornMessageThatCannotBeCutBackKeepsTheLockUntilCut)
{
    HostDir h;
    notices_host(h);
    h.write(MAIL_IMPORT, EARLIER);
    plat_test_fail(PLAT_FAULT_CLOSE, 1, "mail\\mail.in", false);
    plat_test_fail(PLAT_FAULT_TRUNCATE, 1, "mail\\mail.in", true);
    h.connect("N0ONE-1", 3, 0, 1);
    EXPECT_TRUE(h.exists(MAIL_LOCK)) << "the torn tail is guarded";
    EXPECT_EQ(count_lines(h.read(HELD), "NEW USER"), 1);

    plat_test_clear_faults();
    h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_FALSE(h.exists(MAIL_LOCK));
    std::string mail = h.read(MAIL_IMPORT);
    EXPECT_EQ(mail.rfind(EARLIER, 0), 0u);
    EXPECT_EQ(count_lines(mail, "NEW USER"), 1) << mail;
    EXPECT_EQ(count_lines(mail, "#"), count_lines(mail, "/EX")) << mail;
    EXPECT_FALSE(h.exists(HELD));
}

// spilled - the mail written without the lock of the filter's files, each in a file of its own.
static std::string spilled(HostDir &h)
{
    std::string mail;
    for (const std::string &name : h.list("morvel"))
        if (name.size() == 16 && name.rfind("mail", 0) == 0 && name.compare(12, 4, ".spl") == 0)
            mail += h.read("morvel/" + name);
    return mail;
}

// A lock of the filter's files that another process never lets go (a tool
// stopped at a prompt) costs the first call one wait of FILES_LOCK_WAIT_MS
// in all, measured on the clock however long each pause lasts (2 ms, or
// Windows' timer tick), and is reported once as error 10 naming the lock.
// The calls after it neither wait nor report. Their mail touches neither
// the import file nor mail.prt, which the other process may be moving: each
// waits whole in a file of its own. Once the lock is free the next call
// takes it and moves them, and a later stuck lock is news again.
TEST(MailDrop, StuckLockOfTheFilesCostsOneWaitAndOneReport)
{
    for (int tick : {2, 16}) {
        SCOPED_TRACE(tick);
        HostDir h;
        notices_host(h);
        plat_test_wait_clock(tick);
        plat_test_hold_lock("morvel\\morvel.lck");
        h.connect("N0ONE-1", 3, 0, 1);
        long long waited = plat_clock_ms();
        EXPECT_GE(waited, FILES_LOCK_WAIT_MS);
        EXPECT_LE(waited, FILES_LOCK_WAIT_MS + tick);
        EXPECT_TRUE(h.exists("morvel/lockstuck.own"));
        EXPECT_NE(h.read("morvel/error.prt").find("*** ERROR 00110: Unable to open temporal user file (morvel.lck)"),
                  std::string::npos);
        h.remove("morvel/error.prt");

        h.connect("N0TWO-1", 3, 0, 1);
        EXPECT_EQ(plat_clock_ms(), waited) << "no wait for a lock known to be stuck";
        EXPECT_FALSE(h.exists("morvel/error.prt")) << "reported once while it stays";
        EXPECT_FALSE(h.exists(MAIL_IMPORT));
        EXPECT_FALSE(h.exists(HELD));
        EXPECT_EQ(count_lines(spilled(h), "NEW USER"), 2);
        EXPECT_EQ(count_lines(spilled(h), "ERROR detected!"), 1);

        plat_test_hold_lock(nullptr);
        h.connect("N0CALL-1", 3, 0, 2);
        EXPECT_FALSE(h.exists("morvel/lockstuck.own"));
        EXPECT_FALSE(h.exists("morvel/ERROR10-morvel.TMP")) << "the next stuck lock is mailed again";
        std::string mail = h.read(MAIL_IMPORT);
        EXPECT_EQ(count_lines(mail, "NEW USER"), 2) << mail;
        EXPECT_EQ(count_lines(mail, "ERROR detected!"), 1) << mail;
        EXPECT_FALSE(h.exists(HELD));
        EXPECT_EQ(spilled(h), "");
        EXPECT_FALSE(h.exists("morvel/mailspil.own"));
    }
}

// A disk that takes nothing loses the notices and the log entries of the
// calls meanwhile, and the error reports too; the first call that can
// write says how many were lost, in error.prt and by mail.
TEST(MailDrop, MailAndLogEntriesLostOnAFullDiskAreReportedWithTheirNumber)
{
    HostDir h;
    h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "OK", "OK", "NO", "NO",
                    "3 OPEN"});
    h.make_dir("morvel/logcnx");
    plat_test_fail(PLAT_FAULT_WRITE, 1, nullptr, true);
    for (const char *station : {"N0ONE-1", "N0TWO-1", "N0SIX-1"})
        EXPECT_EQ(h.connect(station, 3, 0, 1).result, 0);
    EXPECT_FALSE(h.exists("morvel/error.prt"));

    plat_test_clear_faults();
    h.connect("N0CALL-1", 3, 0, 2);
    const std::string lost = "*** ERROR 0012: Messages lost: 3, log entries lost: 3 (no file could take them).";
    EXPECT_NE(h.read("morvel/error.prt").find(lost), std::string::npos) << h.read("morvel/error.prt");
    EXPECT_EQ(count_lines(h.read(MAIL_IMPORT), lost), 1) << h.read(MAIL_IMPORT);
    h.remove("morvel/error.prt");
    h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_FALSE(h.exists("morvel/error.prt")) << "reported once";
}

// mail.prt takes no more past its limit while the host holds the lock: the
// notice is lost and reported, never a disk filled.
TEST(MailDrop, HeldMailPastItsLimitTakesNoMoreAndTheLossIsReported)
{
    HostDir h;
    notices_host(h);
    h.write(MAIL_LOCK, "");
    std::string held;
    while (held.size() < 10 * 1024 * 1024)
        held += HELD_MESSAGE;
    h.write(HELD, held);
    h.connect("N0NEW-1", 3, 0, 1);
    EXPECT_EQ(h.read(HELD).size(), held.size());
    EXPECT_NE(h.read("morvel/error.prt").find("Messages lost: 1, log entries lost: 0"), std::string::npos);
}

// language - a language file whose texts are those of the built-in ones in upper case.
static void language(HostDir &h)
{
    static const char *const texts[] = {
        "FILE", "NOT FOUND", "UNABLE TO OPEN MAIL FILE", "CHECK CONFIGURATION IN", "CONFIGURATION FILE",
        "FILE WITH TABLE PASSWORD FOR", "INCORRECT DATA IN LINE", "UNABLE TO OPEN TEMPORAL USER FILE",
        "OPTION ACTIVATED IN", "INSUFFICIENT MEMORY", "NOT IDENTIFIED", "PORT", "CONNECTED CALLSIGN",
        "ERROR DETECTED!", "LOG1", "LOG2", "LOG FILE", "NEW USER", "CALLSIGN", "FIRST TIME", "TIME", "DATE",
        "ID", "MD", "MD ONLY", "DENIED", "RESTRICTED", "WELCOME!", "CONNECTIONS LOG"};
    std::string text;
    for (const char *t : texts)
        text += std::string(t) + "\n";
    h.write("morvel/upper.lng", text);
    h.write_config({"upper.lng", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "OK", "NO", "NO",
                    "NO", "3 OPEN"});
}

// Mail held because the import file takes nothing, or because someone's
// lock has stood for longer than the host ever holds it, is error 2 at the
// first call that holds it, in the sysop's language, saying which.
TEST(MailDrop, HeldMailIsReportedAtTheFirstCallInTheSysopsLanguageWithItsCause)
{
    for (bool lock : {false, true}) {
        SCOPED_TRACE(lock ? "someone's lock" : "the import file");
        HostDir h;
        language(h);
        h.write(HELD, HELD_MESSAGE);
        if (lock) {
            h.write(MAIL_LOCK, "");
            time_t later = time(nullptr) + 600;   // the lock was written now
            struct tm local = *localtime(&later);
            plat_test_set_clock(&local, 0, later);
        } else {
            plat_test_fail_open("mail\\mail.in");
        }
        h.connect("N0CALL-1", 3, 0, 2);
        std::string record = h.read("morvel/error.prt");
        const char *cause = lock ? "*** ERROR 0012: UNABLE TO OPEN MAIL FILE.\n    FILE MAIL\\MAIL.lck (locked)"
                                 : "*** ERROR 0012: UNABLE TO OPEN MAIL FILE.\n    CHECK CONFIGURATION IN init.srv";
        EXPECT_NE(record.find(cause), std::string::npos) << record;
        EXPECT_EQ(count_lines(h.read(HELD), "ERROR DETECTED!"), 1) << "its mail waits with the held mail";
        EXPECT_TRUE(h.exists(lock ? MAIL_LOCK : HELD));
    }
}

// An empty mail.prt, left where held mail could only be emptied, goes at the next flush.
TEST(MailDrop, EmptyHeldMailIsRemoved)
{
    HostDir h;
    notices_host(h);
    h.write(HELD, "");
    h.connect("N0CALL-1", 3, 0, 2);
    EXPECT_FALSE(h.exists(HELD));
    EXPECT_FALSE(h.exists(MAIL_IMPORT));
}

#if !defined(_WIN32)
// all_mail - what the host has or will import: the import file, then the held mail.
static std::string all_mail(HostDir &h)
{
    return (h.exists(MAIL_IMPORT) ? h.read(MAIL_IMPORT) : "") + (h.exists(HELD) ? h.read(HELD) : "");
}

// A lock older than the limit is reported when it is the host's, never
// removed; a young one is the host at work.
TEST(MailDrop, StaleLockOfTheHostIsReportedNotRemoved)
{
    for (long age : {60L, 3600L}) {
        SCOPED_TRACE(age);
        HostDir h;
        notices_host(h);
        h.write(MAIL_LOCK, "");
        h.write(HELD, HELD_MESSAGE);
        h.connect("N0CALL-1", 3, 0, 2);   // the call's clock
        struct utimbuf when;
        when.actime = when.modtime = plat_now_seconds() - age;
        ASSERT_EQ(utime((h.root() + "/mail/mail.lck").c_str(), &when), 0);
        h.connect("N0CALL-1", 3, 0, 2);
        EXPECT_TRUE(h.exists(MAIL_LOCK));
        EXPECT_EQ(h.exists("morvel/error.prt"), age > 500);
        // The error mail, naming the lock, waits with the held mail.
        std::string held = h.read(HELD);
        EXPECT_EQ(held.rfind(HELD_MESSAGE, 0), 0u);
        EXPECT_EQ(count_lines(held, "    File MAIL\\MAIL.lck (locked)"), age > 500 ? 1 : 0) << held;
    }
}

// The second process of a race: what it does, and the host directory it does it in.
static HostDir *race_host;
static void (*race_second)(HostDir &);
static int race_pipe[2];
static pid_t race_child;

// tell_first - the second process waits for the lock now.
static void tell_first(void)
{
    char c = 'w';
    if (write(race_pipe[1], &c, 1) < 0)
        _exit(3);
}

// second_process_now - start the second process at this moment of the
// first; return once it waits for the lock or has finished.
static void second_process_now(void)
{
    ASSERT_EQ(pipe(race_pipe), 0);
    race_child = fork();
    if (race_child == 0) {
        close(race_pipe[0]);
        filter_reset_state();   // a library loaded by another process
        plat_test_clear_faults();
        plat_test_on_lock_wait(tell_first);
        race_second(*race_host);
        _exit(0);
    }
    close(race_pipe[1]);
    char c;
    if (read(race_pipe[0], &c, 1) < 0)
        ADD_FAILURE() << "no word from the second process";
    close(race_pipe[0]);
}

// race - the first process's call, with the second starting at the nth
// operation of a kind on a file; returns once both are done.
static void race(HostDir &h, PlatFault kind, int nth, const char *path, void (*first)(HostDir &),
                 void (*second)(HostDir &))
{
    race_host = &h;
    race_second = second;
    race_child = 0;
    plat_test_interleave(kind, nth, path, second_process_now);
    first(h);
    plat_test_clear_faults();
    ASSERT_NE(race_child, 0) << "the moment never came";
    int status = 0;
    waitpid(race_child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Each race once at each moment that lost or doubled mail before: a second
// process flushing while the first has copied mail.prt but not removed it,
// appending to mail.prt then, creating the same day's log, or logging a
// failed password while "-log" mails the log.
TEST(MailDrop, SecondProcessAtTheWorstMomentLosesAndDoublesNothing)
{
    struct Moment {
        const char *what;
        PlatFault kind;
        const char *path;
    } moments[] = {
        {"copied, before mail.prt is removed", PLAT_FAULT_REMOVE, "morvel\\mail.prt"},
        {"before the import file is opened", PLAT_FAULT_OPEN, "mail\\mail.in"},
        {"the lock about to get its name", PLAT_FAULT_RENAME, "mail\\mail.lck.own"},
    };
    for (const Moment &m : moments) {
        SCOPED_TRACE(m.what);
        HostDir h;
        notices_host(h);
        h.write(HELD, HELD_MESSAGE);
        race(h, m.kind, 1, m.path, [](HostDir &d) { d.connect("N0ONE-1", 3, 0, 1); },
             [](HostDir &d) { d.connect("N0TWO-1", 3, 0, 1); });
        h.connect("N0CALL-1", 3, 0, 2);   // moves what waits
        std::string mail = all_mail(h);
        EXPECT_EQ(count_lines(mail, "held"), 1) << mail;
        EXPECT_EQ(count_lines(mail, "#"), 3) << mail;
        EXPECT_EQ(count_lines(mail, "/EX"), 3) << mail;
        EXPECT_NE(mail.find("N0ONE-1"), std::string::npos);
        EXPECT_NE(mail.find("N0TWO-1"), std::string::npos);
    }
}

TEST(MailDrop, SecondProcessCreatingTheSameLogAddsItsEntry)
{
    HostDir h;
    h.write_config({"**", "N0SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "OK D", "NO", "NO",
                    "3 OPEN"});
    race(h, PLAT_FAULT_OPEN, 1, "morvel\\logcnx\\logcn342.prt", [](HostDir &d) { d.connect("N0ONE-1", 3); },
         [](HostDir &d) { d.connect("N0TWO-1", 3); });
    std::string log = h.read("morvel/logcnx/logcn342.prt");
    size_t rule = log.find("=====");
    EXPECT_EQ(log.find("Connections log:"), log.rfind("Connections log:")) << "one header: " << log;
    EXPECT_NE(log.find("N0ONE"), std::string::npos) << log;
    EXPECT_NE(log.find("N0TWO"), std::string::npos) << log;
    EXPECT_GT(log.find("N0ONE"), rule) << log;
    EXPECT_GT(log.find("N0TWO"), rule) << log;
}

TEST(MailDrop, FailedPasswordLoggedWhileLogIsMailedIsNeitherLostNorHalfMailed)
{
    HostDir h;
    h.write_config({"**", "N0SYS N1SYS", "3", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "NO", "NO",
                    "OK", "3 OPEN"});
    h.write_users("N0PW\n* NORMAL secret\n-\n");
    h.write("morvel/lognopas.prt", "earlier entry\n");
    race(h, PLAT_FAULT_RENAME, 1, "morvel\\lognopas.prt", [](HostDir &d) { d.command("-log"); },
         [](HostDir &d) {
             d.connect("N0PW-1", 3);
             d.answer("N0PW-1", 3, "wrong", 3);
         });
    std::string mail = h.read(MAIL_IMPORT);
    EXPECT_EQ(count_lines(mail, "earlier entry"), 2) << "one copy to each sysop: " << mail;
    std::string log = h.exists("morvel/lognopas.prt") ? h.read("morvel/lognopas.prt") : "";
    EXPECT_EQ(mail.find("N0PW"), std::string::npos) << mail;
    EXPECT_NE(log.find("N0PW"), std::string::npos) << "the new entry starts a new log";
}
#endif

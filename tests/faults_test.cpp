// A disk that fails under the filter, on every system: opens, writes, closes
// and removals made to fail by the test hooks, through the real entry points.
// What must hold: the state file, error.prt, the logs, the mail files, the
// sysop's logs and the markers each end as their failure rules say, and no
// failure anywhere costs a verdict, a held message or a whole mail.
#include "support/challenge_reply.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char *const MAIL_HELD = "morvel/mail.prt";
const std::string EARLIER = "#\nSP N0SYS < MORVEL\nearlier\n/EX\n";

const char *kind_name(PlatFault kind)
{
    static const char *const names[] = {"open", "write", "close", "remove", "rename"};
    return names[kind];
}

// count_text - how often a piece of text occurs.
long count_text(const std::string &text, const std::string &piece)
{
    long n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        n++;
    return n;
}

// whole_mail - every message of a mail file is whole: it starts with "#" and
// an "SP" line and ends with "/EX", and the file ends with a message's end.
bool whole_mail(const std::string &text)
{
    if (text.empty())
        return true;
    bool ends_whole = text.size() >= 4 && text.compare(text.size() - 4, 4, "/EX\n") == 0;
    return ends_whole && count_lines(text, "#") == count_lines(text, "/EX") &&
           count_text(text, "#\nSP ") == count_lines(text, "#");
}

// A config.prt with every mail and log switch on, a station listed for a
// FIXED challenge with one attempt, and port 3 excluded.
void faulty_disk_host(HostDir &h)
{
    h.write_config({"**", "N0SYS N1SYS", "1", "PASSWORD>", "NO", "NO", "NO", "NO", "NO", "NO", "OK", "OK", "OK",
                    "OK", "1 OPEN", "3 EXCLUDED"});
    h.write_users("N0FIX-1\n* FIXED secret\n-\n");
    h.write("morvel/newmsg.prt", "welcome\n");
}

}  // namespace

// A state file that cannot be written whole is error 10, and the half-written
// file goes: it must never pass for a challenge the caller was not shown.
TEST(Faults, StateFileThatCannotBeWrittenIsError10AndGoes)
{
    for (PlatFault kind : {PLAT_FAULT_WRITE, PLAT_FAULT_CLOSE}) {
        SCOPED_TRACE(kind_name(kind));
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users("N0ABC\n* NORMAL Secret12\n-\n");
        plat_test_fail(kind, 1, "morvel\\N0ABC0.TMP", false);
        auto r = h.connect("N0ABC-0", 1);
        EXPECT_EQ(plat_test_faults_hit(kind), 1);
        EXPECT_EQ(r.result, 2);
        EXPECT_EQ(r.reply, TAG);
        EXPECT_NE(h.read("morvel/error.prt").find("*** ERROR 00110: Unable to open temporal user file"),
                  std::string::npos);
        EXPECT_FALSE(h.exists("morvel/N0ABC0.TMP"));
    }
}

// A state file whose write fails never takes the place of one, even when
// removals fail too, and so admits nobody.
TEST(Faults, StateFileLeftBehindAdmitsNobody)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0ABC\n* FIXED Fixed-Pass\n-\n");
    plat_test_fail(PLAT_FAULT_WRITE, 1, "morvel\\N0ABC0.TMP", false);
    plat_test_fail(PLAT_FAULT_REMOVE, 1, "morvel\\N0ABC0.TMP", false);
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 2);
    EXPECT_FALSE(h.exists("morvel/N0ABC0.TMP"));
    EXPECT_NE(h.answer("N0ABC-0", 1, "", 1).result, 0);
    EXPECT_NE(h.answer("N0ABC-0", 1, "Fixed-Pass", 1).result, 0);
}

// error.prt that cannot be opened, written or closed: nothing is recorded and
// nobody mailed, but the error keeps its outcome (10 refuses the station).
TEST(Faults, ErrorPrtThatCannotBeWrittenRecordsNothingAndKeepsTheOutcome)
{
    for (PlatFault kind : {PLAT_FAULT_OPEN, PLAT_FAULT_WRITE, PLAT_FAULT_CLOSE}) {
        SCOPED_TRACE(kind_name(kind));
        HostDir h;
        write_filter_config(h, FilterOptions());
        h.write_users("N0ABC\n* NORMAL Secret12\n-\n");
        h.make_dir("morvel/N0ABC0.TMP");   // a state file that cannot be opened
        plat_test_fail(kind, 1, "morvel\\error.prt", true);
        EXPECT_EQ(h.connect("N0ABC-0", 1).result, 2);
        EXPECT_FALSE(h.exists("morvel/ERROR10.TMP"));
        EXPECT_TRUE(h.list("mail").empty());
    }
}

// A log whose entry cannot be written: the call's outcome is that of a
// working disk, and the entries already in the log stay.
TEST(Faults, LogThatCannotBeWrittenKeepsItsEntriesAndTheOutcome)
{
    struct Case {
        const char *log;          // filter path of the log
        const char *station;
        int port;
        const char *answer;       // null: the connection alone
        int result;
    };
    const Case cases[] = {
        {"morvel\\lognopas.prt", "N0FIX-1", 1, "wrong", 2},
        {"morvel\\logexcld.prt", "N9ANY-1", 3, nullptr, 2},
        {"morvel\\logcnx\\logcnx.prt", "N9ANY-1", 1, nullptr, 0},
    };
    for (const Case &c : cases) {
        for (PlatFault kind : {PLAT_FAULT_OPEN, PLAT_FAULT_WRITE, PLAT_FAULT_CLOSE}) {
            SCOPED_TRACE(std::string(c.log) + ", " + kind_name(kind));
            HostDir h;
            faulty_disk_host(h);
            h.make_dir("morvel/logcnx");
            h.write(c.log, "earlier entries\n");
            plat_test_fail(kind, 1, c.log, true);
            int result = h.connect(c.station, c.port).result;
            if (c.answer)
                result = h.answer(c.station, 1, c.answer, c.port).result;
            EXPECT_EQ(plat_test_faults_hit(kind), 1);
            EXPECT_EQ(result, c.result);
            std::string log = h.read(c.log);
            EXPECT_EQ(log.rfind("earlier entries\n", 0), 0u) << log;
            // Only a close that fails after the writes leaves the new entry in.
            std::string callsign = std::string(c.station).substr(0, std::string(c.station).find('-'));
            EXPECT_EQ(log.find(callsign) != std::string::npos, kind == PLAT_FAULT_CLOSE) << log;
        }
    }
}

// Mail that fails on its way into the import file or the held-mail file is
// cut back to the size the file had, so the host never imports a torn
// message; held mail that cannot be moved stays for a later call.
TEST(Faults, FailedMailIsCutBackAndHeldMailKept)
{
    struct Case {
        const char *what;
        bool host_has_lock;
        bool held_waiting;        // mail.prt holds a message before the call
        const char *target;       // the file whose write or close fails
    };
    const Case cases[] = {
        {"notice into the import file", false, false, "mail\\mail.in"},
        {"notice into held mail", true, false, "morvel\\mail.prt"},
        {"held mail moved into the import file", false, true, "mail\\mail.in"},
    };
    for (const Case &c : cases) {
        for (PlatFault kind : {PLAT_FAULT_WRITE, PLAT_FAULT_CLOSE}) {
            SCOPED_TRACE(std::string(c.what) + ", " + kind_name(kind));
            HostDir h;
            faulty_disk_host(h);
            h.write(MAIL_IMPORT, EARLIER);
            const std::string held = "#\nSP N0SYS < MORVEL\nheld\n/EX\n";
            if (c.held_waiting)
                h.write(MAIL_HELD, held);
            else if (c.host_has_lock)
                h.write(MAIL_HELD, EARLIER);
            if (c.host_has_lock)
                h.write(MAIL_LOCK, "host");
            plat_test_fail(kind, 1, c.target, true);
            EXPECT_EQ(h.connect("N0NEW-1", 1, 0, 1).result, 0);
            EXPECT_GE(plat_test_faults_hit(kind), 1);
            EXPECT_EQ(h.read(MAIL_IMPORT), EARLIER);
            // What the import file did not take waits whole in mail.prt;
            // what mail.prt did not take is cut back out of it.
            std::string kept = h.read(MAIL_HELD);
            EXPECT_EQ(kept.rfind(c.held_waiting ? held : c.host_has_lock ? EARLIER : "", 0), 0u) << kept;
            EXPECT_TRUE(c.host_has_lock ? kept == EARLIER : count_text(kept, "Callsign N0NEW") == 2) << kept;
            EXPECT_EQ(h.exists(MAIL_LOCK), c.host_has_lock);

            // The disk works again: the next call delivers whole messages.
            plat_test_clear_faults();
            h.connect("N0TWO-1", 1, 0, 1);
            std::string mail = h.read(c.host_has_lock ? MAIL_HELD : MAIL_IMPORT);
            EXPECT_EQ(mail.rfind(EARLIER, 0), 0u);
            EXPECT_TRUE(whole_mail(mail)) << mail;
            EXPECT_EQ(count_text(mail, "N0TWO"), 2) << "one notice to each sysop";
            if (c.held_waiting) {
                EXPECT_EQ(count_text(mail, "\nheld\n"), 1) << mail;
            }
        }
    }
}

// "-log" removes a log only after its mail was written and closed whole:
// a mail the import file does not take waits in mail.prt, and only when
// that fails too do the logs stay.
TEST(Faults, LogCommandKeepsTheLogsWhenTheirMailFails)
{
    const std::string excluded = "excluded entries\n", failed = "failed entries\n";
    for (bool host_has_lock : {false, true}) {
        for (PlatFault kind : {PLAT_FAULT_WRITE, PLAT_FAULT_CLOSE}) {
            SCOPED_TRACE(std::string(host_has_lock ? "held mail, " : "import file, ") + kind_name(kind));
            HostDir h;
            faulty_disk_host(h);
            h.write("morvel/logexcld.prt", excluded);
            h.write("morvel/lognopas.prt", failed);
            if (host_has_lock)
                h.write(MAIL_LOCK, "host");
            const char *mail = host_has_lock ? MAIL_HELD : MAIL_IMPORT;
            h.write(mail, EARLIER);
            plat_test_fail(kind, 1, host_has_lock ? "morvel\\mail.prt" : "mail\\mail.in", false);
            h.command("-log");
            EXPECT_EQ(plat_test_faults_hit(kind), 1);
            EXPECT_EQ(h.exists(MAIL_LOCK), host_has_lock);
            if (host_has_lock) {
                EXPECT_EQ(h.read(mail), EARLIER);
                EXPECT_EQ(h.read("morvel/logexcld.prt"), excluded);
                EXPECT_EQ(h.read("morvel/lognopas.prt"), failed);
            } else {
                // The first log waits in mail.prt, the second reaches the import file.
                EXPECT_FALSE(h.exists("morvel/logexcld.prt"));
                EXPECT_FALSE(h.exists("morvel/lognopas.prt"));
                std::string held = h.read(MAIL_HELD), import = h.read(MAIL_IMPORT);
                EXPECT_TRUE(whole_mail(held) && whole_mail(import)) << held << import;
                EXPECT_EQ(count_text(held, excluded), 2) << held;
                EXPECT_EQ(import.rfind(EARLIER, 0), 0u) << import;
                EXPECT_EQ(count_text(import, failed), 2) << import;
            }
        }
    }
}

// Markers that cannot be made or removed leave the switch as it was, and an
// error marker that cannot be made does not stop the sysops' mail.
TEST(Faults, MarkersThatCannotBeMadeOrRemovedChangeNothing)
{
    struct Case {
        const char *command;
        const char *argument;
        const char *marker;
        bool marker_before;
        PlatFault kind;
        int port;                 // of the connection that shows the switch
        int result;               // its verdict
    };
    const Case cases[] = {
        {"-off", nullptr, "morvel\\morvel.sta", false, PLAT_FAULT_OPEN, 3, 2},
        {"-on", nullptr, "morvel\\morvel.sta", true, PLAT_FAULT_REMOVE, 3, 0},
        {"-pbbs", "1", "morvel\\1.prt", false, PLAT_FAULT_OPEN, 1, 0},
        {"-pnormal", "1", "morvel\\1.prt", true, PLAT_FAULT_REMOVE, 1, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.command) + ", " + kind_name(c.kind));
        HostDir h;
        faulty_disk_host(h);
        if (c.marker_before)
            h.write(c.marker, "");
        plat_test_fail(c.kind, 1, c.marker, true);
        h.command(c.command, c.argument);
        EXPECT_EQ(plat_test_faults_hit(c.kind), 1);
        EXPECT_EQ(h.exists(c.marker), c.marker_before);
        EXPECT_EQ(h.connect("N9ANY-1", c.port).result, c.result);
    }
}

TEST(Faults, ErrorMarkerThatCannotBeMadeStillMailsTheSysops)
{
    HostDir h;
    write_filter_config(h, FilterOptions());
    h.write_users("N0ABC\n* NORMAL Secret12\n-\n");
    h.make_dir("morvel/N0ABC0.TMP");   // a state file that cannot be opened
    plat_test_fail(PLAT_FAULT_OPEN, 1, "morvel\\ERROR10.TMP", true);
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 2);
    EXPECT_EQ(h.connect("N0ABC-0", 1).result, 2);
    EXPECT_FALSE(h.exists("morvel/ERROR10.TMP"));
    std::string mail = h.read(MAIL_IMPORT);
    EXPECT_EQ(count_text(mail, "*** ERROR 00110"), 2) << "without its marker each report is news";
    EXPECT_TRUE(whole_mail(mail)) << mail;
}

// Every operation of a kind in a busy run, failed in turn, once and from then
// on: whatever fails, each call gets a verdict, no lock of the filter's is
// left behind, no mail file holds a torn message, and the held message is
// neither lost nor imported twice.
TEST(Faults, EveryFailureOfARunLeavesSoundFiles)
{
    const std::string held = "#\nSP N0SYS < MORVEL\nheld\n/EX\n";
    for (PlatFault kind : {PLAT_FAULT_OPEN, PLAT_FAULT_WRITE, PLAT_FAULT_CLOSE, PLAT_FAULT_REMOVE}) {
        for (bool persist : {false, true}) {
            int hits = 1;
            for (int nth = 1; hits > 0; nth++) {
                SCOPED_TRACE(std::string(kind_name(kind)) + (persist ? " from the " : " of the ") +
                             std::to_string(nth) + "th on");
                HostDir h;
                faulty_disk_host(h);
                h.make_dir("morvel/logcnx");
                h.write(MAIL_HELD, held);
                plat_test_fail(kind, nth, nullptr, persist);
                std::vector<int> results;
                results.push_back(h.connect("N0NEW-1", 1, 0, 1).result);
                results.push_back(h.connect("N0FIX-1", 1).result);
                results.push_back(h.answer("N0FIX-1", 1, "wrong", 1).result);
                results.push_back(h.connect("N9ANY-1", 3).result);
                h.command("-log");
                results.push_back(h.connect("N9ANY-1", 1).result);
                hits = plat_test_faults_hit(kind);

                plat_test_clear_faults();
                for (int r : results)
                    EXPECT_TRUE(r >= 0 && r <= 4) << r;
                std::string import = h.read(MAIL_IMPORT), held_now = h.read(MAIL_HELD);
                EXPECT_TRUE(whole_mail(import)) << import;
                EXPECT_TRUE(whole_mail(held_now)) << held_now;
                if (kind != PLAT_FAULT_REMOVE) {
                    EXPECT_FALSE(h.exists(MAIL_LOCK));
                    EXPECT_EQ(count_text(import + held_now, "\nheld\n"), 1) << import << held_now;
                }
            }
        }
    }
}

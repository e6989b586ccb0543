// Path lookup without regard to case, creation with the spelling given, and the test hooks.
#include "platform/platform.h"
#include "support/host_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

TEST(Platform, MixedCaseLookupFindsTheFileOnDisk)
{
    HostDir h;
    h.make_dir("morvel/Texts");
    h.write("morvel/Texts/Intro3.prt", "hello\n");
    for (const char *p : {"morvel\\Texts\\Intro3.prt", "MORVEL\\TEXTS\\INTRO3.PRT", "Morvel\\texts\\intro3.PRT"}) {
        FILE *f = plat_fopen(p, "rt");
        ASSERT_NE(f, nullptr) << p;
        char line[16] = "";
        ASSERT_NE(fgets(line, sizeof line, f), nullptr);
        EXPECT_STREQ(line, "hello\n");
        fclose(f);
        EXPECT_TRUE(plat_exists(p));
    }
}

TEST(Platform, NewFileKeepsTheSpellingGivenAndIsFoundInAnyCase)
{
    HostDir h;
    FILE *f = plat_fopen("morvel\\N0CALL1.tmp", "wt");
    ASSERT_NE(f, nullptr);
    fputs("ABCDE\n", f);
    fclose(f);
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{"N0CALL1.tmp"});
    EXPECT_TRUE(plat_exists("morvel\\N0CALL1.TMP"));
    f = plat_fopen("MORVEL\\n0call1.TMP", "rt");
    ASSERT_NE(f, nullptr);
    fclose(f);
    // Rewriting under another spelling writes the same file, never a second one.
    f = plat_fopen("morvel\\N0CALL1.TMP", "wt");
    ASSERT_NE(f, nullptr);
    fclose(f);
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{"N0CALL1.tmp"});
    EXPECT_TRUE(plat_remove("morvel\\n0call1.TMP"));
    EXPECT_FALSE(plat_exists("morvel\\N0CALL1.tmp"));
    EXPECT_TRUE(plat_remove("morvel\\N0CALL1.tmp")) << "removing a missing file is no failure";
}

#if !defined(_WIN32)
// rewrite - write a file through the layer as a challenge does; false when it does not open.
static bool rewrite(const char *path, const char *text)
{
    FILE *f = plat_fopen(path, "wt");
    if (!f)
        return false;
    fputs(text, f);
    return fclose(f) == 0;
}

// A rewrite puts a new file in place of the old one (no truncation for the
// file system to flush); what the sysop set up around the file must hold.
TEST(Platform, RewritingAFileLeavesOnlyTheNewTextAndKeepsLinksAndPermissions)
{
    HostDir h;
    const std::string morvel = h.root() + "/morvel/";
    ASSERT_TRUE(rewrite("morvel\\N0CALL1.TMP", "a longer first challenge\n2"));
    ASSERT_TRUE(rewrite("morvel\\n0call1.tmp", "short\n"));
    EXPECT_EQ(h.read("morvel/N0CALL1.TMP"), "short\n");
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{"N0CALL1.TMP"});

    ASSERT_EQ(chmod((morvel + "N0CALL1.TMP").c_str(), 0600), 0);
    ASSERT_TRUE(rewrite("morvel\\N0CALL1.TMP", "again\n"));
    struct stat st;
    ASSERT_EQ(stat((morvel + "N0CALL1.TMP").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A symbolic link is written through, and a file with a second name stays one file.
    h.write("elsewhere.txt", "old\n");
    ASSERT_EQ(symlink((h.root() + "/elsewhere.txt").c_str(), (morvel + "linked.prt").c_str()), 0);
    ASSERT_TRUE(rewrite("morvel\\linked.prt", "through the link\n"));
    EXPECT_EQ(h.read("elsewhere.txt"), "through the link\n");
    struct stat lst;
    ASSERT_EQ(lstat((morvel + "linked.prt").c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    ASSERT_EQ(link((morvel + "N0CALL1.TMP").c_str(), (h.root() + "/second-name").c_str()), 0);
    ASSERT_TRUE(rewrite("morvel\\N0CALL1.TMP", "both names\n"));
    EXPECT_EQ(h.read("second-name"), "both names\n");

    // A file the filter may not write is refused, not replaced (root may write anything).
    if (geteuid() != 0) {
        h.write("morvel/locked.prt", "keep\n");
        ASSERT_EQ(chmod((morvel + "locked.prt").c_str(), 0444), 0);
        EXPECT_FALSE(rewrite("morvel\\locked.prt", "lost\n"));
        EXPECT_EQ(h.read("morvel/locked.prt"), "keep\n");
    }
}
#endif

TEST(Platform, DirectoriesHiddenFilesAndExclusiveCreate)
{
    HostDir h;
    EXPECT_TRUE(plat_make_directory("MORVEL\\logcnx"));
    EXPECT_EQ(h.list("morvel"), std::vector<std::string>{"logcnx"});
    EXPECT_FALSE(plat_make_directory("morvel\\no\\such")) << "one level only";
    EXPECT_TRUE(plat_create_hidden("morvel\\ERROR5.TMP"));
    EXPECT_TRUE(plat_exists("morvel\\error5.tmp"));
    bool existed = true;
    FILE *f = plat_fopen_exclusive("MAIL\\MAIL.lck", &existed);
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(existed);
    fclose(f);
    EXPECT_EQ(plat_fopen_exclusive("mail\\mail.LCK", &existed), nullptr);
    EXPECT_TRUE(existed);
}

TEST(Platform, FailingPathHookAndAbsolutePaths)
{
    HostDir h;
    h.write("morvel/config.prt", "x\n");
    plat_test_fail_open("MORVEL\\CONFIG.PRT");
    EXPECT_EQ(plat_fopen("morvel\\config.prt", "rt"), nullptr);
    plat_test_fail_open(nullptr);
    FILE *f = plat_fopen("morvel\\config.prt", "rt");
    ASSERT_NE(f, nullptr);
    fclose(f);
    std::string upper = h.root();
    for (char &c : upper)
        c = (char)toupper((unsigned char)c);
    EXPECT_TRUE(plat_exists((upper + "\\MORVEL\\CONFIG.PRT").c_str()));
}

// A stream whose writes fail, as every system's C library gives it: each way
// of opening a file for writing leaves the file as that open would (created,
// emptied or kept), refuses the bytes, sets the error flag, stands at the
// file's end as an appending stream does, and its close reports the failure.
TEST(Platform, WriteFaultGivesAStreamThatTakesNoByte)
{
    struct Case {
        const char *mode;         // "private", "exclusive", or a plat_fopen mode
        const char *before;       // the file before, null: none
        const char *after;
    };
    const Case cases[] = {
        {"wt", "old\n", ""},
        {"at", "old\n", "old\n"},
        {"at", nullptr, ""},
        {"private", "old\n", ""},
        {"exclusive", nullptr, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.mode) + (c.before ? " over a file" : " of a new file"));
        HostDir h;
        if (c.before)
            h.write("morvel/n0call1.tmp", c.before);
        plat_test_fail(PLAT_FAULT_WRITE, 1, "MORVEL\\N0CALL1.TMP", false);
        std::string mode = c.mode;
        FILE *f = mode == "private"     ? plat_fopen_private("morvel\\n0call1.tmp")
                  : mode == "exclusive" ? plat_fopen_exclusive("morvel\\n0call1.tmp", nullptr)
                                        : plat_fopen("morvel\\n0call1.tmp", c.mode);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(plat_test_faults_hit(PLAT_FAULT_WRITE), 1);
        EXPECT_EQ(ftell(f), c.before && mode == "at" ? (long)strlen(c.before) : 0L);
        fprintf(f, "lost %d\n", 1);
        fputc('x', f);
        EXPECT_NE(ferror(f), 0);
        EXPECT_EQ(plat_fclose(f), EOF);
        EXPECT_EQ(h.read("morvel/n0call1.tmp"), c.after);
    }
}

// Close faults count only the streams the filter wrote, and may be aimed at one file.
TEST(Platform, CloseFaultIsAimedAtOneFile)
{
    HostDir h;
    plat_test_fail(PLAT_FAULT_CLOSE, 2, "morvel\\b.prt", false);
    for (int round = 1; round <= 2; round++) {
        FILE *a = plat_fopen("morvel\\a.prt", "at");
        FILE *b = plat_fopen("morvel\\B.PRT", "at");
        ASSERT_TRUE(a && b);
        fputs("line\n", a);
        fputs("line\n", b);
        EXPECT_EQ(plat_fclose(a), 0) << round;
        EXPECT_EQ(plat_fclose(b), round == 2 ? EOF : 0) << round;
    }
    EXPECT_EQ(plat_test_faults_hit(PLAT_FAULT_CLOSE), 1);
    EXPECT_EQ(h.read("morvel/b.prt"), "line\nline\n") << "the close fails, the bytes are written";
}

// The system's generator: two fillings of one buffer differ (equal 32 bytes
// would mean a broken generator), and the test hook makes it fail.
TEST(Platform, RandomBytesComeFromTheSystemAndTheHookMakesThemFail)
{
    unsigned char a[32] = {0}, b[32] = {0};
    ASSERT_TRUE(plat_random_bytes(a, sizeof a));
    ASSERT_TRUE(plat_random_bytes(b, sizeof b));
    EXPECT_NE(memcmp(a, b, sizeof a), 0);
    plat_test_fail_random(true);
    EXPECT_FALSE(plat_random_bytes(a, sizeof a));
    plat_test_fail_random(false);
    EXPECT_TRUE(plat_random_bytes(a, sizeof a));
}

TEST(Platform, ListingGivesEveryNameOfADirectory)
{
    HostDir h;
    h.write("morvel/N0CALL1.TMP", "x\n");
    h.write("morvel/config.prt", "x\n");
    h.make_dir("morvel/logcnx");
    PlatListing listing;
    ASSERT_TRUE(plat_open_listing("MORVEL", &listing));
    std::vector<std::string> names;
    char name[260];
    while (plat_next_name(&listing, name, sizeof name))
        if (name[0] != '.')
            names.push_back(name);
    plat_close_listing(&listing);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"N0CALL1.TMP", "config.prt", "logcnx"}));
    EXPECT_FALSE(plat_open_listing("morvel\\no-such-dir", &listing));
}

#ifndef _WIN32
// A name in another case is found, and a missing one is not, in a
// directory of 20,000 names and in one whose names are too long to be kept
// between look-ups.
TEST(Platform, LookupInAnyCaseHoldsInLargeDirectories)
{
    for (int name_length : {12, 200}) {
        SCOPED_TRACE(name_length);
        HostDir h;
        const int count = name_length < 100 ? 20000 : 6000;
        std::string middle;
        for (int i = 0; i < count; i++) {
            std::string name = "N" + std::to_string(i) + std::string(name_length, 'X') + ".TMP";
            FILE *f = fopen((h.root() + "/morvel/" + name).c_str(), "w");
            ASSERT_NE(f, nullptr);
            fclose(f);
            if (i == count / 2)
                middle = name;
        }
        std::string lower = middle;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        plat_begin_call();
        EXPECT_TRUE(plat_exists(("morvel\\" + lower).c_str()));
        EXPECT_FALSE(plat_exists("morvel\\n0none.tmp"));
        EXPECT_TRUE(plat_exists(("morvel\\" + lower).c_str()));
    }
}

// make_behind - a file another process makes, without the layer knowing.
static void make_behind(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
}

// set_changed - the directory's modification time.
static void set_changed(const std::string &dir, struct timespec when)
{
    struct timespec times[2] = {{0, UTIME_OMIT}, when};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
}

// A file another process makes after the listing of its directory was read
// in a call is seen from the next call on: also when the directory had
// changed just before the reading and the coarse clock of the file system
// leaves its time as it was. Within the call the listing answers alone,
// but while a lock is held the name is asked of the system as spelled:
// processes of the filter hand their files over under the lock, and spell
// their names alike.
TEST(Platform, AnotherProcessesFileIsSeenAtTheNextCallOrUnderALock)
{
    struct Case {
        const char *what;
        const char *made;  // as the other process spells it
        bool still;        // the directory last changed a minute before the reading
        bool next_call;
        bool locked;
        bool seen;
    } cases[] = {
        {"next call, the directory still for a minute", "LATE.PRT", true, true, false, true},
        {"next call, made in the tick of the reading", "LATE.PRT", false, true, false, true},
        {"same call, under a lock, spelt as the filter spells it", "late.prt", true, false, true, true},
        {"same call, without a lock", "late.prt", true, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        h.write("morvel/config.prt", "x\n");
        h.write("morvel/t.lck", "");
        std::string dir = h.root() + "/morvel";
        struct stat st;
        ASSERT_EQ(stat(dir.c_str(), &st), 0);
        struct timespec changed = st.st_mtim;
        if (c.still)
            changed = {time(nullptr) - 60, 0};
        set_changed(dir, changed);
        plat_begin_call();
        EXPECT_FALSE(plat_exists("morvel\\late.prt"));
        make_behind(dir + "/" + c.made);
        if (!c.still)
            set_changed(dir, changed);
        PlatLock lock;
        if (c.locked) {
            ASSERT_TRUE(plat_lock("morvel\\t.lck", &lock, 1000));
        }
        if (c.next_call)
            plat_begin_call();
        EXPECT_EQ(plat_exists("morvel\\late.prt"), c.seen);
        if (c.locked)
            plat_unlock(&lock);
    }
}

// The filter's own changes enter the listing read in the call, which stays
// true without being read again: a name it lacks costs no system call and
// is not removed, and one it holds costs the one call of the operation.
TEST(Platform, OwnChangesKeepTheListingOfTheCallTrue)
{
    HostDir h;
    h.write("morvel/Config.prt", "x\n");
    plat_begin_call();
    EXPECT_FALSE(plat_exists("morvel\\none.prt"));   // reads the listing
    auto calls_of = [](const std::function<void()> &what) {
        unsigned long before = plat_test_system_calls();
        what();
        return plat_test_system_calls() - before;
    };
    auto missing_cost_nothing = [&](const char *when) {
        EXPECT_EQ(calls_of([] {
                      PlatText text;
                      EXPECT_FALSE(plat_exists("morvel\\other.prt"));
                      EXPECT_TRUE(plat_remove("morvel\\ERROR3.TMP"));
                      EXPECT_EQ(plat_fopen("morvel\\mail.prt", "rt"), nullptr);
                      EXPECT_FALSE(plat_open_text("morvel\\intro.prt", &text));
                      EXPECT_EQ(plat_file_kind("morvel\\none.idx"), PLAT_NO_FILE);
                  }),
                  0u)
            << when;
    };
    missing_cost_nothing("after the reading");
    EXPECT_EQ(calls_of([] { EXPECT_TRUE(plat_exists("morvel\\CONFIG.PRT")); }), 1u);

    ASSERT_TRUE(plat_create_hidden("morvel\\ERROR5.TMP"));
    ASSERT_TRUE(plat_make_directory("morvel\\logcnx"));
    ASSERT_TRUE(plat_rename("morvel\\Config.prt", "morvel\\Renamed.prt"));
    PlatReplacement r;
    FILE *f = plat_open_replacement("morvel\\pending.idx", false, &r);
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(plat_commit_replacement(&r));
    FILE *lock = plat_fopen_exclusive("morvel\\own.lck", nullptr);
    ASSERT_NE(lock, nullptr);
    plat_fclose(lock);
    ASSERT_TRUE(plat_remove("morvel\\own.lck"));
    missing_cost_nothing("after its own changes");
    for (const char *made : {"morvel\\error5.tmp", "morvel\\LOGCNX", "morvel\\renamed.prt", "morvel\\PENDING.IDX"})
        EXPECT_TRUE(plat_exists(made)) << made;
    for (const char *gone : {"morvel\\config.prt", "morvel\\own.lck"})
        EXPECT_EQ(calls_of([gone] { EXPECT_FALSE(plat_exists(gone)) << gone; }), 0u) << gone;
    EXPECT_EQ(h.list("morvel"), (std::vector<std::string>{"ERROR5.TMP", "Renamed.prt", "logcnx", "pending.idx"}));
}

// users_of - a users.prt of `entries` entries, the stations of the figures last.
static std::string users_of(int entries)
{
    std::string text;
    for (int i = 0; i < entries - 3; i++)
        text += "X" + std::to_string(i % 10) + std::to_string(i) + "A-1\n1 NORMAL pw" + std::to_string(i) + "\n2 OPEN\n-\n";
    return text + "N0OPN-1\n* OPEN\n-\nN0RDO-1\n* READONLY\n-\nN0NRM-1\n* NORMAL secretpassword\n-\n";
}

// What a call costs in calls of the system, users.prt holding 10,000 entries
// with the station's last: at most the figures written in docs/performance.md
// ("The system calls of a call"). The call before is a challenge, which
// changes the filter directory, as calls that follow each other do; or the
// directory has been still for a minute.
TEST(Platform, ACallMakesNoMoreSystemCallsThanItsFigure)
{
    struct Case {
        const char *what;
        const char *station;
        bool still;
        unsigned long figure;
    } cases[] = {
        {"READONLY decision after a challenge", "N0RDO-1", false, 19},
        {"READONLY decision, the directory still", "N0RDO-1", true, 15},
        {"NORMAL challenge after a challenge", "N0NRM-1", false, 43},
        // users.prt read once, though the check and the fresh challenge both need the entry
        {"wrong NORMAL answer with attempts left", "N0NRM-1", false, 44},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HostDir h;
        h.write_basic_config({"1 OPEN", "2 OPEN", "3 OPEN", "4 OPEN"});
        h.write_users(users_of(10000));
        h.connect("N0NRM-1");   // the first call of a load reads the host's files
        if (c.still) {
            set_changed(h.root() + "/morvel", {time(nullptr) - 60, 0});
            h.connect(c.station);
        } else {
            h.connect("N0NRM-1");
        }
        bool answer = c.what[0] == 'w';
        unsigned long before = plat_test_system_calls();
        CallResult r = answer ? h.answer(c.station, 1, "wrong") : h.connect(c.station);
        unsigned long made = plat_test_system_calls() - before;
        EXPECT_EQ(r.result, c.station[2] == 'R' ? 3 : 1) << r.reply;
        EXPECT_LE(made, c.figure) << "system calls of the call";
        RecordProperty(std::string("system calls: ") + c.what, (int)made);
    }
}
#endif

#ifndef _WIN32
// A private file is its owner's alone, also when an older file of that name
// was readable by others; it is written like any other text file.
TEST(Platform, PrivateFileIsReadableByItsOwnerOnly)
{
    HostDir h;
    h.write("morvel/N0CALL1.TMP", "old\n");
    chmod((h.root() + "/morvel/N0CALL1.TMP").c_str(), 0644);
    plat_begin_call();   // the file was made behind the layer's back, as between two calls
    for (const char *path : {"morvel\\n0call1.tmp", "morvel\\N0CALL2.TMP"}) {
        FILE *f = plat_fopen_private(path);
        ASSERT_NE(f, nullptr) << path;
        fputs("new\n", f);
        fclose(f);
    }
    EXPECT_EQ(h.list("morvel"), (std::vector<std::string>{"N0CALL1.TMP", "N0CALL2.TMP"}));
    for (const char *name : {"N0CALL1.TMP", "N0CALL2.TMP"}) {
        struct stat st;
        ASSERT_EQ(stat((h.root() + "/morvel/" + name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
        EXPECT_EQ(h.read(std::string("morvel/") + name), "new\n");
    }
    plat_test_fail_open("morvel\\N0CALL1.TMP");
    EXPECT_EQ(plat_fopen_private("morvel\\N0CALL1.TMP"), nullptr);
}
#endif

// append_line - one line added through plat_open_append; false when it would not open.
static bool append_line(const char *path, const char *line)
{
    FILE *f = plat_open_append(path);
    if (!f)
        return false;
    fputs(line, f);
    return plat_fclose(f) == 0;
}

// Lines are added to an existing file only, each on a line of its own even
// after a last line left without its end, and never through a link.
TEST(Platform, AppendAddsWholeLinesToAFileOfItsOwn)
{
    HostDir h;
    EXPECT_FALSE(append_line("morvel\\exposure.dat", "a\n")) << "no file is made";
    EXPECT_FALSE(h.exists("morvel/exposure.dat"));
    h.write("morvel/Exposure.DAT", "");
    plat_begin_call();
    ASSERT_TRUE(append_line("morvel\\exposure.dat", "a\n"));
    h.write("morvel/Exposure.DAT", h.read("morvel/Exposure.DAT") + "cut sho");
    ASSERT_TRUE(append_line("MORVEL\\EXPOSURE.DAT", "b\n"));
    ASSERT_TRUE(append_line("morvel\\exposure.dat", "c\n"));
    EXPECT_EQ(h.read("morvel/Exposure.DAT"), "a\ncut sho\nb\nc\n");
#ifndef _WIN32
    h.write("morvel/users.prt", "N0CALL\n");
    ASSERT_EQ(link((h.root() + "/morvel/users.prt").c_str(), (h.root() + "/morvel/hard.dat").c_str()), 0);
    ASSERT_EQ(symlink("users.prt", (h.root() + "/morvel/soft.dat").c_str()), 0);
    plat_begin_call();
    EXPECT_FALSE(append_line("morvel\\hard.dat", "x\n"));
    EXPECT_FALSE(append_line("morvel\\soft.dat", "x\n"));
    EXPECT_EQ(h.read("morvel/users.prt"), "N0CALL\n");
#endif
}

// replace_with - write text as the new content of path through a replacement; the commit's result.
static bool replace_with(const char *path, const char *text, bool private_file = false)
{
    PlatReplacement r;
    FILE *f = plat_open_replacement(path, private_file, &r);
    if (!f)
        return false;
    fputs(text, f);
    return plat_commit_replacement(&r);
}

// A rewrite that fails at any step leaves the old content whole and no
// temporary behind; one that succeeds leaves only the new content.
TEST(Platform, ReplacementLeavesTheOldContentOrTheNewNeverNoneOrHalf)
{
    struct Case {
        PlatFault fault;     // PLAT_FAULT_KINDS: none
        bool replaced;
    } cases[] = {
        {PLAT_FAULT_KINDS, true},
        {PLAT_FAULT_OPEN, false},
        {PLAT_FAULT_WRITE, false},
        {PLAT_FAULT_CLOSE, false},
        {PLAT_FAULT_RENAME, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault);
        HostDir h;
        h.write("morvel/error.prt", "old record\n");
        if (c.fault != PLAT_FAULT_KINDS)
            plat_test_fail(c.fault, 1, "MORVEL\\ERROR.PRT", false);
        EXPECT_EQ(replace_with("morvel\\error.prt", "new record\n"), c.replaced);
        EXPECT_EQ(h.read("morvel/error.prt"), c.replaced ? "new record\n" : "old record\n");
        EXPECT_EQ(h.list("morvel"), std::vector<std::string>{"error.prt"});
    }
    HostDir h;
    EXPECT_TRUE(replace_with("morvel\\new.prt", "first\n"));
    EXPECT_EQ(h.read("morvel/new.prt"), "first\n");
}

// Renaming replaces a file of the new name; a fault keeps both names as they were.
TEST(Platform, RenameReplacesTheTargetAndItsFaultChangesNothing)
{
    HostDir h;
    h.write("morvel/a.prt", "a\n");
    h.write("morvel/b.prt", "b\n");
    plat_test_fail(PLAT_FAULT_RENAME, 1, "morvel\\a.prt", false);
    EXPECT_FALSE(plat_rename("morvel\\a.prt", "morvel\\b.prt"));
    EXPECT_EQ(h.read("morvel/b.prt"), "b\n");
    EXPECT_TRUE(plat_rename("morvel\\a.prt", "morvel\\b.prt"));
    EXPECT_FALSE(h.exists("morvel/a.prt"));
    EXPECT_EQ(h.read("morvel/b.prt"), "a\n");
}

// A new name is given only when no file holds it, and the file keeps its
// identity under it; two files never share one. A fault changes nothing.
TEST(Platform, NewNameIsGivenOnlyWhenFreeAndKeepsTheFilesIdentity)
{
    HostDir h;
    h.write("morvel/a.prt", "a\n");
    h.write("morvel/b.prt", "b\n");
    PlatFileId a, b, moved;
    ASSERT_TRUE(plat_file_identity("morvel\\A.prt", &a));
    ASSERT_TRUE(plat_file_identity("morvel\\b.prt", &b));
    EXPECT_FALSE(plat_same_file(&a, &b));
    EXPECT_FALSE(plat_file_identity("morvel\\none.prt", &moved));
    bool taken = false;
    EXPECT_FALSE(plat_rename_new("morvel\\a.prt", "morvel\\B.PRT", &taken));
    EXPECT_TRUE(taken);
    EXPECT_EQ(h.read("morvel/b.prt"), "b\n");
    plat_test_fail(PLAT_FAULT_RENAME, 1, "morvel\\a.prt", false);
    EXPECT_FALSE(plat_rename_new("morvel\\a.prt", "morvel\\c.prt", &taken));
    EXPECT_FALSE(taken);
    EXPECT_TRUE(h.exists("morvel/a.prt"));
    EXPECT_TRUE(plat_rename_new("morvel\\a.prt", "morvel\\c.prt", &taken));
    EXPECT_FALSE(h.exists("morvel/a.prt"));
    EXPECT_EQ(h.read("morvel/c.prt"), "a\n");
    ASSERT_TRUE(plat_file_identity("morvel\\c.prt", &moved));
    EXPECT_TRUE(plat_same_file(&a, &moved));
}

// Waits for a lock are measured on the clock, never counted in pauses: a
// lock held elsewhere costs the time given, however long each pause lasts.
TEST(Platform, LockWaitEndsWhenItsTimeHasPassed)
{
    HostDir h;
    for (int tick : {1, 16, 400}) {
        plat_test_wait_clock(tick);
        plat_test_hold_lock("morvel\\t.lck");
        PlatLock lock;
        EXPECT_FALSE(plat_lock("morvel\\t.lck", &lock, 1000));
        EXPECT_GE(plat_clock_ms(), 1000) << tick;
        EXPECT_LT(plat_clock_ms(), 1000 + (tick > 2 ? tick : 2)) << tick;
        plat_test_hold_lock(nullptr);
        EXPECT_TRUE(plat_lock("morvel\\t.lck", &lock, 1000));
        plat_unlock(&lock);
    }
}

#ifndef _WIN32
// The new file keeps the old one's permissions exactly (private: the owner's
// only), and a link is never written through.
TEST(Platform, ReplacementKeepsPermissionsAndRefusesLinks)
{
    HostDir h;
    std::string file = h.root() + "/morvel/error.prt";
    h.write("morvel/error.prt", "old\n");
    chmod(file.c_str(), 0640);
    ASSERT_TRUE(replace_with("morvel\\error.prt", "new\n"));
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_TRUE(replace_with("morvel\\error.prt", "secret\n", true));
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    h.write("morvel/users.prt", "N0CALL\n");
    ASSERT_EQ(link((h.root() + "/morvel/users.prt").c_str(), (h.root() + "/morvel/hard.tmp").c_str()), 0);
    ASSERT_EQ(symlink("users.prt", (h.root() + "/morvel/soft.tmp").c_str()), 0);
    plat_begin_call();
    EXPECT_FALSE(replace_with("morvel\\hard.tmp", "x\n"));
    EXPECT_FALSE(replace_with("morvel\\soft.tmp", "x\n"));
    EXPECT_EQ(h.read("morvel/users.prt"), "N0CALL\n");
}

// A tool's file that holds a secret is a new file readable by its owner
// only, whatever stood there before, and is never written through a link.
TEST(Platform, SecretFileIsANewFileOfItsOwnerOnly)
{
    HostDir h;
    h.write("old.svg", "old\n");
    chmod((h.root() + "/old.svg").c_str(), 0666);
    h.write("victim", "keep\n");
    ASSERT_EQ(symlink("victim", (h.root() + "/link.svg").c_str()), 0);
    struct stat before;
    ASSERT_EQ(stat((h.root() + "/old.svg").c_str(), &before), 0);
    plat_begin_call();
    for (const char *name : {"old.svg", "new.svg"}) {
        PlatReplacement r;
        FILE *f = plat_open_secret(name, &r);
        ASSERT_NE(f, nullptr) << name;
        fputs("secret\n", f);
        ASSERT_TRUE(plat_commit_replacement(&r)) << name;
        struct stat st;
        ASSERT_EQ(stat((h.root() + "/" + name).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
        EXPECT_EQ(h.read(name), "secret\n");
        if (std::string(name) == "old.svg") {
            EXPECT_NE(st.st_ino, before.st_ino) << "written into the old file";
        }
    }
    PlatReplacement r;
    EXPECT_EQ(plat_open_secret("link.svg", &r), nullptr);
    EXPECT_EQ(h.read("victim"), "keep\n");
}

// The lock excludes another process while it is held, and only then: the
// child process tries it without waiting.
TEST(Platform, LockExcludesAnotherProcessUntilReleased)
{
    HostDir h;
    auto other_process_gets_it = [] {
        pid_t child = fork();
        if (child == 0) {
            PlatLock lock;
            _exit(plat_try_lock("morvel\\t.lck", &lock) == 1 ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    PlatLock lock;
    ASSERT_TRUE(plat_lock("morvel\\t.lck", &lock, 0));
    EXPECT_FALSE(other_process_gets_it());
    plat_unlock(&lock);
    EXPECT_TRUE(other_process_gets_it());
}
#endif

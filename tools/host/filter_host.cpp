// filter_host.cpp - a host simulator: loads the filter module by path, as the
// host BBS does, and drives it from inside a host directory.
//
// It prints what the caller would see and the verdict, and exits with the
// final verdict (0 admitted, 1 challenge left unanswered, 2 refused, 3
// read-only, 4 on hold, 11 guest), or 100 for a usage or loading error.
//
// With --dry-run it runs the filter's code linked into itself, with the
// platform layer's overlay: nothing is written, and what would have been
// written is listed at the end. With --at DATE TIME it runs that linked
// filter too, with its clock fixed there, and writes as the module would: a
// script plays a month of sessions in a minute (tools/make_sample_logs.py).
// After a sysop command it says in words what
// the command did, from what the module it ran changed (command_effect.cpp).
//
// With --password it plays a caller who knows the password: it reads the
// challenge line of the reply and works out the answer the way a caller
// would, with the library's own digest and one-time-code code.
#include "auth/digests.h"
#include "auth/one_time_codes.h"
#include "common/otp_secret.h"
#include "common/wipe.h"
#include "tools/shared/caller_answer.h"
#include "tools/host/command_effect.h"
#include "tools/host/module_version.h"
#include "common/reply.h"
#include "filter/connection.h"
#include "filter/entry_points.h"
#include "filter/filter_state.h"
#include "platform/dry_run.h"
#include "platform/platform.h"
#include "tools/shared/tool_command_line.h"
#include "tools/shared/tool_run.h"
#include "tools/shared/tool_version.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

typedef int (*svc_main_fn)(int, char **, char *, int);
typedef int (*dll_main_fn)(int, char **);

enum { HOST_REPLY_SIZE = 8192 };

// The help's head and foot; each option says itself.
static const char help_head[] =
    "usage: filter-host [options] connect CALL-SSID\n"
    "       filter-host [options] forward CALL-SSID --line TEXT\n"
    "       filter-host [options] command WORD [ARGUMENT]\n"
    "\n"
    "Drives the connection filter the way the host BBS does.\n"
    "\n"
    "  connect CALL-SSID   a station connects; when the filter puts a challenge,\n"
    "                      the answers come from --answer, then from --password,\n"
    "                      else from standard input (one line each), and are sent\n"
    "                      with attempt 1, 2, ...\n"
    "  forward CALL-SSID   the host logs in to partner CALL-SSID, which challenged\n"
    "                      it with the line given by --line (for example \"![1234567890]\")\n"
    "  command WORD [ARG]  a sysop command (-on, -off, -pbbs N, -pnormal N, -log),\n"
    "                      and what it did in words, read from what the module changed";

// HelpFormat - CLI11's help, with the usage lines of the head in place of its own.
class HelpFormat : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App *, std::string) const override { return ""; }
};

static const char help_foot[] =
    "--password answers each challenge as a caller who knows PASS:\n"
    "  PROMPT p1 p2 p3 p4 p5     the characters at those positions\n"
    "  PROMPT p1 .. p5 [digits]  the MD5 digest of digits+PASS\n"
    "  PROMPT ddddd              FLEXNET: d1*k1+...+d5*k5, k = PASS\n"
    "  PROMPT                    FIXED: PASS itself\n"
    "  ![digits]                 FORWARD: the MD5 digest of digits+PASS\n"
    "  PROMPT TOTP               the time code of the base32 secret PASS\n"
    "  PROMPT HOTP n             code number n of the base32 secret PASS\n"
    "\n"
    "exit status: the final verdict (0 admitted, 1 challenge unanswered, 2 refused,\n"
    "3 read-only, 4 on hold, 11 guest), 100 for a usage or loading error.";

struct Options {
    std::string dir = ".";
    std::string lib;
    std::string action;
    std::string station;
    std::string word;
    std::string argument;
    std::string line;
    std::string port = "1";
    std::string flags = "0";
    std::string count = "2";
    std::string memory = "1";
    std::vector<std::string> answers;
    std::vector<std::string> shows;
    std::vector<std::string> at;
    std::string password;
    bool has_password = false;
    bool scratch = false;
    bool dll = false;
    bool dry_run = false;
    bool version = false;
};

struct Module {
    svc_main_fn svc_main = nullptr;
    dll_main_fn dll_main = nullptr;
};

// program_dir - the folder of this program, also when it was found on PATH.
static fs::path program_dir(const char *argv0)
{
    std::error_code ec;
#if !defined(_WIN32)
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return self.parent_path();
#endif
    return fs::absolute(fs::path(argv0), ec).parent_path();
}

// default_library - c_filt32 beside this program when it is there (an
// installed pair), else where the Linux install puts it, else the module this
// program was built with.
static std::string default_library(const char *argv0)
{
#if defined(_WIN32)
    const char *name = "c_filt32.dll";
#else
    const char *name = "c_filt32.so";
#endif
    std::error_code ec;
    fs::path beside = program_dir(argv0) / name;
    if (fs::exists(beside, ec))
        return beside.string();
#if defined(FILTER_MODULE_FROM_TOOLS) && !defined(_WIN32)
    fs::path installed = program_dir(argv0) / FILTER_MODULE_FROM_TOOLS;
    if (fs::exists(installed, ec))
        return installed.lexically_normal().string();
#endif
#if defined(FILTER_MODULE_BUILT)
    return FILTER_MODULE_BUILT;
#else
    return beside.string();
#endif
}

static bool load_module(const std::string &path, Module *m)
{
#if defined(_WIN32)
    HMODULE h = LoadLibraryA(path.c_str());
    if (!h) {
        fprintf(stderr, "filter-host: cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return false;
    }
    m->svc_main = (svc_main_fn)(void *)GetProcAddress(h, "svc_main");
    m->dll_main = (dll_main_fn)(void *)GetProcAddress(h, "dll_main");
#else
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        fprintf(stderr, "filter-host: cannot load %s: %s\n", path.c_str(), dlerror());
        return false;
    }
    m->svc_main = (svc_main_fn)dlsym(h, "svc_main");
    m->dll_main = (dll_main_fn)dlsym(h, "dll_main");
#endif
    if (!m->svc_main || !m->dll_main) {
        fprintf(stderr, "filter-host: %s lacks svc_main or dll_main\n", path.c_str());
        return false;
    }
    return true;
}

// add_options - every option of the simulator, each setting its field of o.
static void add_options(CLI::App *app, Options *o)
{
    app->add_option("--dir", o->dir, "the host directory (holding init.srv and morvel/); default: .")->type_name("DIR");
    app->add_flag("--scratch", o->scratch, "work on a temporary copy of DIR, so that DIR stays unchanged "
                                            "(readable by you only; removed at the end and on Ctrl-C)");
    app->add_flag("--dry-run", o->dry_run, "write nothing: run the filter linked into this program and list "
                                            "the files it would have created, changed or removed");
    app->add_option("--lib", o->lib, "the filter module; default: c_filt32 beside this program, else the "
                                     "installed one, else the one built with it")->type_name("PATH");
    app->add_option("--port", o->port, "the port of the connection (default 1; 0 is the console)")->type_name("N");
    app->add_option("--flags", o->flags, "the station flags, added up (16 = BBS, 8 = may use BBS ports, "
                                         "64 = guest, 4 = spared the intro text with X)")->type_name("N");
    app->add_option("--count", o->count, "the connection count (1 = first connection; default 2)")->type_name("N");
    app->add_option("--answer", o->answers, "the caller's answer to a challenge (repeatable, in order)")
        ->allow_extra_args(false);
    app->add_option("--password", o->password, "play a caller who knows the password PASS: each challenge the "
                                               "--answer values leave open is answered from it (for TABLE "
                                               "give the password of today's row)")->type_name("PASS");
    app->add_option("--line", o->line, "the partner's challenge line for forward")->type_name("TEXT");
    app->add_option("--memory", o->memory, "the memory_available argument (default 1)")->type_name("N");
    app->add_flag("--dll", o->dll, "send a command through dll_main instead of svc_main");
    app->add_option("--at", o->at, "fix the filter's clock at DATE TIME (2026-11-02 09:15 or 02-11-2026 09:15:30): "
                                   "the filter linked into this program runs, as with --dry-run, and writes as "
                                   "the module would")->expected(2)->type_name("DATE TIME");
    app->add_option("--show", o->shows, "print a file of the host directory afterwards (repeatable), for "
                                        "example morvel/logcnx/logcnx.prt or mail/mail.in")
        ->type_name("FILE")->allow_extra_args(false);
    // The module's version is read once --lib is known, after the whole line.
    app->add_flag("--version", o->version, "print the release of this program and of the filter module it would "
                                           "load, and exit");
}

// values_taken - how many values follow arg, an option of app, on the command line.
static int values_taken(const CLI::App &app, const std::string &arg)
{
    if (arg.size() < 2 || arg[0] != '-' || arg.find('=') != std::string::npos)
        return 0;
    const CLI::Option *option = app.get_option_no_throw(arg);
    return option ? option->get_expected_min() : 0;
}

// take_command_words - the word and argument after "command" leave args:
// they start with "-", as options do, and are the host's words, not ours.
static std::vector<std::string> take_command_words(const CLI::App &app, std::vector<std::string> *args)
{
    std::vector<std::string> kept, taken;
    bool command = false, first_word = true;
    for (size_t i = 0; i < args->size(); i++) {
        const std::string &a = (*args)[i];
        if (a.size() > 1 && a[0] == '-' && app.get_option_no_throw(a.substr(0, a.find('=')))) {
            kept.push_back(a);
            for (int n = values_taken(app, a); n > 0 && i + 1 < args->size(); n--)
                kept.push_back((*args)[++i]);
        } else if (command && taken.size() < 2) {
            taken.push_back(a);
        } else {
            command = command || (first_word && a == "command");
            first_word = first_word && a[0] == '-';
            kept.push_back(a);
        }
    }
    *args = kept;
    return taken;
}

// take_action - the action and its words into o; false when they do not fit.
static bool take_action(const std::vector<std::string> &words, const std::vector<std::string> &command_words,
                        Options *o)
{
    if (words.empty())
        return false;
    o->action = words[0];
    if ((o->action == "connect" || o->action == "forward") && words.size() == 2 && command_words.empty()) {
        o->station = words[1];
        return true;
    }
    if (o->action == "command" && words.size() == 1 && !command_words.empty()) {
        o->word = command_words[0];
        o->argument = command_words.size() == 2 ? command_words[1] : "";
        return true;
    }
    return false;
}

// is_number - digits, with a sign before them at most.
static bool is_number(const std::string &text)
{
    size_t digits = text.find_first_not_of("+-") == 1 ? 1 : 0;
    return text.size() > digits && text.find_first_not_of("0123456789", digits) == std::string::npos;
}

// misfit_option - what an option given is that the action cannot take: a
// number that is none, or an option of another action; "" when all fit.
// The simulator passes its numbers to the filter as the host's strings, so
// a slip such as "--port l" would pass as the console unseen.
static std::string misfit_option(const CLI::App &app, const Options &o)
{
    const std::pair<const char *, const std::string *> numbers[] = {
        {"--port", &o.port}, {"--flags", &o.flags}, {"--count", &o.count}, {"--memory", &o.memory}};
    for (const auto &n : numbers)
        if (!is_number(*n.second))
            return std::string(n.first) + " " + *n.second + " is not a number";
    const std::pair<const char *, const char *> belongs[] = {
        {"--line", "forward"}, {"--answer", "connect"}, {"--password", "connect"}, {"--dll", "command"}};
    for (const auto &b : belongs)
        if (app.count(b.first) > 0 && o.action != b.second)
            return std::string(b.first) + " goes with " + b.second + ", not with " + o.action;
    return "";
}

// parse_options - the command line into o; false when the run stops there,
// with its exit status in *status (0 after --help or --version).
static bool parse_options(int argc, char **argv, Options *o, int *status)
{
    CLI::App app{help_head, "filter-host"};
    app.footer(help_foot);
    app.formatter(std::make_shared<HelpFormat>());
    add_options(&app, o);
    std::vector<std::string> words;
    app.add_option("ACTION", words, "connect CALL-SSID, forward CALL-SSID, or command (then WORD [ARGUMENT])");
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> command_words = take_command_words(app, &args);
    if (!parse_tool_line(app, "filter-host", status, args))
        return false;
    o->has_password = app.count("--password") > 0;
    if (o->version)
        return true;
    if (!o->at.empty() && !set_tool_clock(o->at[0], o->at[1])) {
        *status = tool_fail(EXIT_USAGE, "--at " + o->at[0] + " " + o->at[1] +
                                            ": give DATE as 2026-11-02 and TIME as 09:15");
        return false;
    }
    if (!take_action(words, command_words, o)) {
        *status = tool_fail(EXIT_USAGE, "give connect CALL-SSID, forward CALL-SSID or command WORD [ARGUMENT]; "
                                        "see --help");
        return false;
    }
    std::string misfit = misfit_option(app, *o);
    if (!misfit.empty()) {
        *status = tool_fail(EXIT_USAGE, misfit);
        return false;
    }
    return true;
}

static void show_reply(const char *reply)
{
    printf("---- reply to the caller ----\n%s", reply);
    if (reply[0] && reply[strlen(reply) - 1] != '\n')
        printf("\n");
    printf("-----------------------------\n");
    if (strlen(reply) >= (size_t)REPLY_CAPACITY - 1)
        printf("warning: the reply reached its capacity of %d bytes: the filter dropped the rest of its texts\n",
               (int)REPLY_CAPACITY);
}

static int call_connection(const Module &m, const Options &o, int attempt, const std::string &text,
                           const std::string &count, char *reply)
{
    std::string att = std::to_string(attempt);
    std::vector<std::string> args = {"bbs", o.station, att, o.flags, count, "0", o.port, text};
    std::vector<char *> argv;
    for (auto &s : args)
        argv.push_back(&s[0]);
    return m.svc_main(8, argv.data(), reply, atoi(o.memory.c_str()));
}

// md5_answer - the MD5 digest text of the challenge digits followed by the password.
static std::string md5_answer(const std::string &digits, const std::string &password)
{
    return digest_text(true, digits + password);
}

// one_time_answer - the code a caller's app or list gives for counter under
// the base32 secret; "" when the secret is not one.
static std::string one_time_answer(const std::string &secret, uint64_t counter)
{
    unsigned char key[OTP_SECRET_MAX];
    char code[OTP_CODE_TEXT];
    int length = otp_secret_decode(secret.c_str(), key);
    if (length < 0)
        return "";
    otp_code_text(key, (size_t)length, counter, code);
    wipe(key, sizeof key);
    return code;
}

// answer_from_challenge - what a caller who knows the password answers.
static bool answer_from_challenge(const std::string &reply, const std::string &password, std::string *answer)
{
    ChallengeLine c = parse_challenge(reply);
    switch (c.form) {
    case CHALLENGE_FIXED:
        *answer = password;
        return true;
    case CHALLENGE_POSITIONS:
        return chars_at_positions(password, c.positions, answer);
    case CHALLENGE_DIGEST:
    case CHALLENGE_FORWARD:
        *answer = md5_answer(c.digits, password);
        return true;
    case CHALLENGE_FLEXNET:
        *answer = std::to_string(flexnet_answer(password, c.digits));
        return true;
    case CHALLENGE_TOTP:
        // The filter's clock, which --at may have fixed.
        *answer = one_time_answer(password, totp_step(plat_now_seconds()));
        return !answer->empty();
    case CHALLENGE_HOTP:
        *answer = one_time_answer(password, c.counter);
        return !answer->empty();
    default:
        return false;
    }
}

// next_answer - from --answer, then from --password, else a line of standard input.
static bool next_answer(const Options &o, const std::string &reply, size_t *used, std::string *answer)
{
    if (*used < o.answers.size()) {
        *answer = o.answers[(*used)++];
        printf("answer> %s\n", answer->c_str());
        return true;
    }
    if (o.has_password) {
        if (!answer_from_challenge(reply, o.password, answer)) {
            printf("filter-host: cannot work out an answer to this challenge from --password\n");
            return false;
        }
        printf("answer> %s   (worked out from the password)\n", answer->c_str());
        return true;
    }
    if (!o.answers.empty())
        return false;
    printf("answer> ");
    fflush(stdout);
    return static_cast<bool>(std::getline(std::cin, *answer));
}

static int run_connect(const Module &m, const Options &o)
{
    static char reply[HOST_REPLY_SIZE];
    reply[0] = '\0';
    printf("%s connects on port %s (flags %s, connection %s)\n", o.station.c_str(), o.port.c_str(),
           o.flags.c_str(), o.count.c_str());
    if (!station_is_well_formed(o.station))
        printf("warning: %s is not CALLSIGN-SSID (letters and digits, \"-\", a number): the filter refuses the "
               "call (2) and leaves the reply empty\n", o.station.c_str());
    int v = call_connection(m, o, 0, "", o.count, reply);
    show_reply(reply);
    printf("verdict %d: %s\n", v, verdict_meaning(v));
    size_t used = 0;
    for (int attempt = 1; v == 1 && attempt < 256; attempt++) {
        std::string answer;
        if (!next_answer(o, reply, &used, &answer)) {
            printf("no answer given: the challenge stays pending\n");
            break;
        }
        reply[0] = '\0';
        v = call_connection(m, o, attempt, answer, o.count, reply);
        show_reply(reply);
        printf("verdict %d: %s\n", v, verdict_meaning(v));
    }
    return v;
}

static int run_forward(const Module &m, const Options &o)
{
    static char reply[HOST_REPLY_SIZE];
    reply[0] = '\0';
    printf("forward login to %s, partner's line: %s\n", o.station.c_str(), o.line.c_str());
    int v = call_connection(m, o, 0, o.line, "-1", reply);
    printf("---- answer sent to the partner ----\n%s", reply);
    printf("------------------------------------\n");
    printf("verdict %d: %s\n", v, v == 0 ? "answered" : "not answered");
    return v;
}

// run_command - the sysop command through the module, and what it did in
// words, read from the changes the module made: the dry run's, or those
// found on the disk.
static int run_command(const Module &m, const Options &o)
{
    static char reply[HOST_REPLY_SIZE];
    std::string word = o.word, arg = o.argument, prog = "bbs";
    std::vector<char *> argv = {&prog[0], &word[0]};
    if (!o.argument.empty())
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    int argc = (int)argv.size() - 1;
    DiskSizes before;
    if (!o.dry_run)
        before = disk_sizes();
    int r = o.dll ? m.dll_main(argc, argv.data())
                  : m.svc_main(argc, argv.data(), reply, atoi(o.memory.c_str()));
    std::vector<DryRunChange> changes = o.dry_run ? plat_dry_run_changes() : disk_changes(before, disk_sizes());
    printf("%s\n", command_effect(o.word, o.argument, changes).c_str());
    printf("command %s%s%s done through %s (result %d)\n", o.word.c_str(), arg.empty() ? "" : " ",
           arg.c_str(), o.dll ? "dll_main" : "svc_main", r);
    return r;
}

// getpid_portable - this process's number, to tell apart the scratch copies
// of simulators that run at the same time.
static long getpid_portable(void)
{
#if defined(_WIN32)
    return (long)GetCurrentProcessId();
#else
    return (long)getpid();
#endif
}

// scratch_directory - a new, empty directory of its own under the temporary
// directory: two simulators started in the same second must never share one.
static fs::path scratch_directory(std::error_code *ec)
{
    fs::path base = fs::temp_directory_path(*ec);
    for (unsigned attempt = 0; !*ec && attempt < 100; attempt++) {
        fs::path tmp = base / ("filter-host-" + std::to_string((long)time(nullptr)) + "-" +
                               std::to_string(getpid_portable()) + "-" + std::to_string(attempt));
        if (fs::create_directory(tmp, *ec))
            return tmp;
    }
    if (!*ec)
        *ec = std::make_error_code(std::errc::file_exists);
    return fs::path();
}

static fs::path scratch_to_remove;

// remove_scratch_on_signal - Ctrl-C or a termination: the copy goes too.
extern "C" void remove_scratch_on_signal(int sig)
{
    std::error_code ec;
    if (!scratch_to_remove.empty())
        fs::remove_all(scratch_to_remove, ec);
    signal(sig, SIG_DFL);
    raise(sig);
}

// owner_only - the copy holds passwords: readable by its owner only.
static void owner_only(const fs::path &dir)
{
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    for (const auto &e : fs::recursive_directory_iterator(dir, ec))
        fs::permissions(e.path(), e.is_directory() ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::replace, ec);
}

// unreadable_reason - why the account cannot read a file or list a
// directory, asked of the platform: "" when it can.
static std::string unreadable_reason(const fs::path &path)
{
    if (plat_may_access(path.string().c_str(), PLAT_MAY_READ))
        return "";
    return "the read permission is missing for the account running filter-host";
}

// copy_tree - everything in the directory from into the existing directory
// to; "" when it is all there, else what failed, naming the file as the
// sysop reaches it (shown is from as the sysop named it). std::filesystem's
// own copy is not used: MinGW's takes every two directories of one drive
// for the same one (its files have no inode numbers), and refuses a copy
// to the temporary directory whenever the BBS is on drive C: too.
static std::string copy_tree(const fs::path &from, const fs::path &to, const std::string &shown)
{
    std::error_code ec;
    std::string why = unreadable_reason(from);
    fs::directory_iterator entry(from, ec), end;
    if (!why.empty() || ec)
        return "cannot copy " + shown + ": " + (why.empty() ? ec.message() : why);
    for (; entry != end; entry.increment(ec)) {
        fs::path target = to / entry->path().filename();
        std::string name = shown + path_separator() + entry->path().filename().string();
        fs::file_status status = entry->status(ec);
        if (!ec && fs::is_directory(status)) {
            if (!fs::create_directory(target, ec) && !ec)
                ec = std::make_error_code(std::errc::file_exists);
            why = ec ? "cannot copy " + name + ": " + ec.message() : copy_tree(entry->path(), target, name);
        } else if (!ec && fs::is_regular_file(status)) {
            why = unreadable_reason(entry->path());
            if (why.empty())
                fs::copy_file(entry->path(), target, ec);
            why = !why.empty() || ec ? "cannot copy " + name + ": " + (why.empty() ? ec.message() : why) : "";
        } else {
            why = "cannot copy " + name + ": " + (ec ? ec.message() : "neither a file nor a directory");
        }
        if (!why.empty())
            return why;
    }
    return ec ? "cannot copy " + shown + ": " + ec.message() : "";
}

static bool enter_directory(Options *o, fs::path *scratch_dir)
{
    std::error_code ec;
    if (o->scratch) {
        fs::path tmp = scratch_directory(&ec);
        // Closed before the copy, so no password is readable by another
        // account while the files are being copied in.
        if (!ec)
            fs::permissions(tmp, fs::perms::owner_all, fs::perm_options::replace, ec);
        std::string failed = ec ? "cannot make a scratch directory: " + ec.message()
                                : copy_tree(o->dir, tmp, display_path(o->dir));
        if (!failed.empty()) {
            tool_fail(EXIT_USAGE, failed);
            // A copy that stopped half-way is of no use and may hold passwords.
            std::error_code gone;
            if (!tmp.empty())
                fs::remove_all(tmp, gone);
            return false;
        }
        *scratch_dir = tmp;
        scratch_to_remove = tmp;
        signal(SIGINT, remove_scratch_on_signal);
        signal(SIGTERM, remove_scratch_on_signal);
        owner_only(tmp);
        o->dir = tmp.string();
        printf("working on a scratch copy: %s\n", o->dir.c_str());
    }
    fs::current_path(o->dir, ec);
    if (ec) {
        tool_fail(EXIT_USAGE, "cannot enter " + o->dir + ": " + ec.message());
        return false;
    }
    return true;
}

// show_dry_run - what the run would have written; the mails are among it.
static void show_dry_run(const std::vector<DryRunChange> &changes)
{
    printf("==== dry run: nothing was written; the filter would have ====\n");
    if (changes.empty())
        printf("written nothing\n");
    for (const auto &c : changes) {
        const char *what = c.kind == DRY_RUN_CREATED ? "created" : c.kind == DRY_RUN_APPENDED ? "appended to"
                         : c.kind == DRY_RUN_REWRITTEN ? "rewritten" : c.kind == DRY_RUN_REMOVED ? "removed"
                         : "created the directory";
        bool mail = !mail_addressees({c}).empty();
        printf("%s %s%s\n", what, display_path(c.path).c_str(), mail ? " (mail)" : "");
        if (!c.text.empty())
            printf("%s%s", c.text.c_str(), c.text.back() == '\n' ? "" : "\n");
    }
}

// show_files - print files of the host directory, found without regard to
// case as the filter finds them.
static void show_files(const Options &o)
{
    plat_begin_call();   // the module has written since this program last looked
    for (const auto &name : o.shows) {
        char native[4096];
        plat_native_path(name.c_str(), native, sizeof native);
        FILE *f = fopen(native, "r");
        printf("==== %s ====\n", name.c_str());
        if (!f) {
            printf("(no such file)\n");
            continue;
        }
        char buf[512];
        while (fgets(buf, sizeof buf, f))
            fputs(buf, stdout);
        fclose(f);
    }
}

int main(int argc, char **argv)
{
    Options o;
    Module m;
    fs::path scratch;
    srand((unsigned)time(nullptr));
    int status;
    if (!parse_options(argc, argv, &o, &status))
        return status;
    if (o.lib.empty())
        o.lib = default_library(argv[0]);
    else
        o.lib = fs::absolute(o.lib).string();
    if (o.version) {
        std::string module = module_version(o.lib);
        printf("%s\nfilter module %s: %s\n", tool_version_line("filter-host").c_str(), o.lib.c_str(),
               module.empty() ? "no version of c_filt32 found in it" : module.c_str());
        return 0;
    }
    bool linked = o.dry_run || !o.at.empty();
    if (linked) {
        // The overlay and the fixed clock live in the platform layer, which
        // the module does not export: the filter linked into this program
        // runs instead.
        m.svc_main = svc_main;
        m.dll_main = dll_main;
    } else if (!load_module(o.lib, &m)) {
        return EXIT_USAGE;
    }
    if (!enter_directory(&o, &scratch))
        return EXIT_USAGE;
    if (o.dry_run && !plat_dry_run_begin())
        return tool_fail(EXIT_USAGE, "--dry-run is not supported on this system");
    // The linked filter starts as the module does when the host loads it,
    // with its error reporter in place.
    if (linked)
        filter_reset_state();
    int r;
    if (o.action == "connect")
        r = run_connect(m, o);
    else if (o.action == "forward")
        r = run_forward(m, o);
    else
        r = run_command(m, o);
    if (o.dry_run) {
        show_dry_run(masked_changes());
        plat_dry_run_end();
    }
    show_files(o);
    if (!scratch.empty()) {
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(ec), ec);
        fs::remove_all(scratch, ec);
    }
    return r;
}

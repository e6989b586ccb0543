// filter_host.cpp - a host simulator: loads the filter module by path, as the
// host BBS does, and drives it from inside a host directory.
//
// It prints what the caller would see and the verdict, and exits with the
// final verdict (0 admitted, 1 challenge left unanswered, 2 refused, 3
// read-only, 4 on hold, 11 guest), or 100 for a usage or loading error.
//
// With --dry-run it runs the filter's code linked into itself, with the
// platform layer's overlay: nothing is written, and what would have been
// written is listed at the end. It also says what each sysop command did.
//
// With --password it plays a caller who knows the password: it reads the
// challenge line of the reply and works out the answer the way a caller
// would, with the library's own digest and one-time-code code.
#include "auth/digests.h"
#include "auth/one_time_codes.h"
#include "common/otp_secret.h"
#include "common/wipe.h"
#include "tools/caller_answer.h"
#include "common/reply.h"
#include "common/trace.h"
#include "filter/connection.h"
#include "filter/entry_points.h"
#include "filter/filter_state.h"
#include "platform/dry_run.h"
#include "platform/platform.h"
#include "tools/tool_run.h"
#include "tools/tool_version.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <sstream>
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

enum { EXIT_USAGE = 100, HOST_REPLY_SIZE = 8192 };

static const char usage_text[] =
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
    "  command WORD [ARG]  a sysop command (-on, -off, -pbbs N, -pnormal N, -log)\n"
    "\n"
    "options:\n"
    "  --dir DIR        the host directory (holding init.srv and morvel/); default: .\n"
    "  --scratch        work on a temporary copy of DIR, so that DIR stays unchanged\n"
    "                   (readable by you only; removed at the end and on Ctrl-C)\n"
    "  --dry-run        write nothing: run the filter linked into this program and\n"
    "                   list the files it would have created, changed or removed\n"
    "  --lib PATH       the filter module; default: c_filt32 beside this program,\n"
    "                   else the one built with it\n"
    "  --port N         the port of the connection (default 1; 0 is the console)\n"
    "  --flags N        the station flags, added up (16 = BBS, 8 = may use BBS\n"
    "                   ports, 64 = guest, 4 = spared the intro text with X)\n"
    "  --count N        the connection count (1 = first connection; default 2)\n"
    "  --answer TEXT    the caller's answer to a challenge (repeatable, in order)\n"
    "  --password PASS  play a caller who knows the password PASS: each challenge\n"
    "                   the --answer values leave open is answered from it\n"
    "                   (for TABLE give the password of today's row):\n"
    "                     PROMPT p1 p2 p3 p4 p5     the characters at those positions\n"
    "                     PROMPT p1 .. p5 [digits]  the MD5 digest of digits+PASS\n"
    "                     PROMPT ddddd              FLEXNET: d1*k1+...+d5*k5, k = PASS\n"
    "                     PROMPT                    FIXED: PASS itself\n"
    "                     ![digits]                 FORWARD: the MD5 digest of digits+PASS\n"
    "                     PROMPT TOTP               the time code of the base32 secret PASS\n"
    "                     PROMPT HOTP n             code number n of the base32 secret PASS\n"
    "  --line TEXT      the partner's challenge line for forward\n"
    "  --memory N       the memory_available argument (default 1)\n"
    "  --dll            send a command through dll_main instead of svc_main\n"
    "  --show FILE      print a file of the host directory afterwards (repeatable),\n"
    "                   for example morvel/logcnx/logcnx.prt or mail/mail.in\n"
    "  --help           this text\n"
    "  --version        the release of this program and of the filter\n"
    "\n"
    "exit status: the final verdict (0 admitted, 1 challenge unanswered, 2 refused,\n"
    "3 read-only, 4 on hold, 11 guest), 100 for a usage or loading error.\n";

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
    std::string password;
    bool has_password = false;
    bool scratch = false;
    bool dll = false;
    bool dry_run = false;
};

struct Module {
    svc_main_fn svc_main = nullptr;
    dll_main_fn dll_main = nullptr;
};

static const char *verdict_meaning(int v)
{
    switch (v) {
    case 0: return "admitted";
    case 1: return "challenge";
    case 2: return "refused";
    case 3: return "admitted read-only";
    case 4: return "admitted on hold";
    case 11: return "admitted as guest";
    default: return "unknown";
    }
}

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

// take_value - the value of an option that needs one.
static bool take_value(int argc, char **argv, int *i, std::string *out)
{
    if (*i + 1 >= argc) {
        fprintf(stderr, "filter-host: %s needs a value\n", argv[*i]);
        return false;
    }
    *out = argv[++*i];
    return true;
}

static bool parse_options(int argc, char **argv, Options *o)
{
    std::vector<std::string> words;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        std::string v;
        if (a == "--help" || a == "-h") {
            fputs(usage_text, stdout);
            exit(0);
        } else if (a == "--version") {
            printf("%s\n", tool_version_line("filter-host").c_str());
            exit(0);
        } else if (a == "--scratch") {
            o->scratch = true;
        } else if (a == "--dll") {
            o->dll = true;
        } else if (a == "--dry-run") {
            o->dry_run = true;
        } else if (a == "--dir" || a == "--lib" || a == "--port" || a == "--flags" || a == "--count" ||
                   a == "--answer" || a == "--line" || a == "--memory" || a == "--show" ||
                   a == "--password") {
            if (!take_value(argc, argv, &i, &v))
                return false;
            if (a == "--dir") o->dir = v;
            else if (a == "--lib") o->lib = v;
            else if (a == "--port") o->port = v;
            else if (a == "--flags") o->flags = v;
            else if (a == "--count") o->count = v;
            else if (a == "--answer") o->answers.push_back(v);
            else if (a == "--line") o->line = v;
            else if (a == "--memory") o->memory = v;
            else if (a == "--password") { o->password = v; o->has_password = true; }
            else o->shows.push_back(v);
        } else if (!words.empty() && words[0] == "command" && words.size() < 3) {
            words.push_back(a);   // command words start with "-"
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            fprintf(stderr, "filter-host: unknown option %s\n", a.c_str());
            return false;
        } else {
            words.push_back(a);
        }
    }
    if (words.empty())
        return false;
    o->action = words[0];
    if (o->action == "connect" || o->action == "forward") {
        if (words.size() != 2)
            return false;
        o->station = words[1];
        return true;
    }
    if (o->action == "command" && (words.size() == 2 || words.size() == 3)) {
        o->word = words[1];
        o->argument = words.size() == 3 ? words[2] : "";
        return true;
    }
    return false;
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

// well_formed_station - letters and digits (6 at most), "-" and a number, by the filter's own decoding.
static bool well_formed_station(const std::string &station)
{
    char call[sizeof connection_info.callsign];
    long ssid;
    return station.size() < 40 && scan_callsign(station.c_str(), call, &ssid);
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

// all_digits - a non-empty run of decimal digits.
static bool all_digits(const std::string &text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (!isdigit((unsigned char)c))
            return false;
    return true;
}

// bracketed_digits - the digits of "[digits]", or "" when the token is not that.
static std::string bracketed_digits(const std::string &token, const char *open)
{
    size_t n = strlen(open);
    if (token.size() < n + 2 || token.compare(0, n, open) != 0 || token.back() != ']')
        return "";
    std::string inner = token.substr(n, token.size() - n - 1);
    return all_digits(inner) ? inner : "";
}

// position_answer - the password's characters at five 1-based positions.
static bool position_answer(const std::vector<std::string> &positions, const std::string &password,
                            std::string *answer)
{
    std::vector<int> shown;
    for (const auto &p : positions) {
        if (p.size() > 9)
            return false;
        shown.push_back(std::stoi(p));
    }
    return chars_at_positions(password, shown, answer);
}

// challenge_tokens - the words of the last line of the reply, where the
// filter puts its challenge; fixed is set when the reply ends in the prompt
// and a space with no line end, the form of the FIXED challenge.
static std::vector<std::string> challenge_tokens(const std::string &reply, bool *fixed)
{
    std::string text = reply;
    *fixed = !text.empty() && text.back() == ' ';
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    size_t nl = text.rfind('\n');
    std::istringstream line(nl == std::string::npos ? text : text.substr(nl + 1));
    std::vector<std::string> tokens;
    for (std::string t; line >> t;)
        tokens.push_back(t);
    return tokens;
}

// trailing_numbers - the last count tokens before the last skip ones, when
// they are all numbers and a prompt stands before them.
static bool trailing_numbers(const std::vector<std::string> &tokens, size_t count, size_t skip,
                             std::vector<std::string> *out)
{
    if (tokens.size() < count + skip + 1)
        return false;
    out->assign(tokens.end() - (long)(count + skip), tokens.end() - (long)skip);
    for (const auto &t : *out)
        if (!all_digits(t))
            return false;
    return true;
}

// answer_from_challenge - what a caller who knows the password answers.
static bool answer_from_challenge(const std::string &reply, const std::string &password, std::string *answer)
{
    bool fixed;
    std::vector<std::string> tokens = challenge_tokens(reply, &fixed), numbers;
    if (fixed) {
        *answer = password;
        return true;
    }
    if (tokens.empty())
        return false;
    std::string forward = bracketed_digits(tokens.back(), "![");
    if (tokens.size() == 1 && !forward.empty()) {
        *answer = md5_answer(forward, password);
        return true;
    }
    if (tokens.size() >= 2 && tokens.back() == "TOTP") {
        *answer = one_time_answer(password, totp_step(time(nullptr)));
        return !answer->empty();
    }
    if (tokens.size() >= 3 && tokens[tokens.size() - 2] == "HOTP" && all_digits(tokens.back()) &&
        tokens.back().size() < 20) {
        *answer = one_time_answer(password, std::stoull(tokens.back()));
        return !answer->empty();
    }
    std::string md = bracketed_digits(tokens.back(), "[");
    if (!md.empty() && trailing_numbers(tokens, 5, 1, &numbers)) {
        *answer = md5_answer(md, password);
        return true;
    }
    if (trailing_numbers(tokens, 5, 0, &numbers))
        return position_answer(numbers, password, answer);
    if (trailing_numbers(tokens, 1, 0, &numbers) && numbers[0].size() == 5) {
        *answer = std::to_string(flexnet_answer(password, numbers[0]));
        return true;
    }
    return false;
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
    if (!well_formed_station(o.station))
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

static int run_command(const Module &m, const Options &o)
{
    static char reply[HOST_REPLY_SIZE];
    std::string word = o.word, arg = o.argument, prog = "bbs";
    std::vector<char *> argv = {&prog[0], &word[0]};
    if (!o.argument.empty())
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    int argc = (int)argv.size() - 1;
    int r = o.dll ? m.dll_main(argc, argv.data())
                  : m.svc_main(argc, argv.data(), reply, atoi(o.memory.c_str()));
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

static std::vector<std::string> command_mails;

// note_mail - the trace sink while a command runs: who gets mail.
static void note_mail(const TraceEvent *e)
{
    if (e->kind == TRACE_MAIL)
        command_mails.push_back(e->text);
}

// lower_word - a command word in lower case, as the filter compares it.
static std::string lower_word(std::string w)
{
    for (char &c : w)
        c = (char)tolower((unsigned char)c);
    return w;
}

// changed - the dry run made a change of this kind to a file whose name ends with name.
static bool changed(const std::vector<DryRunChange> &changes, const std::string &name, DryRunChangeKind kind)
{
    for (const auto &c : changes)
        if (c.kind == kind && c.path.size() >= name.size() &&
            lower_word(c.path.substr(c.path.size() - name.size())) == lower_word(name))
            return true;
    return false;
}

// port_text - what -pbbs and -pnormal did to a port.
static std::string port_text(const std::string &word, const std::string &arg,
                             const std::vector<DryRunChange> &changes)
{
    char *end = nullptr;
    long n = arg.empty() || arg[0] == '#' ? 0 : strtol(arg.c_str(), &end, 10);
    if (!end || end == arg.c_str())
        return word + ": no port number given: nothing done";
    int port = (int)(n & 0xFF);
    std::string name = "port " + std::to_string(port), flag = "/" + std::to_string(port) + ".prt";
    std::string text;
    if (word == "-pbbs")
        text = changed(changes, flag, DRY_RUN_CREATED) ? name + " is now reserved for BBSs"
                                                       : name + " was already reserved: nothing done";
    else
        text = changed(changes, flag, DRY_RUN_REMOVED) ? name + " is open to every station again"
                                                       : name + " was not reserved: nothing done";
    if (port != n)
        text += " (" + arg + " taken as " + std::to_string(port) + ", its low 8 bits)";
    if (port > 127 && word == "-pbbs")
        text += "; but a connection on port " + std::to_string(port) + " arrives as " + std::to_string(port - 256) +
                " and is tested against " + std::to_string(port - 256) + ".prt, so this reservation never applies";
    return text;
}

// command_effect - in words, what a sysop command did, from the files it
// changed and the mails it wrote in a dry run of it.
static std::string command_effect(const Options &o, const std::vector<DryRunChange> &changes)
{
    std::string word = lower_word(o.word);
    if (word == "-off")
        return changed(changes, "morvel.sta", DRY_RUN_CREATED)
                   ? "-off: the filter is now off: every new connection is admitted unfiltered"
                   : "-off: the filter was already off: nothing done";
    if (word == "-on")
        return changed(changes, "morvel.sta", DRY_RUN_REMOVED) ? "-on: the filter is on again"
                                                               : "-on: the filter was already on: nothing done";
    if (word == "-pbbs" || word == "-pnormal")
        return word + " " + o.argument + ": " + port_text(word, o.argument, changes);
    if (word == "-log") {
        if (command_mails.empty()) {
            bool any = plat_exists("morvel\\logexcld.prt") || plat_exists("morvel\\lognopas.prt");
            return any ? "-log: nothing mailed: no sysop in config.prt, or the mail could not be opened; the logs stay"
                       : "-log: nothing mailed: there is no logexcld.prt or lognopas.prt";
        }
        std::string to;
        for (size_t i = 0; i < command_mails.size(); i++)
            if (std::find(command_mails.begin(), command_mails.begin() + (long)i, command_mails[i]) ==
                command_mails.begin() + (long)i)
                to += (to.empty() ? "" : ", ") + command_mails[i];
        return "-log: mailed to " + to + "; the mailed logs are removed";
    }
    return "unknown command " + o.word + ": nothing done";
}

// describe_command - run the command once in a dry run of its own to say what it does.
static void describe_command(const Options &o)
{
    static char scratch[HOST_REPLY_SIZE];
    if (!plat_dry_run_begin())
        return;
    filter_reset_state();
    std::string word = o.word, arg = o.argument, prog = "bbs";
    std::vector<char *> argv = {&prog[0], &word[0]};
    if (!o.argument.empty())
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    command_mails.clear();
    trace_set_sink(note_mail);
    svc_main((int)argv.size() - 1, argv.data(), scratch, 1);
    trace_set_sink(nullptr);
    std::vector<DryRunChange> changes = plat_dry_run_changes();
    plat_dry_run_end();
    printf("%s\n", command_effect(o, changes).c_str());
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

static bool enter_directory(Options *o, fs::path *scratch_dir)
{
    std::error_code ec;
    if (o->scratch) {
        fs::path tmp = scratch_directory(&ec);
        if (!ec)
            fs::copy(o->dir, tmp, fs::copy_options::recursive, ec);
        if (ec) {
            fprintf(stderr, "filter-host: cannot copy %s: %s\n", o->dir.c_str(), ec.message().c_str());
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
        fprintf(stderr, "filter-host: cannot enter %s: %s\n", o->dir.c_str(), ec.message().c_str());
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
        std::string name = lower_word(c.path);
        bool mail = name.find("mail.in") != std::string::npos || name.find("mail.prt") != std::string::npos;
        printf("%s %s%s\n", what, c.path.c_str(), mail && c.kind != DRY_RUN_REMOVED ? " (mail)" : "");
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
    if (!parse_options(argc, argv, &o)) {
        fputs(usage_text, stderr);
        return EXIT_USAGE;
    }
    if (o.lib.empty())
        o.lib = default_library(argv[0]);
    else
        o.lib = fs::absolute(o.lib).string();
    if (o.dry_run) {
        // The overlay lives in the platform layer, which the module does not
        // export: the filter linked into this program runs instead.
        m.svc_main = svc_main;
        m.dll_main = dll_main;
    } else if (!load_module(o.lib, &m)) {
        return EXIT_USAGE;
    }
    if (!enter_directory(&o, &scratch))
        return EXIT_USAGE;
    if (o.action == "command")
        describe_command(o);
    if (o.dry_run && !plat_dry_run_begin()) {
        fprintf(stderr, "filter-host: --dry-run is not supported on this system\n");
        return EXIT_USAGE;
    }
    // The linked filter starts as the module does when the host loads it,
    // with its error reporter in place.
    if (o.dry_run)
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

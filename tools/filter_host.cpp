// filter_host.cpp - a host simulator: loads the filter module by path, as the
// host BBS does, and drives it from inside a host directory.
//
// It prints what the caller would see and the verdict, and exits with the
// final verdict (0 admitted, 1 challenge left unanswered, 2 refused, 3
// read-only, 4 on hold, 11 guest), or 100 for a usage or loading error.
//
// With --password it plays a caller who knows the password: it reads the
// challenge line of the reply and works out the answer the way a caller
// would, with the library's own digest code.
#include "auth/digests.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    "  --line TEXT      the partner's challenge line for forward\n"
    "  --memory N       the memory_available argument (default 1)\n"
    "  --dll            send a command through dll_main instead of svc_main\n"
    "  --show FILE      print a file of the host directory afterwards (repeatable),\n"
    "                   for example morvel/logcnx/logcnx.prt or mail/mail.in\n"
    "  --help           this text\n"
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

// default_library - c_filt32 beside this program when it is there (an
// installed pair), else the module this program was built with.
static std::string default_library(const char *argv0)
{
#if defined(_WIN32)
    const char *name = "c_filt32.dll";
#else
    const char *name = "c_filt32.so";
#endif
    std::error_code ec;
    fs::path beside = fs::absolute(fs::path(argv0), ec).parent_path() / name;
    if (fs::exists(beside, ec))
        return beside.string();
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
        } else if (a == "--scratch") {
            o->scratch = true;
        } else if (a == "--dll") {
            o->dll = true;
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
    std::string input = digits + password;
    unsigned char digest[DIGEST_SIZE];
    char text[DIGEST_TEXT];
    md5_digest(reinterpret_cast<const unsigned char *>(input.data()), input.size(), digest);
    digest_hex(digest, text);
    return text;
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
    answer->clear();
    for (const auto &p : positions) {
        unsigned long pos = std::stoul(p);
        if (pos < 1 || pos > password.size())
            return false;
        *answer += password[pos - 1];
    }
    return true;
}

// flexnet_answer - the sum of each challenge digit times the password's digit
// at the same place; a password character that is no digit counts 0.
static std::string flexnet_answer(const std::string &digits, const std::string &password)
{
    int sum = 0;
    for (size_t i = 0; i < 5; i++) {
        char k = i < password.size() ? password[i] : '0';
        sum += (digits[i] - '0') * (isdigit((unsigned char)k) ? k - '0' : 0);
    }
    return std::to_string(sum);
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
    std::string md = bracketed_digits(tokens.back(), "[");
    if (!md.empty() && trailing_numbers(tokens, 5, 1, &numbers)) {
        *answer = md5_answer(md, password);
        return true;
    }
    if (trailing_numbers(tokens, 5, 0, &numbers))
        return position_answer(numbers, password, answer);
    if (trailing_numbers(tokens, 1, 0, &numbers) && numbers[0].size() == 5) {
        *answer = flexnet_answer(numbers[0], password);
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

static bool enter_directory(Options *o, fs::path *scratch_dir)
{
    std::error_code ec;
    if (o->scratch) {
        fs::path tmp = scratch_directory(&ec);
        if (!ec)
            fs::copy(o->dir, tmp, fs::copy_options::recursive, ec);
        if (ec) {
            fprintf(stderr, "filter-host: cannot copy %s: %s\n", o->dir.c_str(), ec.message().c_str());
            return false;
        }
        *scratch_dir = tmp;
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

// show_files - print files of the host directory, found without regard to
// case as the filter finds them.
static void show_files(const Options &o)
{
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
    if (!load_module(o.lib, &m) || !enter_directory(&o, &scratch))
        return EXIT_USAGE;
    int r;
    if (o.action == "connect")
        r = run_connect(m, o);
    else if (o.action == "forward")
        r = run_forward(m, o);
    else
        r = run_command(m, o);
    show_files(o);
    if (!scratch.empty()) {
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(ec), ec);
        fs::remove_all(scratch, ec);
    }
    return r;
}

// command_effect.cpp - a sysop command's effect in words, read from what the
// module under test changed.
//
// The host simulator loads a module that may differ from the filter linked
// into it, so it never asks its own copy what a command does: it reads the
// files the module created, removed and appended to (a real run), or the
// changes its dry run held back, and says in words what they amount to.
#include "tools/host/command_effect.h"
#include "filter/sysop_commands.h"
#include "platform/platform.h"
#include "report/mail.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

// What a file's new text is read for is its mail headers; a log mailed
// whole stays far below this.
enum { CHANGE_TEXT_MAX = 1 << 20 };

DiskSizes disk_sizes(void)
{
    DiskSizes sizes;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code file_ec;
        if (!it->is_regular_file(file_ec))
            continue;
        uintmax_t size = it->file_size(file_ec);
        if (!file_ec)
            sizes[it->path().lexically_relative(".").generic_string()] = size;
    }
    return sizes;
}

// text_from - the file's text from offset on, at most CHANGE_TEXT_MAX bytes.
static std::string text_from(const std::string &path, uintmax_t offset)
{
    std::ifstream in(path, std::ios::binary);
    std::string text;
    if (!in.seekg((std::streamoff)offset))
        return text;
    text.resize(CHANGE_TEXT_MAX);
    in.read(&text[0], CHANGE_TEXT_MAX);
    text.resize((size_t)in.gcount());
    return text;
}

std::vector<DryRunChange> disk_changes(const DiskSizes &before, const DiskSizes &after)
{
    std::vector<DryRunChange> changes;
    for (const auto &file : after) {
        auto old = before.find(file.first);
        if (old == before.end())
            changes.push_back({DRY_RUN_CREATED, file.first, text_from(file.first, 0)});
        else if (file.second > old->second)
            changes.push_back({DRY_RUN_APPENDED, file.first, text_from(file.first, old->second)});
        else if (file.second < old->second)
            changes.push_back({DRY_RUN_REWRITTEN, file.first, text_from(file.first, 0)});
    }
    for (const auto &file : before)
        if (!after.count(file.first))
            changes.push_back({DRY_RUN_REMOVED, file.first, ""});
    return changes;
}

std::vector<std::string> mail_addressees(const std::vector<DryRunChange> &changes)
{
    std::vector<std::string> to;
    for (const auto &c : changes) {
        std::istringstream lines(c.text);
        bool after_mark = false;
        for (std::string line; std::getline(lines, line); after_mark = line == "#" || line == "#\r") {
            char station[64];
            if (after_mark && read_mail_header(line.c_str(), station, sizeof station) &&
                std::find(to.begin(), to.end(), station) == to.end())
                to.push_back(station);
        }
    }
    return to;
}

// lower_word - a word in lower case, as the filter compares command words and file names.
static std::string lower_word(std::string w)
{
    for (char &c : w)
        c = (char)tolower((unsigned char)c);
    return w;
}

// changed - a change of this kind to a file whose name ends with name.
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
    uint8_t cut = 0;
    if (arg.empty() || arg[0] == '#')
        return word + ": no port number given: nothing done";
    if (!port_argument(arg.c_str(), &cut))
        return word + ": " + arg + " is not a port number (digits only, as 3): nothing done";
    long n = strtol(arg.c_str(), nullptr, 10);
    int port = cut;
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
    return text;
}

// log_effect - what -log did: whom it mailed, or why it mailed nobody.
static std::string log_effect(const std::vector<DryRunChange> &changes)
{
    std::vector<std::string> to = mail_addressees(changes);
    if (to.empty()) {
        plat_begin_call();   // the module has written since this program last looked
        bool any = plat_exists("morvel\\logexcld.prt") || plat_exists("morvel\\lognopas.prt");
        return any ? "-log: nothing mailed: no sysop in config.prt, or the mail could not be opened; the logs stay"
                   : "-log: nothing mailed: there is no logexcld.prt or lognopas.prt";
    }
    std::string names;
    for (const auto &station : to)
        names += (names.empty() ? "" : ", ") + station;
    bool removed = changed(changes, "/logexcld.prt", DRY_RUN_REMOVED) ||
                   changed(changes, "/lognopas.prt", DRY_RUN_REMOVED);
    return "-log: mailed to " + names + (removed ? "; the mailed logs are removed" : "; the logs stay");
}

std::string command_effect(const std::string &typed, const std::string &argument,
                           const std::vector<DryRunChange> &changes)
{
    std::string word = lower_word(typed);
    if (word == "-off")
        return changed(changes, "morvel.sta", DRY_RUN_CREATED)
                   ? "-off: the filter is now off: every new connection is admitted unfiltered"
                   : "-off: the filter was already off: nothing done";
    if (word == "-on")
        return changed(changes, "morvel.sta", DRY_RUN_REMOVED) ? "-on: the filter is on again"
                                                               : "-on: the filter was already on: nothing done";
    if (word == "-pbbs" || word == "-pnormal")
        return word + " " + argument + ": " + port_text(word, argument, changes);
    if (word == "-log")
        return log_effect(changes);
    return "unknown command " + typed + ": nothing done";
}

// command_effect.h - a sysop command's effect in words, read from what the
// module under test changed: its dry run's changes, or the host directory
// compared before and after the command.
#ifndef TOOLS_COMMAND_EFFECT_H
#define TOOLS_COMMAND_EFFECT_H

#include "platform/dry_run.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// DiskSizes - each file below the current directory by its "/" path, with its size.
typedef std::map<std::string, uintmax_t> DiskSizes;

// disk_sizes - the files below the current directory now.
DiskSizes disk_sizes(void);

// disk_changes - what became of the files from before to after, as a dry run
// lists it: a file that grew is appended to (its new end the text), a new
// file is created (its content the text); a file of the same size counts as
// unchanged.
std::vector<DryRunChange> disk_changes(const DiskSizes &before, const DiskSizes &after);

// mail_addressees - the stations that messages written by changes go to, in
// order, each once.
std::vector<std::string> mail_addressees(const std::vector<DryRunChange> &changes);

// command_effect - in words, what the command word with argument did, from
// the changes it made.
std::string command_effect(const std::string &word, const std::string &argument,
                           const std::vector<DryRunChange> &changes);

#endif

// tool_messages.h - how a tool says that it cannot do what was asked: one
// line on standard error, "TOOL: what", and, when the run asked for JSON
// (--json), one JSON object on standard output as well,
// {"error":"what","status":N}, so that a script reading the output always
// gets one object, whatever went wrong.
#ifndef TOOLS_TOOL_MESSAGES_H
#define TOOLS_TOOL_MESSAGES_H

#include <string>

// The one exit status of a usage error, which every tool's manual page gives.
enum { EXIT_USAGE = 100 };

// tool_messages_begin - the tool's name for its messages, and whether the run prints JSON.
void tool_messages_begin(const char *tool, bool json);

// tool_name - the name given to tool_messages_begin ("filter-check").
const char *tool_name(void);

// tool_json - whether the run prints JSON.
bool tool_json(void);

// tool_fail - the message of a failure and, in a JSON run, its object;
// returns status, the exit status the caller ends with.
int tool_fail(int status, const std::string &what);

// unreadable_text - "cannot read PATH: the read permission is missing" when
// the file is there and the account may not read it; "" otherwise. path is
// a filter path, shown as the sysop types it.
std::string unreadable_text(const std::string &path);

#endif

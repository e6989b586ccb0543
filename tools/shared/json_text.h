// json_text.h - the one way the sysop's tools write JSON for scripts.
#ifndef TOOLS_JSON_TEXT_H
#define TOOLS_JSON_TEXT_H

#include <string>

// json_string - text as a JSON string, quotes included; bytes outside ASCII are
// escaped as Latin-1, so the output is plain ASCII whatever the files hold.
std::string json_string(const std::string &text);

// json_field - "\"name\":" and a JSON string of text.
std::string json_field(const char *name, const std::string &text);

#endif

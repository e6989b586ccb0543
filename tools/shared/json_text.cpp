// json_text.cpp - JSON strings for the tools' --json output.
#include "tools/shared/json_text.h"

#include <cstdio>

std::string json_string(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c > 0x7e) {
            // Setup files are in the host's 8-bit code page: each byte is read as Latin-1.
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

std::string json_field(const char *name, const std::string &text)
{
    return json_string(name) + ":" + json_string(text);
}

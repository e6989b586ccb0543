// header_index.h - the filter's search of users.prt for a station, answered
// from memory for the checker.
//
// The filter reads users.prt afresh for every station; checking every entry
// that way would read the file once per entry. The index keeps the first
// token of each significant line, as the search holds it (upper case, 11
// characters), and answers the same three searches with the filter's own
// pattern match: callsign with SSID over the whole file, then the bare
// callsign, then the console entry at a header position.
#ifndef TOOLS_HEADER_INDEX_H
#define TOOLS_HEADER_INDEX_H

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

struct IndexedToken {
    int line;
    std::string token;
};

struct HeaderIndex {
    std::unordered_map<std::string, int> exact;                        // token without wildcards -> first line
    std::unordered_map<std::string, std::vector<IndexedToken>> wild;   // literal prefix -> patterns, in file order
    std::vector<std::pair<int, int>> shapes;                           // (prefix length, key length or -1 for any)
    std::unordered_map<int, std::string> by_line;                      // line -> its first token
    int console = 0;                                                   // first CONSOL... at a header position
    bool at_header = true;
};

// header_index_add - the next significant line of the file, by its first
// token (empty for a line of blanks, which every search passes over).
void header_index_add(HeaderIndex *index, int line, const std::string &first_token);

// header_index_pass1 - the line of the first token matching the key with SSID, or 0.
int header_index_pass1(const HeaderIndex &index, const std::string &key);

// header_index_find - the header line the filter's search gives the
// station (callsign upper case), and which search found it (1, 2, 3); 0 when none.
int header_index_find(const HeaderIndex &index, const std::string &callsign, int ssid, bool console, int *search);

// search_token - a first token as the search holds it.
std::string search_token(const std::string &word);

#endif

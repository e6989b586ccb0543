// header_index.cpp - users.prt's three searches from memory, with the filter's pattern match.
#include "tools/check/header_index.h"
#include "config/user_list.h"

enum { TOKEN_HELD = 11 };

std::string search_token(const std::string &word)
{
    std::string token = word.substr(0, TOKEN_HELD);
    for (char &c : token)
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    return token;
}

// bucket_name - where a pattern is kept: its literal prefix, and the length
// of the keys it can match: its own, or any length from it on for a pattern
// ending in "*" (which matches the rest). A "*" alone, which begins many an
// entry line, so waits only for keys of one character.
static std::string bucket_name(const std::string &prefix, bool rest, size_t length)
{
    return prefix + '\x1f' + (rest ? std::string("*") : std::to_string(length));
}

// add_pattern - a token with a wildcard into its bucket, its shape noted.
static void add_pattern(HeaderIndex *index, int line, const std::string &t, size_t prefix)
{
    bool rest = t.size() >= 2 && t.back() == '*';
    std::pair<int, int> shape((int)prefix, rest ? -1 : (int)t.size());
    bool known = false;
    for (const auto &s : index->shapes)
        known = known || s == shape;
    if (!known)
        index->shapes.push_back(shape);
    index->wild[bucket_name(t.substr(0, prefix), rest, t.size())].push_back({line, t});
}

void header_index_add(HeaderIndex *index, int line, const std::string &first_token)
{
    if (first_token.empty())
        return;
    const std::string &t = first_token;
    index->by_line[line] = t;
    size_t wildcard = t.find_first_of("?*");
    if (wildcard == std::string::npos)
        index->exact.emplace(t, line);
    else
        add_pattern(index, line, t, wildcard);
    if (!index->console && index->at_header && t.compare(0, 6, "CONSOL") == 0)
        index->console = line;
    index->at_header = t[0] == '-';
}

// first_match - the first line whose token matches key: the exact token, or
// a pattern whose literal prefix is a prefix of the key and whose length
// fits. Each bucket is in file order, so its first match is its earliest.
static int first_match(const HeaderIndex &index, const std::string &key)
{
    int best = 0;
    auto exact = index.exact.find(key);
    if (exact != index.exact.end())
        best = exact->second;
    for (const auto &shape : index.shapes) {
        size_t length = (size_t)shape.first;
        bool rest = shape.second < 0;
        if (length > key.size() || (!rest && (size_t)shape.second != key.size()))
            continue;
        auto bucket = index.wild.find(bucket_name(key.substr(0, length), rest, key.size()));
        if (bucket == index.wild.end())
            continue;
        for (const IndexedToken &p : bucket->second) {
            if (best && p.line >= best)
                break;
            if (match_call_pattern(p.token.c_str(), key.c_str())) {
                best = p.line;
                break;
            }
        }
    }
    return best;
}

int header_index_pass1(const HeaderIndex &index, const std::string &key)
{
    return first_match(index, key);
}

int header_index_find(const HeaderIndex &index, const std::string &callsign, int ssid, bool console, int *search)
{
    int line = first_match(index, callsign + "-" + std::to_string(ssid));
    *search = 1;
    if (!line) {
        line = first_match(index, callsign);
        *search = 2;
    }
    if (!line && console) {
        line = index.console;
        *search = 3;
    }
    return line;
}

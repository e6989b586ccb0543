// What a listener has heard: the exposure record, guard.prt's threshold and
// the note a challenge leaves in its state file, read and rewritten by the
// right answers of a NORMAL and a FIXED station.
//
// The input is three pieces cut at NUL bytes: morvel\exposure.dat, guard.prt
// (none when empty), and a note that takes the place of the one the NORMAL
// challenge wrote on its station line (kept when empty).
#include "fuzz_host.h"

#include <fstream>
#include <sstream>

// state_lines - the lines of a state file; none when it is missing.
static std::vector<std::string> state_lines(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// with_note - the station line "STATION PORT METHOD TIME [NOTE]" with note in place of its own.
static std::string with_note(const std::string &line, const std::string &note)
{
    std::istringstream words(line);
    std::string out, word;
    for (int i = 0; i < 4 && words >> word; i++)
        out += (i ? " " : "") + word;
    return out + " " + note;
}

// answer_right - a challenge put to station and the characters its state file asks for.
static int answer_right(const char *station, const char *state, const std::string &note)
{
    fuzz_connect(station, 1, 0, 2);
    std::vector<std::string> lines = state_lines(state);
    fuzz_expect(lines.size() >= 2, "no state file of a password challenge");
    if (lines.empty())
        return -1;
    if (!note.empty()) {
        lines.back() = with_note(lines.back(), note);
        std::string text;
        for (const std::string &l : lines)
            text += l + "\n";
        fuzz_write_text(state, text);
    }
    return fuzz_answer(station, 1, 1, lines[0]);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    std::vector<std::string> parts = fuzz_split(data, size, 3);
    parts.resize(3);
    fuzz_write_text("morvel/exposure.dat", parts[0]);
    if (!parts[1].empty())
        fuzz_write_text("morvel/guard.prt", parts[1]);
    // Twice each: the second answer finds the record the first one wrote.
    for (int round = 0; round < 2; round++) {
        int normal = answer_right("N0CALL-1", "morvel/N0CALL1.TMP", parts[2]);
        int fixed = answer_right("N0CALL-5", "morvel/N0CALL5.TMP", "");
        fuzz_expect(normal == 0 && fixed == 0, "a right answer was not admitted");
    }
    std::ifstream record("morvel/exposure.dat");
    std::string text((std::istreambuf_iterator<char>(record)), std::istreambuf_iterator<char>());
    fuzz_expect(text.find(" WHOLE ") != std::string::npos, "the FIXED answer was not recorded");
    fuzz_check_sound();
    return 0;
}

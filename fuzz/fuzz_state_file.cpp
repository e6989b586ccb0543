// A challenge state file followed by an answer call.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    std::vector<std::string> parts = fuzz_split(data, size, 2);
    parts.resize(2);
    fuzz_write_text("morvel/N0CALL1.TMP", parts[0]);
    fuzz_answer("N0CALL-1", 1, 1, parts[1]);
    // A state file names its station on its last line; the second station's
    // copy names the second station, so that a sound seed stays sound.
    std::string second = parts[0];
    size_t named = second.rfind("N0CALL-1");
    if (named != std::string::npos)
        second.replace(named, 8, "N0CALL-2");
    fuzz_write_text("morvel/N0CALL2.TMP", second);
    fuzz_answer("N0CALL-2", 0, 2, parts[1]);
    fuzz_check_sound();
    return 0;
}

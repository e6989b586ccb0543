// A challenge state file followed by an answer call.
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_host_prepare();
    std::vector<std::string> parts = fuzz_split(data, size, 2);
    parts.resize(2);
    fuzz_write_text("morvel/N0CALL1.TMP", parts[0]);
    fuzz_answer("N0CALL-1", 1, 1, parts[1]);
    fuzz_write_text("morvel/N0CALL2.TMP", parts[0]);
    fuzz_answer("N0CALL-2", 0, 2, parts[1]);
    fuzz_check_sound();
    return 0;
}

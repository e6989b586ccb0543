// exports.cpp - the two functions the host BBS calls; nothing else leaves the module.
#include "filter/entry_points.h"
#include "filter/connection_flow.h"

extern "C" FILTER_EXPORT int svc_main(int argc, char **argv, char *reply, int memory_available)
{
    return run_service_call(argc, argv, reply, memory_available);
}

extern "C" FILTER_EXPORT int dll_main(int argc, char **argv)
{
    return run_command_call(argc, argv);
}

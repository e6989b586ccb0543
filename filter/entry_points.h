// entry_points.h - the two functions the host calls.
#ifndef FILTER_ENTRY_POINTS_H
#define FILTER_ENTRY_POINTS_H

#if defined(_WIN32)
#define FILTER_EXPORT __declspec(dllexport)
#else
#define FILTER_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
FILTER_EXPORT int svc_main(int argc, char **argv, char *reply, int memory_available);
FILTER_EXPORT int dll_main(int argc, char **argv);
}

#endif

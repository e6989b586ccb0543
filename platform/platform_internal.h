// platform_internal.h - what the system-specific sources share with platform_common.cpp.
#ifndef FILTER_PLATFORM_INTERNAL_H
#define FILTER_PLATFORM_INTERNAL_H

#include <cstddef>
#include <ctime>

// plat_system_local_time - the real local time and hundredths of a second.
void plat_system_local_time(struct tm *out, int *hundredths);

// plat_system_random - bytes from the system's cryptographic generator; false on failure.
bool plat_system_random(void *buffer, size_t size);

// plat_open_must_fail - true when a test asked opens of this path to fail.
bool plat_open_must_fail(const char *path);

// plat_same_name - filter paths equal without regard to case or separator style.
bool plat_same_name(const char *a, const char *b);

// Raw files for the text reader, by system: a descriptor, or -1.
int plat_raw_open(const char *path);
long plat_raw_read(int fd, char *buffer, size_t size);   // bytes read, 0 at the end, -1 on failure
bool plat_raw_seek(int fd, long long offset);
void plat_raw_close(int fd);

// plat_forget_text_block - nothing read before this moment is served from the block.
void plat_forget_text_block(void);

#endif

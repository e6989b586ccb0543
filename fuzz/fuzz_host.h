// fuzz_host.h - a host directory for fuzz targets, rebuilt before every input.
#ifndef FUZZ_HOST_H
#define FUZZ_HOST_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

// fuzz_host_prepare - a clean host directory (start-up file, port file,
// config.prt with every switch on, users.prt with a station per method) as
// the working directory, and the library's load-time state. The directory is
// made under FUZZ_TMPDIR when that is set, else in /dev/shm where it exists.
void fuzz_host_prepare(void);

// fuzz_fixture_time - the local time every input starts at: 8 December 2026, 21:30:05.
struct tm fuzz_fixture_time(void);

// fuzz_write - a file of the host directory ("morvel/users.prt").
void fuzz_write(const char *path, const uint8_t *data, size_t size);
void fuzz_write_text(const char *path, const std::string &text);

// With FUZZ_SOUND set in the environment, the inputs given are seeds meant
// to be sound: fuzz_check_sound aborts when the input left an error report
// (morvel/error.prt), fuzz_expect when the input did not reach the parser
// its target is for. Without it both do nothing.
bool fuzz_checking(void);
void fuzz_check_sound(void);
void fuzz_expect(bool ok, const char *what);

// fuzz_split - the input cut into at most n pieces at NUL bytes.
std::vector<std::string> fuzz_split(const uint8_t *data, size_t size, size_t n);

// fuzz_connect / fuzz_answer - a new connection and an answer call of a station.
int fuzz_connect(const char *station, int port, int flags, int count);
int fuzz_answer(const char *station, int port, int attempt, const std::string &answer);

// fuzz_svc - svc_main with the given strings, on a small stack; aborts when
// the reply overran its capacity or the verdict is none the host knows.
int fuzz_svc(std::vector<std::string> args, int memory_available);

// fuzz_last_reply - the reply of the last fuzz_svc call.
const char *fuzz_last_reply(void);

// fuzz_dll - dll_main with the given strings, on a small stack.
void fuzz_dll(std::vector<std::string> args);

// fuzz_on_small_stack - fn(arg) in a thread with a small stack, so that a
// call recursing without bound overflows at once.
void fuzz_on_small_stack(void (*fn)(void *), void *arg);

#endif

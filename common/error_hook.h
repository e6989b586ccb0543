// error_hook.h - the one hook of the filter: how the readers below the error
// reporter raise a numbered error while they read.
//
// The readers of config/ find errors in the middle of a file, and when an
// error is reported matters (error 6 is reported while config.prt is half
// read, before config_loaded is set, so no mail goes for it). They cannot
// call the reporter, which sits beside them and reads their records, so
// they raise the error here and the reporter that report/errors installed
// at load records and mails it. With no reporter installed nothing happens.
// This is the only call that goes sideways between the layers; everything
// else calls down.
#ifndef FILTER_ERROR_HOOK_H
#define FILTER_ERROR_HOOK_H

#include <cstdint>

// ErrorReporter - the reporter's two entries: record and mail an error,
// and note that the operation of a code works again.
struct ErrorReporter {
    void (*raise)(uint16_t code, uint16_t detail);
    void (*resolve)(uint16_t code);
};

// install_error_reporter - the reporter behind the hook (null: none).
void install_error_reporter(const ErrorReporter *reporter);

// raise_error - report error code with its detail (a line number or a count).
void raise_error(uint16_t code, uint16_t detail);

// resolve_error - the operation that failed with code has worked again.
void resolve_error(uint16_t code);

#endif

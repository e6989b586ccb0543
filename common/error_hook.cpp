// error_hook.cpp - the installed error reporter and the two calls through it.
#include "common/error_hook.h"

static const ErrorReporter *installed_reporter;

void install_error_reporter(const ErrorReporter *reporter)
{
    installed_reporter = reporter;
}

void raise_error(uint16_t code, uint16_t detail)
{
    if (installed_reporter)
        installed_reporter->raise(code, detail);
}

void resolve_error(uint16_t code)
{
    if (installed_reporter)
        installed_reporter->resolve(code);
}

// trace.cpp - handing the events of the decision points to a tool's sink.
#include "common/trace.h"

#include <cstdio>

TraceSink trace_sink;

void trace_set_sink(TraceSink sink)
{
    trace_sink = sink;
}

void trace_emit(int kind, int line, int value, const char *path, const char *text)
{
    TraceEvent e;
    e.kind = kind;
    e.line = line;
    e.value = value;
    snprintf(e.path, sizeof e.path, "%s", path ? path : "");
    snprintf(e.text, sizeof e.text, "%s", text ? text : "");
    trace_sink(&e);
}

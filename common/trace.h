// trace.h - the decision points of the filter, reported to a sink that a tool installs.
//
// The sysop's tools explain a decision by watching the filter's own code make
// it. Each decision point calls trace() with a fixed event; with no sink
// installed (always, inside the host) that is one test of a pointer and
// nothing else: no heap, no formatting, no file. The sink is never exported
// from the module.
#ifndef FILTER_TRACE_H
#define FILTER_TRACE_H

enum TraceKind {
    TRACE_OFF_SWITCH,       // path: the off-switch file; value 1 when it exists
    TRACE_PORT_RESERVED,    // path: the port flag file; value 1 when it exists
    TRACE_PORT_LINE,        // path config.prt, line: the port line, value: its method
    TRACE_NO_PORT_LINE,     // path config.prt, line: the last line read
    TRACE_USERS_MISSING,    // path: users.prt, which could not be opened
    TRACE_HEADER,           // path users.prt, line: the header, value: search 1, 2 or 3
    TRACE_NO_HEADER,        // path users.prt
    TRACE_ENTRY_LINE,       // path users.prt, line: the entry line, value: its method
    TRACE_NO_ENTRY_LINE,    // path users.prt, line: the header
    TRACE_METHOD,           // value: the access method run
    TRACE_CHALLENGE,        // path: the state file, value: the challenge kind
    TRACE_TEXT,             // path: a caller text tried, value 1 sent, 0 not there
    TRACE_TEXT_HELD_BACK,   // value: the text kind the intro exceptions hold back
    TRACE_ERROR,            // value: the code, line: the detail, text: the error text
    TRACE_LOG,              // path: a log written
    TRACE_MAIL,             // text: the recipient, path: the subject or what the mail is
    TRACE_KINDS
};

enum { TRACE_PATH_MAX = 400, TRACE_TEXT_MAX = 300 };

struct TraceEvent {
    int kind;
    int line;
    int value;
    char path[TRACE_PATH_MAX];
    char text[TRACE_TEXT_MAX];
};

typedef void (*TraceSink)(const TraceEvent *event);

// The installed sink, or null.
extern TraceSink trace_sink;

// trace_set_sink - install a sink (null removes it).
void trace_set_sink(TraceSink sink);

// trace_emit - build the event and hand it to the sink; only trace() calls it.
void trace_emit(int kind, int line, int value, const char *path, const char *text);

// trace - report one event when a sink is installed.
inline void trace(int kind, int line, int value, const char *path = nullptr, const char *text = nullptr)
{
    if (trace_sink)
        trace_emit(kind, line, value, path, text);
}

#endif

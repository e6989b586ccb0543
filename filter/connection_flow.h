// connection_flow.h - the order of work of one call of either entry point.
#ifndef FILTER_CONNECTION_FLOW_H
#define FILTER_CONNECTION_FLOW_H

int run_service_call(int argc, char **argv, char *reply, int memory_available);
int run_command_call(int argc, char **argv);

#endif

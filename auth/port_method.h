// port_method.h - running an access method, and the one fallback to the port's own.
#ifndef FILTER_PORT_METHOD_H
#define FILTER_PORT_METHOD_H

// apply_access_method - run an access method (a number without a row acts as OPEN); sets verdict.
void apply_access_method(unsigned method, char *reply);

// run_port_method - the port's own method for a station left to it (no entry
// line, no password for today, errors 4 and 7); refuses a forward login, a
// method no port line may name, and a fallback reached inside its own run.
void run_port_method(char *reply);

// stop_on_report - after the error just reported stopped an operation: the
// port's method when the report left the station to it, else the verdict
// the report left.
void stop_on_report(char *reply);

// admit_unfiltered - a port without a port line: the admission texts and verdict 0.
void admit_unfiltered(char *reply);

#endif

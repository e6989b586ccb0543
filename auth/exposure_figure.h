// exposure_figure.h - the figure of an exposure record: the chance that a
// listener who heard every answer since the password was set answers the
// next challenge. Pure functions of what was heard and the password; the
// filter (for its mail) and the tools (to show it) call the same ones.
#ifndef FILTER_EXPOSURE_FIGURE_H
#define FILTER_EXPOSURE_FIGURE_H

#include "auth/exposure_record.h"

#include <cstddef>

enum { FLEXNET_KEY_DIGITS = 5, EXPOSURE_TEXT = 96 };

// ExposureFigure - the chance, and what it rests on.
struct ExposureFigure {
    ExposureKind kind;
    double chance;     // 0 to 1
    int heard;         // positions heard; independent equations heard; 1 when the whole password was
    int of;            // the password's length; the key's five digits; 1
};

// positions_chance - five distinct positions drawn of length (all of them,
// and some again, below five): the chance that every one drawn is among
// heard distinct positions. C(heard, 5) / C(length, 5).
double positions_chance(int heard, int length);

// flexnet_chance - the keys of five digits that agree with every equation
// heard (the digits shown, each with the sum key gives them); for each of
// the 100,000 challenges the filter can draw, the share of those keys that
// give the likeliest sum; the average. With no equation, the chance of a
// guess of the likeliest sum. Exact: every key and challenge is counted.
// A character of key that is no digit counts 0, as the challenge takes it.
double flexnet_chance(const char *key, const char (*equations)[EXPOSURE_DRAWN + 1], int count);

// flexnet_keys_left - how many keys agree with every equation heard.
long flexnet_keys_left(const char *key, const char (*equations)[EXPOSURE_DRAWN + 1], int count);

// equations_rank - how many of the equations are independent (5 at most).
int equations_rank(const char (*equations)[EXPOSURE_DRAWN + 1], int count);

// exposure_kind_of_method - what a right answer under an access method
// lets a listener hear (EXPOSURE_NONE for a method without a challenge, or
// one answered by digest or code only).
ExposureKind exposure_kind_of_method(unsigned method);

// exposure_figure - the figure of password under a method of kind, from
// its record (null: nothing heard yet); a record of another kind counts
// for nothing, but one that heard the whole password for everything.
void exposure_figure(ExposureKind kind, const ExposureRecord *r, const char *password, ExposureFigure *out);

// one_in - N of "1 in N": 1 / chance; 0 for a chance of 0.
double one_in(double chance);

// chance_passes - the chance is 1 in one_in_threshold or more.
bool chance_passes(double chance, unsigned long one_in_threshold);

// chance_text - "1 in 252", "1 in 3.5" (one decimal below ten), "1 in 1", or "none yet".
void chance_text(double chance, char *out, size_t size);

// heard_text - "7 of 10 characters heard", "2 equations of 5 heard", "the
// whole password heard", "nothing heard".
void heard_text(const ExposureFigure *f, char *out, size_t size);

#endif

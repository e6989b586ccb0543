// exposure.h - the exposure meter: what a right answer let a listener hear
// is added to its password's record, the sysops are told once when the
// password's chance reaches guard.prt's EXPOSURE, and the tools find a
// password's record and figure through its password.
#ifndef FILTER_EXPOSURE_H
#define FILTER_EXPOSURE_H

#include "auth/exposure_figure.h"
#include "auth/exposure_record.h"

#include <cstddef>

// note_heard_answer - a right plain answer to a challenge of kind went out
// on air: what its state file's note says it let a listener hear goes into
// the password's record, and when the chance now reaches the threshold of
// guard.prt the sysops get one mail "EXPOSED" for the password. password is
// the station's entry as the verification read it again (a FLEXNET key is
// needed to tell whether an equation narrowed the keys); it counts only
// when its tag is the note's. Nothing is reported: a record that cannot be
// read or written is left as it was, and the decision stands.
void note_heard_answer(short kind, const char *note, const char *password);

// password_exposure - the record and the figure of a password under method,
// as users.prt (or a password table) gives them: 1 with the record in *r,
// 0 when nothing is recorded for it, -1 when the record cannot be read; in
// both of these *r is cleared and *f is the figure of nothing heard.
int password_exposure(const char *password, unsigned method, ExposureRecord *r, ExposureFigure *f);

// exposure_advice - what the sysop can do about an exposed password of a
// station under a challenge of kind.
const char *exposure_advice(short kind);

// exposure_figure_text - "1 in 42 (7 of 10 characters heard)".
void exposure_figure_text(const ExposureFigure *f, char *out, size_t size);

#endif

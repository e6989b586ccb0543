// filter_state.h - putting every global of the filter back to its load-time value.
//
// The host loads the library once; tests need the same clean start for each
// case without reloading it. Not exported from the module.
#ifndef FILTER_FILTER_STATE_H
#define FILTER_FILTER_STATE_H

void filter_reset_state(void);

#endif

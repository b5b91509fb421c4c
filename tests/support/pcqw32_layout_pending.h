// Record facts the test feeds and the benchmark feed once needed before pcqw32_layout.h named
// them; the layout header holds them all now.
#ifndef QUORVEX_PCQW32_LAYOUT_PENDING_H
#define QUORVEX_PCQW32_LAYOUT_PENDING_H

#include "pcqw32_layout.h"

#endif

// The feed helper's side of the results seam (results.h), over a reply in the shared section.
#ifndef QUORVEX_HELPER_RESULTS_H
#define QUORVEX_HELPER_RESULTS_H

#include "results.h"

#include <cstddef>

struct WireNode;

// What reportError throws: the request ended with the error now in the reply.
struct HelperRaised {};

// Starts the reply of a request in the section.
void helperResultsBegin(unsigned char *section, size_t size);

// Whether an array of the request found no room in the section.
bool helperResultsOverflowed();

// The reply's node of an output slot (null for an unset slot).
WireNode *helperResultNode(ResultArray *array);

#endif

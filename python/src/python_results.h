// The Python extension's side of the results seam (results.h).
#ifndef QUORVEX_PYTHON_RESULTS_H
#define QUORVEX_PYTHON_RESULTS_H

#include "results.h"

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

// A printed line or a warning of the request, in its order.
struct PythonReport {
    std::string kind; // "print" or "warning"
    std::string identifier;
    std::string text;
};

// What reportError throws: the request ended with this error.
struct PythonRaised {
    std::string identifier;
    std::string text;
};

// Starts a request; ends it, handing back its reports and freeing every array no output holds.
void pythonResultsBegin();
std::vector<PythonReport> pythonResultsEnd();

// The Python object of an output slot (None for an unset one), a new reference.
pybind11::object pythonResult(ResultArray *array);

#endif

// quorvex._core: the module's request code for Python. The Python layer (quorvex/__init__.py)
// checks the arguments and shapes the results; this runs one request with the same request
// units, feed link and feed helper as the host's module, and hands back the raw results
// (NumPy arrays, lists of texts, dicts) and the reports in their order.
#include "feed_link.h"
#include "feed_session.h"
#include "helper_link.h"
#include "pcqw32_layout.h"
#include "python_results.h"
#include "request_call.h"
#include "requests.h"

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// One request at a time, as in a host: the request units keep module-wide state.
std::mutex requestLock;

// The text of a symbol or qualifier, as the host's string read gives it to the module: its
// bytes (one per character, Latin-1), cut to what its buffer holds.
void copyText(const std::string &text, char (&out)[TEXT_BUFFER_SIZE]) {
    const size_t length = text.size() < TEXT_BUFFER_SIZE - 1 ? text.size() : TEXT_BUFFER_SIZE - 1;
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

std::string latin1(const py::str &text) {
    PyObject *bytes = PyUnicode_AsLatin1String(text.ptr());
    if (bytes == nullptr) {
        throw py::error_already_set();
    }
    std::string out(PyBytes_AS_STRING(bytes), static_cast<size_t>(PyBytes_GET_SIZE(bytes)));
    Py_DECREF(bytes);
    return out;
}

// Runs one request: the code, the database, the count, the symbols and qualifiers (already
// checked by the Python layer), and the outputs asked for. Returns (outputs, reports), or
// raises ModuleError(identifier, message, feed description, reports).
py::tuple request(int code, int database, int count, const std::vector<py::str> &symbols,
                  const std::vector<py::str> &qualifiers, int outputs) {
    std::lock_guard<std::mutex> lock(requestLock);
    if (code < 1 || code > REQUEST_COUNT || outputs < 1 || outputs > 2 ||
        symbols.size() != qualifiers.size()) {
        throw py::value_error("quorvex._core.request: a request the Python layer never makes");
    }
    std::vector<SecurityText> securities(symbols.size());
    for (size_t i = 0; i < symbols.size(); ++i) {
        copyText(latin1(symbols[i]), securities[i].symbol);
        copyText(latin1(qualifiers[i]), securities[i].qualifier);
    }
    // Which securities the request reads, as the host's module reads them from its inputs.
    const RequestDefinition &definition = requestDefinition(code);
    int32_t listed = 0;
    switch (definition.securities) {
    case SECURITIES_NONE:
        break;
    case SECURITIES_LISTED:
        listed = count > 0 ? count : 0;
        break;
    case SECURITIES_FIRST:
        listed = 1;
        break;
    case SECURITIES_OPTIONAL:
        listed = securities.empty() ? 0 : 1;
        break;
    }
    if (static_cast<size_t>(listed) > securities.size()) {
        throw py::value_error("quorvex._core.request: fewer securities than the count");
    }
    FeedControlBlock block;
    ResultArray *slots[2] = {nullptr, nullptr};
    RequestCall call{&block,
                     RequestInputs{code, database, definition.readsCount ? count : 0,
                                   SecurityList{securities.data(), listed}},
                     outputs, slots};
    forgetFeedFailure();
    pythonResultsBegin();
    std::string identifier;
    std::string message;
    bool raised = false;
    try {
        if (feedThroughHelper()) {
            runRequestInHelper(call);
        } else {
            runRequest(call);
        }
    } catch (const PythonRaised &error) {
        raised = true;
        identifier = error.identifier;
        message = error.text;
    }
    py::list results;
    for (int s = 0; s < outputs && !raised; ++s) {
        results.append(pythonResult(slots[s]));
    }
    py::list reports;
    for (const PythonReport &report : pythonResultsEnd()) {
        reports.append(py::make_tuple(report.kind, report.identifier, report.text));
    }
    if (raised) {
        py::object error = py::module_::import("quorvex._errors").attr("ModuleError");
        PyErr_SetObject(error.ptr(), py::make_tuple(identifier, message,
                                                    std::string(feedFailureDescription()), reports)
                                         .ptr());
        throw py::error_already_set();
    }
    return py::make_tuple(results, reports);
}

py::list names(const char *const *table, int count) {
    py::list out;
    for (int i = 0; i < count; ++i) {
        out.append(table[i]);
    }
    return out;
}

} // namespace

PYBIND11_MODULE(_core, module) {
    module.doc() = "The quorvex module's request code for Python (see the package quorvex).";
    module.def("request", &request, py::arg("code"), py::arg("database"), py::arg("count"),
               py::arg("symbols"), py::arg("qualifiers"), py::arg("outputs"));
    module.def(
        "feed_error", [] { return std::string(feedFailureDescription()); },
        "The feed library's own description of the failure the last request raised.");
    module.def("stop_helper", [] {
        std::lock_guard<std::mutex> lock(requestLock);
        stopFeedHelper();
    });
    // The feed's record layout, written once in the layout header: the names of the history
    // and bar columns, and the limits of a symbol and a qualifier.
    module.attr("HISTORY_COLUMNS") = names(HISTORY_COLUMN_NAMES, HISTORY_COLUMN_COUNT);
    module.attr("BAR_COLUMNS") = names(BAR_COLUMN_NAMES, BAR_COLUMN_COUNT);
    module.attr("BAR_ROWS") = BAR_ROWS;
    module.attr("SYMBOL_LENGTH") = KEY_SYMBOL_LENGTH;
    module.attr("QUALIFIER_LENGTH") = QUALIFIER_LENGTH;
    module.attr("BAR_END_STATUS") = BAR_END_STATUS;
    module.attr("FEED_LIBRARY") = feedLibraryName();
}

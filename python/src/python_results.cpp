// The results seam for Python: every array a request creates is a Python object from the start
// (NumPy arrays in the column-major layout the request fills in place, lists of str,
// dicts), so the columns reach NumPy without a copy. The request's reports are kept, in their
// order, for the Python layer to print and warn with; an error ends the request with an
// exception the extension turns into Python's.
#include "python_results.h"

#include "results.h"

#include "raw_records.h"

#include <pybind11/numpy.h>

#include <cstring>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// Every object the current request created, so that a request ending with an error frees
// them all; the handles the request holds are borrowed from here.
std::vector<py::object> arena;
std::vector<PythonReport> reports;

ResultArray *keep(py::object object) {
    arena.push_back(std::move(object));
    return reinterpret_cast<ResultArray *>(arena.back().ptr());
}

py::handle handleOf(ResultArray *array) {
    return py::handle(reinterpret_cast<PyObject *>(array));
}

// Feed texts are bytes of the feed's own code page: taken one byte one character (Latin-1),
// so that none is lost and none is refused.
py::str textOf(const char *text) {
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeLatin1(text, static_cast<Py_ssize_t>(std::strlen(text)), nullptr));
}

} // namespace

void pythonResultsBegin() {
    arena.clear();
    reports.clear();
}

py::object pythonResult(ResultArray *array) {
    return array == nullptr ? py::none() : py::reinterpret_borrow<py::object>(handleOf(array));
}

std::vector<PythonReport> pythonResultsEnd() {
    arena.clear();
    std::vector<PythonReport> done;
    done.swap(reports);
    return done;
}

ResultArray *resultMatrix(size_t rows, size_t columns, MatrixFill fill, double **data) {
    // Column-major, as the request writes it: element (r, c) at r + c * rows.
    py::array_t<double, py::array::f_style> matrix({rows, columns});
    *data = matrix.mutable_data();
    if (fill == MATRIX_ZEROED && rows * columns > 0) {
        std::memset(*data, 0, rows * columns * sizeof(double));
    }
    return keep(std::move(matrix));
}

// Raw records are decoded in this process, as they come.
void resultRawBegin(RawRecords kind) {
    rawDecodeBegin(kind);
}

void resultRawAppend(const unsigned char *record) {
    rawDecodeAppend(record);
}

ResultArray *resultRawEnd() {
    return rawDecodeEnd();
}

// A 1-by-1 matrix, as the helper's replies carry it too, so that a result has one shape
// whichever way the request ran.
ResultArray *resultScalar(double value) {
    double *data = nullptr;
    ResultArray *scalar = resultMatrix(1, 1, MATRIX_UNZEROED, &data);
    data[0] = value;
    return scalar;
}

ResultArray *resultText(const char *text) {
    return keep(textOf(text));
}

// The columns of texts go through the C API itself: a quote of 10,000 securities sets 90,000
// of them, and pybind11's item access makes and drops an index object for each.
ResultArray *resultTexts(size_t rows) {
    py::list texts(rows);
    py::str empty("");
    for (size_t row = 0; row < rows; ++row) {
        Py_INCREF(empty.ptr());
        PyList_SET_ITEM(texts.ptr(), static_cast<Py_ssize_t>(row), empty.ptr());
    }
    return keep(std::move(texts));
}

void resultSetText(ResultArray *texts, size_t row, const char *text) {
    // The list owns the new text and lets go of the one it held.
    PyList_SetItem(handleOf(texts).ptr(), static_cast<Py_ssize_t>(row),
                   textOf(text).release().ptr());
}

ResultArray *resultStructure(int fieldCount, const char *const *names, ResultArray *const *values) {
    py::dict structure;
    for (int field = 0; field < fieldCount; ++field) {
        structure[py::str(names[field])] = handleOf(values[field]);
    }
    return keep(std::move(structure));
}

void reportPrint(const char *text) {
    reports.push_back(PythonReport{"print", "", text});
}

void reportWarning(const char *identifier, const char *text) {
    reports.push_back(PythonReport{"warning", identifier, text});
}

void reportError(const char *identifier, const char *text) {
    throw PythonRaised{identifier, text};
}

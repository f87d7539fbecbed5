// plotrun._plotrun: the scanner's own path (cli/PictureJob.h) for Python.
// The package around it (plotrun/__init__.py) turns refusals into
// plotrun.ScanError and rows into a NumPy structured array.

#include "PictureJob.h"
#include "ScanFlags.h"

#include "../files/SettingsFile.h"
#include "../scan/ScanReport.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace py = pybind11;

namespace plotrun {

namespace {

// What a scan gave the package: the exit code the scanner would end with,
// its messages, and when done the values row by row under their names.
using ScanOutcome = py::tuple;

// Whether the scan can read an array where it lies: H x W x 3 or 4 bytes,
// the bytes of a pixel and the pixels of a row next to each other. Rows may
// lie apart, or bottom up; four-byte pixels must be aligned as 32-bit words.
bool readableInPlace(const py::array& a)
{
    if (a.ndim() != 3 || !py::isinstance<py::array_t<uint8_t>>(a) || (a.shape(2) != 3 && a.shape(2) != 4))
        return false;
    if (a.strides(2) != 1 || a.strides(1) != a.shape(2))
        return false;
    if (a.shape(2) == 4)
        return a.strides(0) % 4 == 0 && reinterpret_cast<uintptr_t>(a.data()) % 4 == 0;
    return true;
}

// The settings file's names of the fields, in the order of the output grid.
constexpr const char* kFieldNames[kFieldCount] = {"x", "y", "sdev", "sdevY", "bitmapX", "bitmapY"};

// A refusal of the settings before any picture is read.
struct Refusal {
    int code;
    std::string message;
};

// The settings as a scan takes them: a settings file's text, or the path of
// a settings file, whose messages then name it.
Options optionsFor(const py::object& json, const py::object& path, bool scaleWithPicture)
{
    try {
        SavedSettings s = path.is_none() ? settingsFromJson(QByteArray::fromStdString(json.cast<std::string>()))
                                         : readSettingsFile(QString::fromStdString(path.cast<std::string>()));
        return optionsFromSettings(std::move(s), scaleWithPicture);
    } catch (const SettingsFileError& e) {
        throw Refusal{kScanUsage, path.is_none() ? std::string("The settings cannot be used: ") + e.what() + "\n"
                                                 : e.what() + std::string("\n")};
    } catch (const UsageError& e) {
        throw Refusal{kScanUsage, e.text + "\n"};
    }
}

// What the package asks of a scan: the rows' values, or the output text.
enum class Give { Values, Text };

// Runs `scan` without the GIL, gathering the rows (few beside the pixels:
// one per strip) or the scanner's output text, and hands back the outcome.
template <class Scan>
ScanOutcome outcomeOf(const Options& o, Give give, Scan&& scan)
{
    std::vector<ResultRow> rows;
    ScanReport report(o.fields, o.decimalSeparator, ScanReport::Keep::TextOnly);
    std::string text;
    ViewScan v;
    {
        py::gil_scoped_release unlocked;
        try {
            if (give == Give::Values)
                v = scan([&](const ResultRow& r) { rows.push_back(r); });
            else
                v = scan([&](const ResultRow& r) { report.addRow(r); });
            if (give == Give::Text && v.code == kScanDone)
                text = report.text(v.picture, v.settings);
        } catch (const std::exception& e) { // out of memory, above all
            v.code = kScanFileError;
            v.messages = std::string("Cannot scan: ") + e.what() + "\n";
        }
    }
    if (give == Give::Text)
        return py::make_tuple(v.code, v.messages, py::bytes(text), py::none());
    const GridLayout layout = layoutGrid(o.fields);
    py::list names;
    for (const Field f : layout.fields)
        names.append(kFieldNames[static_cast<int>(f)]);
    const auto columns = static_cast<py::ssize_t>(layout.fields.size());
    py::array_t<double> values({static_cast<py::ssize_t>(v.code == kScanDone ? rows.size() : 0), columns});
    if (v.code == kScanDone) {
        auto out = values.mutable_unchecked<2>();
        for (size_t i = 0; i < rows.size(); ++i)
            for (py::ssize_t c = 0; c < columns; ++c) {
                const Field f = layout.fields[size_t(c)];
                // A field without a value (an absent SDEV/Y, Y low and Y
                // high without a bar): the scanner leaves its cell empty.
                out(py::ssize_t(i), c) =
                    fieldHasValue(rows[i], f) ? fieldValue(rows[i], f) : std::numeric_limits<double>::quiet_NaN();
            }
    }
    return py::make_tuple(v.code, v.messages, values, names);
}

ScanOutcome refused(const Refusal& r) { return py::make_tuple(r.code, r.message, py::none(), py::none()); }

ScanOutcome scanFile(const std::string& picture, const py::object& json, const py::object& path, bool scale, Give give)
{
    try {
        const Options o = optionsFor(json, path, scale);
        const QString image = QString::fromStdString(picture);
        return outcomeOf(o, give, [&](const RowSink& sink) { return scanPictureRows(o, image, sink); });
    } catch (const Refusal& r) {
        return refused(r);
    }
}

// The pixels of an array of H x W x 3 or 4 bytes where they lie: red first
// in both, the fourth byte ignored. The package hands over only arrays whose
// pixels and bytes lie next to each other; rows may lie apart, or bottom up.
PixelView viewOf(const py::array& a)
{
    PixelView v;
    v.height = static_cast<int32_t>(a.shape(0));
    v.width = static_cast<int32_t>(a.shape(1));
    const auto* first = static_cast<const uint8_t*>(a.data());
    if (a.shape(2) == 3) {
        v.layout = PixelLayout::Rgb24;
        v.bytes = first;
        v.rowBytes = a.strides(0);
    } else {
        v.layout = PixelLayout::Rgbx32;
        v.pixels = reinterpret_cast<const uint32_t*>(first);
        v.stride = a.strides(0) / 4;
    }
    return v;
}

ScanOutcome scanArray(const py::array& pixels, const py::object& json, const py::object& path, bool scale, Give give)
{
    try {
        if (!readableInPlace(pixels))
            throw py::type_error("the pixels must be an array of H x W x 3 or 4 bytes, each row's pixels side by side");
        const Options o = optionsFor(json, path, scale);
        if (pixels.shape(0) > INT32_MAX || pixels.shape(1) > INT32_MAX)
            throw Refusal{kScanFileError, "The array has more rows or columns than a picture may have\n"};
        const PixelView view = viewOf(pixels);
        // The array stays alive while `pixels` holds it.
        return outcomeOf(o, give, [&](const RowSink& sink) { return scanView(o, view, "the array", sink); });
    } catch (const Refusal& r) {
        return refused(r);
    }
}

// The settings file's text after the checks, with every key it holds; or
// the refusal.
py::tuple checkedSettings(const std::string& json, const py::object& path)
{
    try {
        const SavedSettings s = path.is_none() ? settingsFromJson(QByteArray::fromStdString(json))
                                               : readSettingsFile(QString::fromStdString(path.cast<std::string>()));
        return py::make_tuple(int(kScanDone), settingsToJson(s).toStdString());
    } catch (const SettingsFileError& e) {
        return py::make_tuple(int(kScanUsage),
                              (path.is_none() ? std::string("The settings cannot be used: ") : "") + e.what());
    }
}

} // namespace

} // namespace plotrun

PYBIND11_MODULE(_plotrun, m)
{
    using namespace plotrun;
    m.doc() = "The scan engine of Plotrun; use the package plotrun, which wraps it.";
    m.attr("__version__") = PLOTRUN_VERSION;
    py::enum_<Give>(m, "Give").value("VALUES", Give::Values).value("TEXT", Give::Text);
    m.def("scan_file", &scanFile, py::arg("picture"), py::arg("json"), py::arg("settings_path"),
          py::arg("scale_with_picture"), py::arg("give"),
          "Scans a picture file; (exit code, messages, values or output text, field names).");
    m.def("scan_array", &scanArray, py::arg("pixels").noconvert(), py::arg("json"), py::arg("settings_path"),
          py::arg("scale_with_picture"), py::arg("give"),
          "Scans an array of H x W x 3 or 4 bytes where it lies; (exit code, messages, values or output text, "
          "field names).");
    m.def("readable_in_place", &readableInPlace, py::arg("pixels"),
          "Whether scan_array reads the array where it lies, without a copy.");
    m.def("checked_settings", &checkedSettings, py::arg("json"), py::arg("settings_path"),
          "The settings file's text after the checks: (0, text), or (exit code, message).");
    m.def(
        "write_settings",
        [](const std::string& json, const std::string& path) {
            const SavedSettings s = settingsFromJson(QByteArray::fromStdString(json));
            return writeSettingsFile(QString::fromStdString(path), s).toStdString();
        },
        py::arg("json"), py::arg("path"), "Writes checked settings whole or not at all; the reason when it fails.");
}

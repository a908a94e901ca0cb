// The Python module "quillon": fits over numpy arrays with the engine of the
// command line, one set or many on all cores with the interpreter lock
// released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "models/catalogue.h"
#include "python/compute_call.h"

namespace py = pybind11;

namespace quillon {
namespace {

// One fit as Python sees it.
struct PyFitResult {
    std::string method;
    int outcome = 0;
    std::string message;
    py::array_t<double> params;
    py::array_t<double> errors;
    double chisq_dof = std::numeric_limits<double>::quiet_NaN();
    int dof = 0;
    int npoints = 0;
    py::object covariance = py::none();
    py::object correlation = py::none();
    std::string report;
    std::string log;
    py::object fixed = py::none();
    py::object at_bound = py::none();
    py::object suspect = py::none();
    py::object band = py::none();
    py::object global_fit = py::none();
};

py::array_t<double> Vector(const std::vector<double>& values) {
    return py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data());
}

py::object Matrix(const std::vector<double>& values, std::size_t m) {
    if (m == 0 || values.size() != m * m) {
        return py::none();
    }
    py::array_t<double> matrix({static_cast<py::ssize_t>(m), static_cast<py::ssize_t>(m)});
    std::copy(values.begin(), values.end(), matrix.mutable_data());
    return matrix;
}

// The band as a dict of its level and arrays; the prediction band's keys
// only for sets without SDs.
py::dict BandDict(const CurveBand& band) {
    py::dict d;
    d["level"] = band.level;
    d["x"] = Vector(band.x);
    d["lower"] = Vector(band.lower);
    d["upper"] = Vector(band.upper);
    if (!band.predictionLower.empty()) {
        d["prediction_lower"] = Vector(band.predictionLower);
        d["prediction_upper"] = Vector(band.predictionUpper);
    }
    return d;
}

// A number as the JSON report writes it: None for NaN and infinities.
py::object Number(double value) {
    return std::isfinite(value) ? py::object(py::float_(value)) : py::object(py::none());
}

py::list Numbers(const std::vector<double>& values) {
    py::list list;
    for (const double v : values) {
        list.append(Number(v));
    }
    return list;
}

py::object OptionalNumber(const std::optional<double>& value) {
    return value ? Number(*value) : py::none();
}

// An m x m matrix as a list of rows, or None.
py::object Rows(const std::vector<double>& values, std::size_t m) {
    if (values.size() != m * m) {
        return py::none();
    }
    py::list rows;
    for (std::size_t i = 0; i < m; ++i) {
        const auto row = values.begin() + static_cast<std::ptrdiff_t>(i * m);
        rows.append(Numbers(std::vector<double>(row, row + static_cast<std::ptrdiff_t>(m))));
    }
    return rows;
}

py::dict SharedDict(const SharedParameterRecord& p) {
    py::dict d;
    d["index"] = p.index;
    d["value"] = Number(p.value);
    d["error"] = Number(p.error);
    if (p.bounds) {
        py::list bounds;
        bounds.append(Number(p.bounds->lower));  // an open side is None, as JSON's null
        bounds.append(Number(p.bounds->upper));
        d["bounds"] = bounds;
        d["at_bound"] = p.atBound.has_value();
    }
    return d;
}

py::dict GlobalSetDict(const GlobalSetRecord& set) {
    py::dict label;
    label["name"] = set.label.name;
    label["value"] = Number(set.label.value);
    py::dict d;
    d["set"] = set.setNumber;
    d["label"] = label;
    d["parameters"] = Numbers(set.parameters);
    d["errors"] = Numbers(set.errors);
    d["chisq_dof"] = OptionalNumber(set.chisqDof);
    if (!set.atBound.empty()) {
        py::list atBound;
        for (const std::optional<double>& bound : set.atBound) {
            atBound.append(bound.has_value());
        }
        d["at_bound"] = atBound;
    }
    return d;
}

// The global fit as the command line's JSON "global" object has it, key for
// key, with None where the JSON has null.
py::dict GlobalDict(const GlobalFitRecord& global) {
    py::list shared;
    for (const SharedParameterRecord& p : global.shared) {
        shared.append(SharedDict(p));
    }
    py::list sets;
    for (const GlobalSetRecord& set : global.sets) {
        sets.append(GlobalSetDict(set));
    }
    py::list leftOut;
    for (const LeftOutSet& set : global.leftOut) {
        leftOut.append(set.setNumber);
    }
    py::dict d;
    d["shared"] = shared;
    d["covariance"] = Rows(global.covariance, global.shared.size());
    d["sets"] = sets;
    d["chisq"] = global.shared.empty() ? py::object(py::none()) : Number(global.chisq);
    d["dof"] = global.dof;
    d["chisq_dof"] = OptionalNumber(global.chisqDof);
    d["outcome"] = static_cast<int>(global.outcome);
    d["iterations"] = global.iterations;
    d["left_out"] = leftOut;
    return d;
}

PyFitResult ToPython(const FitRecord& fit, const std::string& report, const std::string& log) {
    PyFitResult r;
    r.method = fit.method;
    r.outcome = static_cast<int>(fit.outcome);
    r.message = fit.message;
    r.params = Vector(fit.parameters);
    r.errors = Vector(fit.errors);
    r.chisq_dof = fit.chisqDof.value_or(std::numeric_limits<double>::quiet_NaN());
    r.dof = fit.dof;
    r.npoints = fit.points;
    if (fit.statistics) {
        r.covariance = Matrix(fit.statistics->covariance, fit.parameters.size());
        r.correlation = Matrix(fit.statistics->correlation, fit.parameters.size());
    }
    if (fit.constraints) {
        r.fixed = py::cast(fit.constraints->fixed);
        r.at_bound = py::cast(fit.constraints->atBound);
    }
    if (fit.suspect) {
        r.suspect = py::bool_(*fit.suspect);
    }
    if (fit.band) {
        r.band = BandDict(*fit.band);
    }
    r.report = report;
    r.log = log;
    return r;
}

std::vector<double> Doubles(const py::handle& values, const char* name) {
    try {
        const auto array =
            py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(values);
        if (!array || array.ndim() != 1) {
            throw py::value_error(std::string(name) + " must be a one-dimensional array");
        }
        return {array.data(), array.data() + array.size()};
    } catch (const py::error_already_set&) {
        throw py::value_error(std::string(name) + " must be an array of numbers");
    }
}

ArraySet SetOf(const py::handle& x, const py::handle& y, const py::handle& sd) {
    ArraySet set{Doubles(x, "x"), Doubles(y, "y"), {}};
    if (!sd.is_none()) {
        set.sd = Doubles(sd, "sd");
    }
    if (const auto problem = CheckArraySet(set)) {
        throw py::value_error(*problem);
    }
    return set;
}

// p0: a sequence (None entries skipped) or a dict by index.
std::map<int, double> ValuesByIndex(const py::object& values) {
    std::map<int, double> map;
    if (values.is_none()) {
        return map;
    }
    if (py::isinstance<py::dict>(values)) {
        for (const auto& [key, value] : values.cast<py::dict>()) {
            map[key.cast<int>()] = value.cast<double>();
        }
        return map;
    }
    int index = 0;
    for (const py::handle value : values) {
        if (!value.is_none()) {
            map[index] = value.cast<double>();
        }
        ++index;
    }
    return map;
}

// fixed: a dict {index: value}, or indices held at their p0 values.
std::map<int, double> FixedValues(const py::object& fixed, const std::map<int, double>& p0) {
    if (fixed.is_none() || py::isinstance<py::dict>(fixed)) {
        return ValuesByIndex(fixed);
    }
    std::map<int, double> map;
    for (const py::handle item : fixed) {
        const int index = item.cast<int>();
        const auto start = p0.find(index);
        if (start == p0.end()) {
            throw py::value_error("fixed parameter " + std::to_string(index) +
                                  " needs a value: give it in p0 or fixed={index: value}");
        }
        map[index] = start->second;
    }
    return map;
}

// bounds: a dict {index: (lo, hi)} or a sequence of (lo, hi) or None; None
// for an open side.
std::map<int, ParameterBounds> BoundsByIndex(const py::object& bounds) {
    std::map<int, ParameterBounds> map;
    if (bounds.is_none()) {
        return map;
    }
    auto side = [](const py::handle& value, double open) {
        return value.is_none() ? open : value.cast<double>();
    };
    auto take = [&](int index, const py::handle& pair) {
        if (pair.is_none()) {
            return;
        }
        const py::sequence range = pair.cast<py::sequence>();
        if (range.size() != 2) {
            throw py::value_error("bounds of parameter " + std::to_string(index) +
                                  " must be a pair (lo, hi)");
        }
        constexpr double inf = std::numeric_limits<double>::infinity();
        map[index] = ParameterBounds{side(range[0], -inf), side(range[1], inf)};
    };
    if (py::isinstance<py::dict>(bounds)) {
        for (const auto& [key, value] : bounds.cast<py::dict>()) {
            take(key.cast<int>(), value);
        }
    } else {
        int index = 0;
        for (const py::handle pair : bounds) {
            take(index++, pair);
        }
    }
    return map;
}

ArrayFitOptions Options(const py::object& model, const std::string& method, const py::object& p0,
                        const py::object& fixed, const py::object& bounds, const py::kwargs& kw) {
    ArrayFitOptions options;
    if (py::isinstance<py::str>(model)) {
        options.formula = model.cast<std::string>();
    } else {
        options.modelId = model.cast<int>();
    }
    const auto chosen = MethodByName(method);
    if (!chosen) {
        throw py::value_error(
            "method must be Marquardt, Expansion, Powell, Gradient-search or "
            "ALL, not " +
            method);
    }
    options.method = *chosen;
    options.p0 = ValuesByIndex(p0);
    options.fixed = FixedValues(fixed, options.p0);
    options.bounds = BoundsByIndex(bounds);
    for (const auto& [key, value] : kw) {
        const std::string name = key.cast<std::string>();
        if (name == "n_cut") {
            options.convergence.n_cut = value.cast<int>();
        } else if (name == "chi_cut") {
            options.convergence.chi_cut = value.cast<double>();
        } else if (name == "f_er") {
            options.convergence.f_ER = value.cast<double>();
        } else if (name == "chisqdof_lim") {
            options.convergence.ChisqDof_Lim = value.cast<double>();
        } else if (name == "fixed_c") {
            options.fixedCDegrees = value.cast<double>();
        } else if (name == "stats") {
            options.statistics = value.cast<bool>();
        } else if (name == "search_starts") {
            options.searchStarts = value.cast<bool>();
        } else if (name == "precise") {
            options.convergence.precise = value.cast<bool>();
        } else if (name == "share") {
            options.share = value.is_none() ? std::vector<int>{} : value.cast<std::vector<int>>();
        } else if (name == "bands") {
            // True for the 95 % band, a number for that level, False or None for none.
            if (py::isinstance<py::bool_>(value)) {
                options.bandLevel = value.cast<bool>() ? std::optional(95.0) : std::nullopt;
            } else if (!value.is_none()) {
                options.bandLevel = value.cast<double>();
            }
        } else {
            throw py::type_error("unexpected keyword argument '" + name + "'");
        }
    }
    if (const auto problem = CheckOptions(options)) {
        throw py::value_error(*problem);
    }
    return options;
}

// The compute's results per set; global receives the global fit as a dict
// when some parameter was shared.
std::vector<ArraySetResult> Run(const std::vector<ArraySet>& sets, const ArrayFitOptions& options,
                                std::string& header, py::object& global) {
    std::optional<GlobalFitRecord> record;
    std::vector<ArraySetResult> results;
    {
        const py::gil_scoped_release release;
        results = FitArraySets(sets, options, header, record);
    }
    global = record ? py::object(GlobalDict(*record)) : py::object(py::none());
    return results;
}

// The results of one set: one per method run; a refused set raises.
py::list SetResults(const ArraySetResult& set, const std::string& header, const py::object& global,
                    bool raise) {
    py::list results;
    if (set.fits.empty()) {
        std::string why = set.messages.empty() ? "the set was not fitted" : set.messages.front();
        while (!why.empty() && why.back() == '\n') {
            why.pop_back();
        }
        if (raise) {
            throw py::value_error(why);
        }
        return results;
    }
    for (std::size_t k = 0; k < set.fits.size(); ++k) {
        PyFitResult result = ToPython(set.fits[k], header + set.report, set.logs[k]);
        result.global_fit = global;
        results.append(std::move(result));
    }
    return results;
}

py::object Fit(const py::object& model, const py::handle& x, const py::handle& y,
               const py::handle& sd, const std::string& method, const py::object& p0,
               const py::object& fixed, const py::object& bounds, const py::kwargs& kw) {
    const std::vector<ArraySet> sets{SetOf(x, y, sd)};
    ArrayFitOptions options = Options(model, method, p0, fixed, bounds, kw);
    std::string header;
    py::object global;
    const std::vector<ArraySetResult> results = Run(sets, options, header, global);
    py::list fits = SetResults(results.at(0), header, global, true);
    if (options.method == FitMethod::All) {
        return fits;
    }
    return fits[0];
}

py::list FitMany(const py::object& model, const py::iterable& data, const std::string& method,
                 const py::object& p0, const py::object& fixed, const py::object& bounds, int jobs,
                 const py::kwargs& kw) {
    std::vector<ArraySet> sets;
    for (const py::handle item : data) {
        const py::sequence set = item.cast<py::sequence>();
        if (set.size() < 2 || set.size() > 3) {
            throw py::value_error("each set must be (x, y) or (x, y, sd)");
        }
        const py::object sd = set.size() == 3 ? py::object(set[2]) : py::object(py::none());
        sets.push_back(SetOf(set[0], set[1], sd));
    }
    ArrayFitOptions options = Options(model, method, p0, fixed, bounds, kw);
    options.jobs = jobs;
    std::string header;
    py::object global;
    const std::vector<ArraySetResult> results = Run(sets, options, header, global);
    py::list out;
    for (const ArraySetResult& set : results) {
        py::list fits = SetResults(set, header, global, false);
        if (fits.empty()) {
            out.append(py::none());
        } else if (options.method == FitMethod::All) {
            out.append(fits);
        } else {
            out.append(fits[0]);
        }
    }
    return out;
}

}  // namespace
}  // namespace quillon

PYBIND11_MODULE(quillon, m) {
    using namespace quillon;
    m.doc() = "Least-squares fits of the Quillon_L model catalogue over numpy arrays.";
    py::class_<PyFitResult>(m, "FitResult", "The result of one method run on one data set.")
        .def_readonly("method", &PyFitResult::method, "the method's name")
        .def_readonly("outcome", &PyFitResult::outcome,
                      "1 converged, -3 at the iteration limit, 0 and below failed")
        .def_readonly("message", &PyFitResult::message, "the outcome as the report says it")
        .def_readonly("params", &PyFitResult::params, "the fitted parameters")
        .def_readonly("errors", &PyFitResult::errors, "their standard errors")
        .def_readonly("chisq_dof", &PyFitResult::chisq_dof, "chi-square per degree of freedom")
        .def_readonly("dof", &PyFitResult::dof, "degrees of freedom")
        .def_readonly("npoints", &PyFitResult::npoints, "points fitted")
        .def_readonly("covariance", &PyFitResult::covariance, "m x m covariance, or None")
        .def_readonly("correlation", &PyFitResult::correlation, "m x m correlation, or None")
        .def_readonly("report", &PyFitResult::report,
                      "the text report of the set, as the command line prints it")
        .def_readonly("log", &PyFitResult::log, "the iteration log of this method run")
        .def_readonly("fixed", &PyFitResult::fixed, "per parameter held, or None")
        .def_readonly("at_bound", &PyFitResult::at_bound, "per parameter at a bound, or None")
        .def_readonly("suspect", &PyFitResult::suspect,
                      "whether the fit looks wrong (with search_starts or precise), or None")
        .def_readonly("band", &PyFitResult::band,
                      "with bands=: dict of level, x, lower, upper (and prediction_lower, "
                      "prediction_upper without sd) on the result file's curve X, or None")
        .def_readonly("global_fit", &PyFitResult::global_fit,
                      "with share=: the global fit as a dict, key for key the command line's "
                      "JSON \"global\" object (None for null); None without share=")
        .def("__repr__", [](const PyFitResult& r) {
            return "<quillon.FitResult " + r.method + " outcome=" + std::to_string(r.outcome) +
                   " chisq_dof=" + std::to_string(r.chisq_dof) + ">";
        });
    m.def("fit", &Fit, py::arg("model"), py::arg("x"), py::arg("y"), py::arg("sd") = py::none(),
          py::kw_only(), py::arg("method") = "Marquardt", py::arg("p0") = py::none(),
          py::arg("fixed") = py::none(), py::arg("bounds") = py::none(),
          "Fits model (an id 0..42, or a formula in X and A0..A31) to one set; a FitResult, or a "
          "list of four for "
          "method='ALL'. Keywords n_cut, chi_cut, f_er, chisqdof_lim, fixed_c, stats, "
          "search_starts, precise, bands and share set what the command line's options of "
          "those names set. Raises ValueError when "
          "the set cannot be fitted.");
    m.def("fit_many", &FitMany, py::arg("model"), py::arg("sets"), py::kw_only(),
          py::arg("method") = "Marquardt", py::arg("p0") = py::none(),
          py::arg("fixed") = py::none(), py::arg("bounds") = py::none(), py::arg("jobs") = 0,
          "Fits every (x, y) or (x, y, sd) of sets in one compute on all cores (jobs=0) "
          "and returns one result per set (None for a set that could not be fitted). "
          "share=[i, ...] fits the sets jointly with those parameters shared, as --share does; "
          "every result's global_fit then holds the global fit.");
    m.def(
        "models",
        [] {
            py::list models;
            for (int id = 0; id < kModelCount; ++id) {
                models.append(py::make_tuple(id, std::string(ModelDisplayString(id)).substr(1),
                                             ModelParamCount(id)));
            }
            return models;
        },
        "The 43 models as (id, formula and name, parameter count).");
    m.def(
        "methods",
        [] {
            py::list methods;
            for (int id = 0; id < kMethodCount; ++id) {
                methods.append(std::string(MethodName(static_cast<FitMethod>(id))));
            }
            return methods;
        },
        "The five method names.");
}

"""The Python module against the command line and against known answers."""
import json
import math
import os
import subprocess
import tempfile

import numpy as np
import pytest

import quillon

PROGRAM = os.environ["QUILLON_PROGRAM"]


def logistic(n=20, scatter=0.03):
    x = 0.5 * np.arange(1, n + 1)
    y = 10 / (1 + 3 * np.exp(-0.5 * x)) + scatter * ((np.arange(1, n + 1) * 7) % 5 - 2)
    return x, y, np.full(n, 0.05)


def command_line(text, *args):
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
        f.write(text)
    try:
        return subprocess.run([PROGRAM, "--color", "never", *args, f.name], capture_output=True,
                              text=True, check=True).stdout
    finally:
        os.unlink(f.name)


def data_text(sets):
    lines = []
    for n, s in enumerate(sets):
        lines.append(f"// set {n + 1}")
        lines += ["\t".join(f"{v:.17g}" for v in row) for row in zip(*s)]
        lines.append("")
    return "\n".join(lines) + "\n"


def test_catalogue_lists():
    models = quillon.models()
    assert len(models) == 43
    assert models[22][0] == 22 and models[22][2] == 3 and "Logistic" in models[22][1]
    assert quillon.methods() == ["Marquardt", "Expansion", "Powell", "Gradient-search", "ALL"]


def test_fit_matches_the_command_line_exactly():
    x, y, sd = logistic()
    result = quillon.fit(22, x, y, sd)
    report = json.loads(command_line(data_text([(x, y, sd)]), "-m", "22", "--format", "json"))
    fit = report["sets"][0]["fits"][0]
    assert list(result.params) == fit["parameters"]
    assert list(result.errors) == fit["errors"]
    assert result.chisq_dof == fit["chisq_dof"]
    assert (result.dof, result.npoints, result.outcome) == (fit["dof"], fit["points"], 1)
    assert np.array_equal(result.covariance, np.array(fit["covariance"]))
    text = command_line(data_text([(x, y, sd)]), "-m", "22")
    assert result.report == text
    assert result.log.startswith("Initial values of parameters:")
    assert "Method: Marquardt method" in result.log


def test_linear_fit_is_exact_and_unweighted_without_sd():
    x = np.array([0.0, 1, 2, 3])
    result = quillon.fit(0, x, 2 + 3 * x)
    assert result.params == pytest.approx([2, 3], abs=1e-12)


def test_bands_keyword_gives_the_band_of_the_straight_line():
    x = np.array([0.0, 1, 2, 3])
    y = np.array([1.0, 3.5, 4.5, 7])
    assert quillon.fit(0, x, y).band is None
    band = quillon.fit(0, x, y, bands=90).band
    assert band["level"] == 90
    assert band["lower"].shape == band["x"].shape == band["prediction_upper"].shape
    assert np.all(band["lower"] < band["upper"])
    weighted = quillon.fit(0, x, y, np.full(4, 0.5), bands=True).band
    assert weighted["level"] == 95 and "prediction_lower" not in weighted


def test_held_and_bounded_parameters():
    x, y, sd = logistic()
    held = quillon.fit(22, x, y, sd, fixed={2: 0.5})
    assert held.params[2] == 0.5 and held.errors[2] == 0 and held.dof == 18
    assert held.fixed == [False, False, True]
    by_p0 = quillon.fit(22, x, y, sd, p0=[None, None, 0.5], fixed=[2])
    assert list(by_p0.params) == list(held.params)
    bounded = quillon.fit(22, x, y, sd, bounds={2: (None, 0.4)})
    assert bounded.params[2] <= 0.4 and bounded.at_bound == [False, False, True]
    assert math.isnan(bounded.errors[2])


def test_a_formula_fits_like_the_command_line():
    x, y, sd = logistic()
    formula = "A0/(1+A1*exp(-A2*X))"
    result = quillon.fit(formula, x, y, sd, p0=[9, 2.5, 0.4])
    text = "<<a[0] = 9>>\n<<a[1] = 2.5>>\n<<a[2] = 0.4>>\n" + data_text([(x, y, sd)])
    fit = json.loads(command_line(text, "--formula", formula, "--format", "json"))
    assert list(result.params) == fit["sets"][0]["fits"][0]["parameters"]
    assert result.report.startswith("Model function: Y = " + formula)
    with pytest.raises(ValueError, match="formula: .* at column 9"):
        quillon.fit("A0*exp(-", x, y)


def test_all_methods_give_four_results():
    x, y, sd = logistic()
    results = quillon.fit(22, x, y, sd, method="all")
    assert [r.method for r in results] == ["Marquardt", "Expansion", "Powell", "Gradient-search"]


def test_fit_many_equals_the_command_line_on_all_cores():
    rng = np.random.default_rng(7)
    sets = []
    for _ in range(40):
        x = np.linspace(0.5, 10, 25)
        a = rng.uniform(5, 15)
        sets.append((x, a / (1 + 3 * np.exp(-0.5 * x)) + rng.normal(0, 0.05, x.size),
                     np.full(x.size, 0.05)))
    results = quillon.fit_many(22, sets)
    report = json.loads(command_line(data_text(sets), "-m", "22", "--format", "json"))
    assert len(results) == 40
    for result, fitted in zip(results, report["sets"]):
        assert list(result.params) == fitted["fits"][0]["parameters"]
    assert results[3].report.startswith("Model function:") and "// set 4" in results[3].report


def test_a_set_that_cannot_be_fitted():
    flat = (np.array([1.0, 2, 3]), np.array([5.0, 5, 5]))
    with pytest.raises(ValueError, match="flat"):
        quillon.fit(22, *flat)
    x, y, sd = logistic()
    assert quillon.fit_many(22, [flat, (x, y, sd)])[0] is None


@pytest.mark.parametrize("call, message", [
    (lambda: quillon.fit(43, [1, 2, 3], [1, 2, 3]), "model"),
    (lambda: quillon.fit(22, [1, 2, 3], [1, 2]), "length"),
    (lambda: quillon.fit(22, [1], [1]), "2 points"),
    (lambda: quillon.fit(22, [1, 2, 3], [1, 2, 3], method="newton"), "method"),
    (lambda: quillon.fit(22, [1, 2, 3], [1, 2, 3], bounds={0: (5, 1)}), "lower above upper"),
    (lambda: quillon.fit(22, [1, 2, 3], [1, 2, 3], fixed=[1]), "needs a value"),
    (lambda: quillon.fit(22, [[1, 2], [3, 4]], [1, 2]), "one-dimensional"),
    (lambda: quillon.fit(22, [1, 2, 3], [1, 2, 3], n_cut=1), "n_cut"),
    (lambda: quillon.fit(0, [1, 2, 3], [1, 2, 3], bands=100), "bands"),
    (lambda: quillon.fit(22, [1, 2, 3], [1, 2, 3], share=[3]), "share"),
])
def test_bad_arguments_raise_value_error(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_unknown_keyword_is_a_type_error():
    with pytest.raises(TypeError):
        quillon.fit(22, [1, 2, 3], [1, 2, 3], tolerance=1)


def test_search_and_precise_match_the_command_line_and_flag_suspects():
    # A biased sine whose period the estimate misjudges on some sets; the
    # module's searched fit must be the command line's, bit for bit.
    x = np.arange(150.0)
    y = 3 * np.sin(2 * np.pi * (x + 7) / 47.0) + 2 + 0.3 * np.cos(1.7 * x)
    sd = np.full_like(x, 0.3)
    plain = quillon.fit(12, x, y, sd)
    assert plain.suspect is None
    searched = quillon.fit(12, x, y, sd, search_starts=True, precise=True)
    assert searched.suspect in (True, False)
    assert "Start values from the search" in searched.log
    assert abs(searched.params[1] - 47.0) < 1.0
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "set.txt")
        with open(path, "w") as f:
            f.write("// set 1\n")
            for row in zip(x, y, sd):
                f.write(" ".join(repr(float(v)) for v in row) + "\n")
        out = subprocess.run([PROGRAM, "-m", "12", "--format", "json", "--search-starts",
                              "--precise", path], check=True, capture_output=True,
                             text=True).stdout
    fitted = json.loads(out)["sets"][0]["fits"][0]
    assert list(searched.params) == fitted["parameters"]
    assert fitted["start"] == "search" and fitted["suspect"] == searched.suspect


def decays(scatter=0.02):
    # Three decays with one lifetime, Y = A0*exp(X/A1) (model 42), A1 = -1.5.
    rng = np.random.default_rng(5)
    x = np.linspace(0, 4, 20)
    return [(x, a * np.exp(-x / 1.5) + rng.normal(0, scatter, x.size), np.full(x.size, scatter))
            for a in (1.0, 2.0, 3.0)]


@pytest.mark.parametrize("bounded", [False, True])
def test_global_fit_is_the_command_lines_json_global(bounded):
    # With a bound the lifetime presses against (-1.4), the marks must agree too.
    sets = decays()
    keywords = {"bounds": {1: (-1.4, 0)}} if bounded else {}
    options = ["--bound", "1=-1.4:0"] if bounded else []
    results = quillon.fit_many(42, sets, share=[1], **keywords)
    report = json.loads(command_line(data_text(sets), "-m", "42", "--share", "1", "--format",
                                     "json", *options))
    assert results[0].global_fit == report["global"]
    assert all(r.global_fit == results[0].global_fit for r in results)
    assert ("at_bound" in report["global"]["shared"][0]) == bounded
    if bounded:
        assert report["global"]["shared"][0]["at_bound"] is True
        assert report["global"]["shared"][0]["error"] is None
    # The Global fit block ends the last set's report, as the command line prints it.
    text = command_line(data_text(sets), "-m", "42", "--share", "1", *options)
    assert results[-1].report.endswith(text[text.index("Global fit\n"):])
    assert quillon.fit_many(42, sets)[0].global_fit is None

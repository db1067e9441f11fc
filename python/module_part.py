"""Ferolan: acid dissociation constants pKa1..pKa5 from UV-Vis spectra at a series of pH.

The engine of the Ferolan window and of ferolan-cli, from Python: the same readers, the same
three searches (bit for bit the same trials and results) and the same diagnostics.

Data in
    read(path)                        a data.mdf or a table (tab, space, ';' or ',' cells)
    Dataset(ph, wavelengths, absorbance, conc, path_len=1)
                                      from numpy arrays, absorbance shaped spectra x points

Searches (each returns a Result)
    optimise(ds, pk=[4, 9])           the optimisation from start values
    manual_grid(ds, ranges=[(3, 5, 0.1), (8, 10, 0.1)])
    auto_grid(ds, constants=2)        the automatic grid
    evaluate(ds, pk=[4.2, 8.9])       one constant set scored, no search

A Result has pKa, u, Ka, se, s_a, trials, fits, numpy arrays of the fit (forms_spectra,
concentrations, calculated, residuals), to_dict() (the JSON of ferolan-cli --json) and
plot(). Its repr shows the constants as a chemist writes them: "pKa1 = 4.20 ± 0.01".

The least-squares minimum (each returns a Refinement or GlobalFit, to_dict() the JSON of
ferolan-cli --refine / --global)
    refine(result)                    from a search's result
    refine(ds, pk=[4.3, 8.8])         from start values (or constants=2: the automatic grid's)
    global_fit([ds1, ds2, ds3], constants=2)   titrations of one acid, shared constants
    bootstrap=200, seed=1             resampling intervals (Refinement.ci) for both

Diagnostics
    factor_analysis(ds)               how many absorbing forms the data support
    compare_models(ds)                models with 1..k constants by AIC and BIC
    Result.standard_errors(), Result.speciation(), Result.residual_map()
    concentration_scale(pka, step, ionic_strength)   Davies equation, 25 °C

Many files
    analyse_many(paths, plan=None, jobs=None, client=None)   a pandas DataFrame with
                                      ferolan-cli's summary columns; client: a dask
                                      distributed Client to spread the files over a cluster

Searches release the GIL (two threads run two searches at once), stop on Ctrl-C within a
tenth of a second (KeyboardInterrupt), or on a CancelToken set from another thread, and call
progress(trials, seconds) at most ten times a second. Bad input raises DataError (data) or
RefusedError (settings the search refuses), both ValueError with .code and .message.
"""

import json as _json


class DataError(ValueError):
    """Data that cannot be read or analysed.

    .code is ferolan-cli's stable code (e.g. "non_finite", "wrong_shape", "cannot_open") and
    .message its English sentence (with file, row and column, or array and index).
    """

    def __init__(self, message, code=None):
        super().__init__(message)
        self.code = code
        self.message = message


class RefusedError(ValueError):
    """Settings a search refuses for these data (e.g. "too_few_spectra",
    "start_value_missing", "range_step"), with .code and .message as in ferolan-cli's JSON."""

    def __init__(self, message, code=None):
        super().__init__(message)
        self.code = code
        self.message = message


Dataset.__doc__ = """A measured data set: spectra at a series of pH values.

Dataset(ph, wavelengths, absorbance, conc, path_len=1)

ph: 1-D array of the spectra's pH; wavelengths: 1-D array in nm (stored as whole numbers,
as the window stores them); absorbance: 2-D array shaped (spectra, points); conc: the total
acid concentration in mol/L, one number or a 1-D array of one per spectrum (dilution during
the titration); path_len: the cuvette's path length in cm (1, 2, 3 or 5). The searches take
one concentration; a data set with a concentration per spectrum is fitted by refine(ds,
pk=...) and global_fit, and the searches refuse it (RefusedError "conc_per_spectrum").
Any real dtype, any memory order; values are stored as singles, as the readers store them.
Wrong shapes or dtypes, NaN, infinities and values beyond a single raise DataError.

Use read(path) for files. Properties: ph, wavelengths, absorbance, conc, path_len,
n_spectra, n_points, warnings, source, format.
"""


def read(path, format=None, path_len=1):
    """Reads a data.mdf or a table with ferolan-cli's reader and returns a Dataset.

    format: None (from the name and the first line, as ferolan-cli does), "mdf" or "table".
    Cells that are no number are read as 0 and listed in ds.warnings (never printed); a file
    that cannot be read, or holds no spectra, raises DataError with ferolan-cli's code.
    """
    return _read(str(path), format or "", path_len)


_COMMON = """
    threads: threads of one optimisation sweep (None: one per core; results are the same
    for every number). progress: a callable progress(trials, seconds), called at most ten
    times a second. cancel: a CancelToken; when set, the search stops and the result is the
    best set so far (result.stopped). trace: a file to write ferolan-cli's --trace to
    (one line per scored trial; not written when the search is stopped). exclude / exclude_ph: spectra left out (by number from 1 in pH order, or by
    pH). ionic_strength: adds the constants on the concentration scale (Davies, 25 °C).
    Ctrl-C stops the search and raises KeyboardInterrupt.
"""


def _run(ds, mode, **kw):
    return _analyse(ds, mode, **{k: v for k, v in kw.items() if v is not None})


def optimise(ds, pk=None, hold=None, level="normal", constants=None, threads=None,
             progress=None, cancel=None, trace=None, exclude=None, exclude_ph=None,
             ionic_strength=None, noise=None):
    return _run(ds, "opt", pk=pk, hold=hold, level=level, constants=constants, threads=threads,
                progress=progress, cancel=cancel, trace=trace, exclude=exclude,
                exclude_ph=exclude_ph, ionic_strength=ionic_strength, noise=noise)


optimise.__doc__ = """The optimisation from start values: returns a Result.

pk: start values of pKa1, pKa2, ... (their number is the number of constants unless
constants says otherwise); hold: slot numbers (1..5) held at their pk value; level:
"normal", "high" or "very-high".
""" + _COMMON


def manual_grid(ds, ranges, pk=None, hold=None, constants=None, progress=None, cancel=None,
                trace=None, exclude=None, exclude_ph=None, ionic_strength=None, noise=None):
    return _run(ds, "manual", ranges=ranges, pk=pk, hold=hold, constants=constants,
                progress=progress, cancel=cancel, trace=trace, exclude=exclude,
                exclude_ph=exclude_ph, ionic_strength=ionic_strength, noise=noise)


manual_grid.__doc__ = """The manual grid: every combination of the ranges, returns a Result.

ranges: one (start, end, step) per constant from pKa1 (None for a held slot); their number is
the number of constants. hold: slots held at their pk value.
""" + _COMMON


def auto_grid(ds, constants=None, pk=None, hold=None, threads=None, progress=None, cancel=None,
              trace=None, exclude=None, exclude_ph=None, ionic_strength=None, noise=None):
    return _run(ds, "auto", constants=constants, pk=pk, hold=hold, threads=threads,
                progress=progress, cancel=cancel, trace=trace, exclude=exclude,
                exclude_ph=exclude_ph, ionic_strength=ionic_strength, noise=noise)


auto_grid.__doc__ = """The automatic grid: returns a Result.

constants: the number of constants (None: the factor analysis decides, as ferolan-cli
does); hold: slots held at their pk value.
""" + _COMMON


def evaluate(ds, pk, hold=None, exclude=None, exclude_ph=None, ionic_strength=None,
             noise=None):
    """Scores one constant set without a search: returns a Result (s_a at every point,
    s_a_thinned on the searches' grid, the fit's arrays, standard errors).

    pk: pKa1, pKa2, ... of the set; exclude / exclude_ph: spectra left out.
    The score and the arrays are the engine's evaluation alone; the batch tool's
    diagnostics (se, to_dict(), repr, trials) are computed the first time one is asked for,
    so a loop over many constant sets pays for the fits only.
    """
    kw = dict(pk=pk, hold=hold, exclude=exclude, exclude_ph=exclude_ph,
              ionic_strength=ionic_strength, noise=noise)
    return _evaluate(ds, **{k: v for k, v in kw.items() if v is not None})


def _numpy_lists(d, keys):
    import numpy as np
    out = dict(d)
    for k in keys:
        if out.get(k) is not None:
            out[k] = np.asarray(out[k], dtype=float)
    return out


def factor_analysis(ds, noise=None, exclude=None, exclude_ph=None):
    """How many absorbing forms the spectra support, before any fit (singular values against
    the noise). Returns a dict: suggested_forms, suggested_constants, summary, noise,
    noise_given, reached_noise, and numpy arrays singular_values, share, residual_rms."""
    d = _run(ds, "factors", noise=noise, exclude=exclude, exclude_ph=exclude_ph).to_dict()
    fa = d["factor_analysis"]
    if fa is None:
        raise DataError("nothing to analyse: no spectrum or no point", "empty")
    return _numpy_lists(fa, ("singular_values", "share", "residual_rms"))


def compare_models(ds, noise=None, exclude=None, exclude_ph=None):
    """Models with 1..k constants, each found by the automatic grid, scored by AIC and BIC.
    Returns (models, result): a list of dicts (constants, s_a, rss, parameters,
    observations, aic, bic, preferred, pKa_texts) and the Result of the preferred model."""
    r = _run(ds, "compare", noise=noise, exclude=exclude, exclude_ph=exclude_ph)
    return r.to_dict()["models"], r


def concentration_scale(pka, step, ionic_strength, charge_form1=0):
    """The stepwise constant pKa of slot `step` (1..5) on the concentration scale at the
    ionic strength given (mol/L) and at zero ionic strength, by the Davies equation at 25 °C.
    charge_form1: the charge of the most protonated form (0: H5A, the program's legend).
    Returns a dict with pKa_conc, pKa_thermodynamic, the activity coefficients' logarithms and
    in_range (I <= 0.5 mol/L, where the equation holds)."""
    return _scale(float(pka), int(step), float(ionic_strength), int(charge_form1))


Result.__doc__ = """The result of a search or an evaluation.

pKa, Ka, u, se: numpy arrays over the model's constants (slots, states say which slot and
whether fitted or held); s_a, s_a_thinned, trials, fits, seconds, stopped.
Arrays of the fit at the result (rows: the spectra that took part, ph; columns: wavelengths):
forms_spectra (points x forms), concentrations (spectra x forms), measured, calculated,
residuals (spectra x points).
to_dict(): the JSON of ferolan-cli --json (schema 1); to_json(): its text.
standard_errors(), speciation(), residual_map(): diagnostics; plot(): the pictures.
"""


def _to_dict(self):
    """The batch tool's JSON (schema 1, docs/json.md) of this result as a dict: every key as
    ferolan-cli --json writes it for the same data and settings (file and times aside)."""
    return _json.loads(self.to_json())


def _standard_errors(self):
    """Standard errors and correlations of the fitted pKa from the least-squares curvature:
    a dict with slots, se, correlation (numpy, k x k), dof, rss, step; None without one."""
    import numpy as np
    d = self.to_dict()["standard_errors"]
    if d is None:
        return None
    out = dict(d)
    k = len(d["slots"])
    out["correlation"] = np.asarray(d["correlation"], dtype=float).reshape(k, k)
    out["se"] = np.asarray([s["se"] for s in self.to_dict()["slots"] if s["slot"] in d["slots"]],
                           dtype=float)
    return out


def _speciation(self):
    """Fractions of the acid's forms over the pH range of the data at the result's constants:
    a dict with forms (names, e.g. "H2A"), ph (numpy) and fraction (numpy, pH x forms)."""
    import numpy as np
    d = self.to_dict()["speciation"]
    if d is None:
        return None
    ph = np.asarray(d["ph"], dtype=float)
    return {"forms": d["forms"], "ph": ph,
            "fraction": np.asarray(d["fraction"], dtype=float).reshape(len(ph), len(d["forms"]))}


def _residual_map(self):
    """Residuals per spectrum and per point: a dict with residuals (spectra x points), spectra
    (numbers from 1 in pH order), s_spectrum, s_point, median_s_spectrum, outliers (spectra
    above 3 x the median) and s_a."""
    d = self.to_dict()["residuals"]
    if d is None:
        return None
    out = _numpy_lists(d, ("s_spectrum", "s_point"))
    out["residuals"] = self.residuals
    return out


def _plot(self, fig=None):
    """Draws the measured and calculated spectra, the forms' spectra (epsilon, L/(mol cm))
    and the speciation with matplotlib; returns the Figure."""
    import matplotlib.pyplot as plt
    if fig is None:
        fig = plt.figure(figsize=(13, 4))
    ax1, ax2, ax3 = fig.subplots(1, 3)
    wl = self.wavelengths
    for row_m, row_c in zip(self.measured, self.calculated):
        ax1.plot(wl, row_m, color="0.6", lw=0.8)
        ax1.plot(wl, row_c, color="tab:red", lw=0.8, ls="--")
    ax1.set(xlabel="wavelength, nm", ylabel="absorbance", title="measured (grey), calculated")
    sp = self.speciation()
    names = sp["forms"] if sp else []
    eps = self.forms_spectra / self.to_dict()["data"]["path_len"]
    for j in range(eps.shape[1]):
        ax2.plot(wl, eps[:, j], label=names[j] if j < len(names) else f"form {j + 1}")
    ax2.set(xlabel="wavelength, nm", ylabel="ε, L mol⁻¹ cm⁻¹", title="forms' spectra")
    ax2.legend()
    if sp:
        for j, name in enumerate(names):
            ax3.plot(sp["ph"], sp["fraction"][:, j], label=name)
        ax3.set(xlabel="pH", ylabel="fraction", title="speciation")
        ax3.legend()
    fig.tight_layout()
    return fig


Result.to_dict = _to_dict
Result.standard_errors = _standard_errors
Result.speciation = _speciation
Result.residual_map = _residual_map
Result.plot = _plot

_TEXT_COLUMNS = {"file", "sample", "status", "message", "search"}
_INT_COLUMNS = {"spectra", "spectra_used", "points", "constants", "preferred_constants"}


def _frame(csv):
    import csv as _csv
    import io
    import pandas as pd
    rows = list(_csv.reader(io.StringIO(csv, newline="")))
    header, body = rows[0], rows[1:]
    columns = {}
    for i, name in enumerate(header):
        cells = [r[i] if i < len(r) else "" for r in body]
        if name in _TEXT_COLUMNS:
            columns[name] = pd.Series([c if c != "" else None for c in cells], dtype=object)
        elif name in _INT_COLUMNS:
            columns[name] = pd.Series([int(c) if c != "" else None for c in cells], dtype="Int64")
        else:
            try:
                columns[name] = pd.Series([float(c) if c != "" else float("nan") for c in cells],
                                          dtype="float64")
            except ValueError:
                columns[name] = pd.Series([c if c != "" else None for c in cells], dtype=object)
    return pd.DataFrame(columns, columns=header)


def _paths(paths):
    if isinstance(paths, (str, bytes)) or hasattr(paths, "__fspath__"):
        paths = [paths]
    return [str(p) for p in paths]


def _one_summary(paths, plan, index, settings):
    # One file of a run, on a worker of a cluster.
    return _summary(paths, plan, 1, [index], **settings)[1]


def analyse_many(paths, plan=None, jobs=None, client=None, search="opt", **settings):
    """Analyses a lab's folder as ferolan-cli does and returns a pandas DataFrame with its
    summary columns (file, sample, status, message, spectra, ..., pKa1..pKa5, u1..u5,
    se1..se5, s_a, preferred_constants, pKa1_conc..pKa5_conc), one row per file in order.

    paths: a folder (its *.mdf, *.txt, *.csv and *.tsv files, sorted by name), a file, or a
    list of them; plan: a plan CSV (docs: ferolan-cli --manifest) naming the files instead.
    search: "opt", "manual", "auto", "evaluate", "compare" or "factors"; settings: pk, hold,
    constants, level, ranges, threads, exclude_ph, ionic_strength, noise, strict, as for
    the single searches. jobs: files analysed at once (None: one per core). client: a
    dask.distributed Client; each file is then analysed on a worker (which must be able to
    import ferolan and read the files) and the DataFrame is the same as with jobs=1.
    Files that cannot be read or are refused are rows with their status, never exceptions.
    """
    paths = _paths(paths) if paths is not None else []
    plan = None if plan is None else str(plan)
    settings = {k: v for k, v in settings.items() if v is not None}
    settings["search"] = search
    if client is None:
        return _frame(_summary(paths, plan, jobs or 0, [], **settings)[1])
    n = _count_jobs(paths, plan, **settings)
    futures = client.map(_one_summary, [paths] * n, [plan] * n, list(range(n)),
                         [settings] * n, pure=False)
    parts = client.gather(futures)
    if not parts:
        return _frame(_summary(paths, plan, 1, [], **settings)[1])
    header = parts[0].split("\r\n", 1)[0]
    body = "".join(p.split("\r\n", 1)[1] for p in parts)
    return _frame(header + "\r\n" + body)


def refine(source, pk=None, hold=None, constants=None, bootstrap=0, seed=1, threads=None,
           max_iterations=100):
    """The least-squares minimum of s(A) over the fitted constants (Levenberg-Marquardt, the
    forms' spectra solved linearly at every step, in double): returns a Refinement.

    source: a Result (refined from its constants, with its held and removed slots and its
    spectra; equal to ferolan-cli --refine after the same search), or a Dataset: from pk
    (start values of pKa1, pKa2, ...; hold: slots held at their pk value) or, without pk,
    from the automatic grid's result (constants: how many; None: the factor analysis
    decides). bootstrap: replicates of a residual bootstrap (0: none, else 10..100000),
    seeded by seed and the same for every threads (None: one per core); its intervals are
    Refinement.ci. max_iterations: 1..10000.

    Bad arguments raise RefusedError (code "wrong_type", "out_of_range", ...); a fit that
    cannot be made (too few data, nothing fitted) raises RefusedError with the refinement's
    status as its code. A refinement that stops at max_iterations or with a constant more than
    2 units beyond the measured pH is returned with that status.
    """
    if not isinstance(source, (Result, Dataset)):
        raise DataError("refine takes a ferolan.Dataset or a ferolan.Result", "wrong_type")
    if isinstance(source, Dataset) and pk is None:
        if hold is not None:
            raise RefusedError("hold needs the held values: give pk", "wrong_type")
        start = _analyse(source, "auto", _mean_conc_ok=True,
                         **{k: v for k, v in dict(constants=constants, threads=threads).items()
                            if v is not None})
        pk = start.pKa.tolist()
    elif constants is not None:
        raise RefusedError("constants is for a Dataset without pk", "wrong_type")
    return _refine(source, pk, hold, bootstrap, seed, threads, max_iterations)


def global_fit(datasets, constants=None, pk=None, hold=None, shared_spectra=True,
               conc_factors=False, bootstrap=0, seed=1, threads=None, max_iterations=100):
    """Several titrations of one acid fitted at once: shared constants, each titration with
    its own pH values, concentrations and path length, refined to the pooled least-squares
    minimum over the wavelengths all of them have. Returns a GlobalFit.

    datasets: a list of Dataset (one is that titration's refinement). Without pk each
    titration's own automatic grid runs first (constants: how many; None: the factor analysis
    decides, and all must agree) and the fit starts from their median; pk (and hold) give the
    start instead. shared_spectra: one set of forms' spectra for all (same compound, same
    cell) or False for one per titration (different instruments). conc_factors: fit a
    concentration factor per titration after the first (stated concentrations that are not
    exact). bootstrap, seed, threads, max_iterations: as for refine; with two or more
    titrations the bootstrap also draws whole titrations (GlobalFit.ci_titrations).

    to_dict() is the "global" object of ferolan-cli --global --json for the same files and
    settings (names of array data sets: "array 1", ...). Every data set given takes part: one
    that its own search refuses raises RefusedError naming it.
    """
    kw = {k: v for k, v in dict(constants=constants, threads=threads).items() if v is not None}
    if pk is None and hold is not None:
        raise RefusedError("hold needs the held values: give pk", "wrong_type")
    for name, flag in (("shared_spectra", shared_spectra), ("conc_factors", conc_factors)):
        if not isinstance(flag, bool):
            raise RefusedError(name + " must be True or False", "wrong_type")
    return _global_fit(datasets, kw, shared_spectra, conc_factors, pk, hold, bootstrap, seed,
                       threads, max_iterations)


def _refined_to_dict(self):
    """The batch tool's JSON object of this fit as a dict (docs/json.md): the "refined" object
    of ferolan-cli --refine, or the "global" object of --global (times aside)."""
    return _json.loads(self.to_json())


Refinement.to_dict = _refined_to_dict
GlobalFit.to_dict = _refined_to_dict
Refinement.__doc__ = """The least-squares refinement of one data set (see refine()).

pKa, Ka, se, start: numpy arrays over the model's constants (slots, states); status,
message, iterations; s_a (at the minimum), s_a_start, s_a_dof, rss, dof, observations,
parameters; covariance and correlation (numpy, q x q); ci: the bootstrap's (lo, hi) or None;
seconds. to_dict(): the "refined" object of ferolan-cli --refine --json.
"""
GlobalFit.__doc__ = """A global fit of several titrations (see global_fit()).

As a Refinement (pKa, se, ci, s_a pooled, ...), and s_a_titrations, factors, factor_se, own
(each titration's own pKa), wavelengths (the common ones fitted), dropped, warnings,
ci_titrations. to_dict(): the "global" object of ferolan-cli --global --json.
"""

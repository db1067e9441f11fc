"""The Python module against the engine and ferolan-cli, side by side, on one machine.

Usage: python_bench.py BUILD_DIR   (needs make_bench_data and ferolan-cli built in BUILD_DIR
and the module in BUILD_DIR/python). Prints:
  1. one fit on 50 spectra x 1000 points x 5 constants at fit_step 10 (as a search scores a
     trial): Dataset.score() from Python against the same fit repeated inside C++ (the
     engine's own time), and the binding's overhead;
  2. ferolan.evaluate (the engine's evaluate behind a Result) against the same engine call
     repeated in C++;
  3. the same searches from Python and from ferolan-cli (wall time of the whole call).
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
sys.path.insert(0, os.path.join(build, "python"))
import ferolan  # noqa: E402

PK = [2.5, 4.5, 6.5, 8.5, 10.5]


def best_of(fn, batches=30, per=2000):
    """Median and best per-call time of batches of `per` calls."""
    times = []
    for _ in range(batches):
        t0 = time.perf_counter()
        fn(per)
        times.append((time.perf_counter() - t0) / per)
    return statistics.median(times), min(times)


with tempfile.TemporaryDirectory() as tmp:
    data = os.path.join(tmp, "data.mdf")
    subprocess.run([os.path.join(build, "bench", "make_bench_data"), data], check=True)
    ds = ferolan.read(data)
    print(f"data: {ds.n_spectra} spectra x {ds.n_points} points, {len(PK)} constants")

    for step in (10, 1):
        per = 2000 if step == 10 else 200

        def from_python(n):
            score = ds.score
            for _ in range(n):
                score(PK, step)

        def in_engine(n):
            ferolan._score_repeat(ds, PK, step, n)

        assert ds.score(PK, step) == ferolan._score_repeat(ds, PK, step, 3)
        py_med, py_best = best_of(from_python, per=per)
        en_med, en_best = best_of(in_engine, per=per)
        print(f"fit_step {step:2d}: Dataset.score {py_med * 1e6:8.2f} us (best {py_best * 1e6:.2f}),"
              f" engine {en_med * 1e6:8.2f} us (best {en_best * 1e6:.2f}),"
              f" overhead {100 * (py_med - en_med) / en_med:+.1f} % of the median"
              f" ({(py_med - en_med) * 1e6:.2f} us per call)")

    # ferolan.evaluate (the engine's evaluate: a thinned and a full fit and the fit's arrays,
    # with the Result around it) against the same call repeated in C++. The batches of the
    # two alternate, so that a change of the machine's load meets both.
    assert ferolan.evaluate(ds, pk=PK).s_a == ferolan._evaluate_repeat(ds, PK, 2)

    def evaluate_from_python(n):
        evaluate = ferolan.evaluate
        for _ in range(n):
            evaluate(ds, pk=PK)

    py_t, en_t = [], []
    for _ in range(40):
        for fn, out in ((evaluate_from_python, py_t),
                        (lambda n: ferolan._evaluate_repeat(ds, PK, n), en_t)):
            t0 = time.perf_counter()
            fn(100)
            out.append((time.perf_counter() - t0) / 100)
    py_med, en_med = statistics.median(py_t), statistics.median(en_t)
    print(f"ferolan.evaluate {py_med * 1e6:8.2f} us (best {min(py_t) * 1e6:.2f}),"
          f" engine's evaluate {en_med * 1e6:8.2f} us (best {min(en_t) * 1e6:.2f}),"
          f" overhead {100 * (py_med - en_med) / en_med:+.1f} % of the median"
          f" ({(py_med - en_med) * 1e6:.2f} us per call)")

    cli = os.path.join(build, "ferolan-cli")
    searches = [
        ("optimisation, 5 constants", ["--pk", ",".join(map(str, PK))],
         lambda: ferolan.optimise(ds, pk=PK)),
        ("automatic grid, 2 constants", ["--search", "auto", "--constants", "2"],
         lambda: ferolan.auto_grid(ds, constants=2)),
    ]
    for name, args, call in searches:
        py, cl = [], []
        for _ in range(3):
            t0 = time.perf_counter()
            r = call()
            py.append(time.perf_counter() - t0)
            t0 = time.perf_counter()
            out = subprocess.run([cli, data, *args, "--json", "--quiet"], capture_output=True)
            cl.append(time.perf_counter() - t0)
        import json
        want = json.loads(out.stdout)
        assert [s["pKa"] for s in want["slots"]] == [s["pKa"] for s in r.to_dict()["slots"]]
        print(f"{name}: Python {statistics.median(py):.3f} s, ferolan-cli {statistics.median(cl):.3f} s"
              f" ({r.trials} trials, same constants)")

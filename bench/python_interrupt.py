"""How long a search from Python takes to stop after Ctrl-C (SIGINT): one long search, and a
folder of long searches through analyse_many, on one and on two threads.

Usage: python_interrupt.py BUILD_DIR   (the module in BUILD_DIR/python). Each case is run
REPEATS times; the time is from the signal sent (os.kill to this process, from a timer
thread, as a terminal's Ctrl-C arrives) to KeyboardInterrupt caught by the caller.
"""
import os
import shutil
import signal
import statistics
import sys
import tempfile
import threading
import time

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
sys.path.insert(0, os.path.join(build, "python"))
import ferolan  # noqa: E402

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXAMPLE = os.path.join(SOURCE, "examples", "data.mdf")
LONG = [(1.0, 12.0, 0.01), (1.0, 12.0, 0.01)]  # minutes of trials unless stopped
REPEATS = 7


def stop_time(call, after=0.5):
    sent = []

    def send():
        sent.append(time.perf_counter())
        os.kill(os.getpid(), signal.SIGINT)

    timer = threading.Timer(after, send)
    timer.start()
    try:
        call()
    except KeyboardInterrupt:
        caught = time.perf_counter()
    else:
        raise SystemExit("the call ended before the signal")
    timer.join()
    return caught - sent[0]


with tempfile.TemporaryDirectory() as tmp:
    for i in range(4):
        shutil.copy(EXAMPLE, os.path.join(tmp, f"a{i}.mdf"))
    ds = ferolan.read(EXAMPLE)
    cases = [
        ("manual grid, one data set", lambda: ferolan.manual_grid(ds, ranges=LONG)),
        ("optimisation very high, 5 constants",
         lambda: ferolan.optimise(ds, pk=[2, 4, 6, 8, 10], level="very-high")),
        ("analyse_many, 4 files, jobs=1",
         lambda: ferolan.analyse_many(tmp, search="manual", ranges=LONG, jobs=1)),
        ("analyse_many, 4 files, jobs=2",
         lambda: ferolan.analyse_many(tmp, search="manual", ranges=LONG, jobs=2)),
    ]
    for name, call in cases:
        times = [stop_time(call) for _ in range(REPEATS)]
        print(f"{name}: stopped {statistics.median(times) * 1e3:.1f} ms after SIGINT"
              f" (median of {REPEATS}, max {max(times) * 1e3:.1f} ms)")

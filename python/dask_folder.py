"""A lab's folder through Dask's distributed scheduler: the same DataFrame as jobs=1.

Usage: dask_folder.py [FOLDER]   (without one, a folder made from examples/data.mdf: make test)
Workers import ferolan like the client: PYTHONPATH must name build/python for them too.
"""
import os
import shutil
import sys
import tempfile

import pandas as pd
from dask.distributed import Client, LocalCluster

import ferolan


def main(folder):
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        spread = ferolan.analyse_many(folder, search="auto", client=client)
    alone = ferolan.analyse_many(folder, search="auto", jobs=1)
    pd.testing.assert_frame_equal(spread, alone)
    print(spread[["file", "status", "pKa1", "pKa2", "s_a"]].to_string(index=False))
    print("the same DataFrame with a LocalCluster of 2 workers as with jobs=1")


def example_folder(where):
    mdf = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "data.mdf")
    for name in ("a01.mdf", "a02.mdf", "a03.mdf"):
        shutil.copy(mdf, os.path.join(where, name))
    with open(mdf, "rb") as f, open(os.path.join(where, "a04.mdf"), "wb") as cut:
        cut.write(f.read()[:3000])  # ends in the middle of a row: refused
    return where


if __name__ == "__main__":
    if len(sys.argv) > 1:
        main(sys.argv[1])
    else:
        with tempfile.TemporaryDirectory() as tmp:
            main(example_folder(tmp))

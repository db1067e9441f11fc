import json
import os
import subprocess
from pathlib import Path

import pytest

SOURCE = Path(os.environ.get("FEROLAN_SOURCE", Path(__file__).resolve().parents[2]))
EXAMPLE = SOURCE / "examples" / "data.mdf"
CLI = os.environ.get("FEROLAN_CLI", str(SOURCE / "build" / "ferolan-cli"))

# Keys that name the file or time the run: the only ones allowed to differ from ferolan-cli.
UNTIMED = {"file", "sample", "elapsed_s", "provenance"}  # provenance: how the tool was invoked


def run_cli(*args, cwd=None):
    """ferolan-cli's JSON (and exit status) for these arguments."""
    p = subprocess.run([CLI, *map(str, args), "--json", "--quiet"], capture_output=True,
                       text=True, cwd=cwd)
    return json.loads(p.stdout), p.returncode


def comparable(d):
    """A result's JSON without the file name and timing fields."""
    d = {k: v for k, v in d.items() if k not in UNTIMED}
    d["display"] = {k: v for k, v in d["display"].items() if k != "elapsed"}
    return d


@pytest.fixture(scope="session")
def example():
    import ferolan
    return ferolan.read(EXAMPLE)

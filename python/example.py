"""make python: the bundled example through the module (read, automatic grid, evaluate)."""
import sys

import ferolan

path = sys.argv[1] if len(sys.argv) > 1 else "examples/data.mdf"
ds = ferolan.read(path)
print(ds)
result = ferolan.auto_grid(ds, constants=2)
print(result)
print("trials:", result.trials, " fits:", result.fits)
print("forms' spectra:", result.forms_spectra.shape, " residuals:", result.residuals.shape)
check = ferolan.evaluate(ds, pk=result.pKa)
print("evaluated at the result: s(A) = %.6e" % check.s_a)

"""K0 transfer map (xi_l = 5, so R = 30 up to half the grid)."""
import numpy as np

import kestrin
from cases.reference2d import k0_kernel_spectrum, k0_map

SIZES = [64, 128, 256]


def setup(n):
    p = kestrin.ActiveNematicParams.default_test()
    q = kestrin.QField2D.random_perturbation(n, n, 1.0, 0.3, 11)
    # The NumPy side keeps its kernel spectrum between calls, as a careful user would.
    return dict(n=n, p=p, q=q, qnp=q.to_numpy().reshape(n, n, 2), kernel_hat=k0_kernel_spectrum(n, n, p.xi_l, 1.0))


def run_kestrin(ctx):
    return kestrin.k0_convolution(ctx["q"], ctx["p"])


def run_numpy(ctx):
    return k0_map(ctx["qnp"], ctx["p"], 1.0, ctx["kernel_hat"])


def check(ctx):
    a = run_kestrin(ctx).to_numpy().reshape(ctx["n"], ctx["n"], 2)
    b = run_numpy(ctx)
    err = float(np.max(np.abs(a - b)) / np.max(np.abs(b)))
    return err < 1e-10, f"max rel diff {err:.1e}"

"""Dry 2D model: RK4 of gamma_r H, snapshots off."""
import numpy as np

import kestrin
from cases.reference2d import dry_rk4_step

SIZES = [64, 256, 1024]


def setup(n):
    p = kestrin.ActiveNematicParams.default_test()
    p.nx = n
    p.ny = n
    q0 = kestrin.QField2D.random_perturbation(n, n, 1.0, 0.1, 7)
    steps = max(2, int(4_000_000 / (n * n)))  # about the same work per call at every size
    return dict(n=n, p=p, q0=q0, q0np=q0.to_numpy().reshape(n, n, 2), steps=steps)


def run_kestrin(ctx):
    return kestrin.run_dry_active_nematic(ctx["q0"], ctx["p"], ctx["steps"], 0)[0]


def run_numpy(ctx):
    q = ctx["q0np"]
    for _ in range(ctx["steps"]):
        q = dry_rk4_step(q, ctx["p"], 1.0)
    return q


def check(ctx):
    a = run_kestrin(ctx).to_numpy().reshape(ctx["n"], ctx["n"], 2)
    b = run_numpy(ctx)
    err = float(np.max(np.abs(a - b)) / max(np.max(np.abs(b)), 1e-300))
    return err < 1e-12, f"{ctx['steps']} steps, max rel diff {err:.1e}"


def notes(ctx, tk, tn):
    per = tk / ctx["steps"] / (ctx["n"] ** 2) * 1e9
    return f"{per:.2f} ns/vertex/step, {tk / ctx['steps'] * 1e3:.3f} ms/step"

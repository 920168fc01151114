"""Hydrodynamic 2D model: spectral Stokes flow plus forward-Euler Beris-Edwards, snapshots off."""
import numpy as np

import kestrin
from cases.reference2d import hydro_euler_step

SIZES = [256, 512]


def setup(n):
    p = kestrin.ActiveNematicParams.default_test()
    q0 = kestrin.QField2D.random_perturbation(n, n, 1.0, 0.1, 5)
    steps = max(2, int(2_000_000 / (n * n)))
    return dict(n=n, p=p, q0=q0, q0np=q0.to_numpy().reshape(n, n, 2), steps=steps)


def run_kestrin(ctx):
    return kestrin.run_active_nematic_hydro(ctx["q0"], ctx["p"], ctx["steps"], 0)[0]


def run_numpy(ctx):
    q = ctx["q0np"]
    for _ in range(ctx["steps"]):
        q, _ = hydro_euler_step(q, ctx["p"], 1.0)
    return q


def check(ctx):
    a = run_kestrin(ctx).to_numpy().reshape(ctx["n"], ctx["n"], 2)
    b = run_numpy(ctx)
    err = float(np.max(np.abs(a - b)) / np.max(np.abs(b)))
    return err < 1e-10, f"{ctx['steps']} steps, max rel diff {err:.1e}"


def notes(ctx, tk, tn):
    return f"{tk / ctx['steps'] * 1e3:.2f} ms/step vs {tn / ctx['steps'] * 1e3:.2f} ms/step"

"""BECH 2D model: hydrodynamic step, K0 map and Cahn-Hilliard ETD1 per step, snapshots off."""
import numpy as np

import kestrin
from cases.reference2d import ch_etd, hydro_euler_step, k0_kernel_spectrum, k0_map

SIZES = [256, 512]


def setup(n):
    p = kestrin.ActiveNematicParams.default_test()
    q0 = kestrin.QField2D.random_perturbation(n, n, 1.0, 0.1, 5)
    phi = np.random.default_rng(2).normal(0.0, 0.05, n * n)
    phi0 = kestrin.ScalarField2D.from_numpy(phi, n, n, 1.0)
    steps = max(4, int(4_000_000 / (n * n)))
    return dict(n=n, p=p, q0=q0, phi0=phi0, q0np=q0.to_numpy().reshape(n, n, 2), phinp=phi.reshape(n, n),
                steps=steps, kernel_hat=k0_kernel_spectrum(n, n, p.xi_l, 1.0))


def run_kestrin(ctx):
    return kestrin.run_bech(ctx["q0"], ctx["phi0"], ctx["p"], ctx["steps"], 0)


def run_numpy(ctx):
    q, phi, p = ctx["q0np"], ctx["phinp"], ctx["p"]
    for _ in range(ctx["steps"]):
        q, u = hydro_euler_step(q, p, 1.0)
        phi = ch_etd(phi, k0_map(q, p, 1.0, ctx["kernel_hat"]), u, p, 1.0)
    return q, phi


def check(ctx):
    qa, pa, _ = run_kestrin(ctx)
    qb, pb = run_numpy(ctx)
    n = ctx["n"]
    eq = float(np.max(np.abs(qa.to_numpy().reshape(n, n, 2) - qb)) / np.max(np.abs(qb)))
    ep = float(np.max(np.abs(pa.to_numpy().reshape(n, n) - pb)) / np.max(np.abs(pb)))
    return max(eq, ep) < 1e-10, f"{ctx['steps']} steps, max rel diff q {eq:.1e}, phi {ep:.1e}"


def notes(ctx, tk, tn):
    return f"{tk / ctx['steps'] * 1e3:.2f} ms/step vs {tn / ctx['steps'] * 1e3:.2f} ms/step"

"""Holonomy defect scan of a 2D Q field, and its cost against one dry step."""
import time

import numpy as np

import kestrin

SIZES = [256]


def frames(q):
    """Per-vertex eigenframes of the lifted tensors [[q1, q2, 0], [q2, -q1, 0], [0, 0, 0]]."""
    n = q.shape[0]
    m = np.zeros((n, 3, 3))
    m[:, 0, 0], m[:, 0, 1], m[:, 1, 0], m[:, 1, 1] = q[:, 0], q[:, 1], q[:, 1], -q[:, 0]
    _, v = np.linalg.eigh(m)
    v[np.linalg.det(v) < 0, :, 2] *= -1.0
    return v


PATTERNS = np.array([[1, 1, 1], [-1, -1, 1], [-1, 1, -1], [1, -1, -1]], dtype=float)


def transition(a, b):
    """Gauge-fixed transition a^T b' with b' = b with two columns possibly negated to match a."""
    d = np.einsum("nkc,nkc->nc", a, b)
    scores = d @ PATTERNS.T
    best = np.argmax(scores, axis=1)  # first maximum: later patterns must score strictly more
    return np.einsum("nkc,nkd->ncd", a, b * PATTERNS[best][:, None, :])


def numpy_scan(q, nx, ny, threshold=np.pi / 2):
    f = frames(q).reshape(nx, ny, 3, 3)
    c00, c10 = f[:-1, :-1].reshape(-1, 3, 3), f[1:, :-1].reshape(-1, 3, 3)
    c11, c01 = f[1:, 1:].reshape(-1, 3, 3), f[:-1, 1:].reshape(-1, 3, 3)
    h = transition(c00, c10) @ transition(c10, c11) @ transition(c11, c01) @ transition(c01, c00)
    angle = np.arccos(np.clip((np.trace(h, axis1=1, axis2=2) - 1.0) / 2.0, -1.0, 1.0))
    hit = np.nonzero(angle > threshold)[0]
    return [(int(k // (ny - 1)), int(k % (ny - 1))) for k in hit], angle[hit]


def setup(n):
    p = kestrin.ActiveNematicParams.default_test()
    q0 = kestrin.QField2D.random_perturbation(n, n, 1.0, 0.5, 3)
    # A few hundred dry steps coarsen the noise into a field with many defects.
    q, _ = kestrin.run_dry_active_nematic(q0, p, 200, 0)
    return dict(n=n, p=p, q=q, qnp=q.to_numpy())


def run_kestrin(ctx):
    return kestrin.scan_defects(ctx["q"])


def run_numpy(ctx):
    return numpy_scan(ctx["qnp"], ctx["n"], ctx["n"])


def check(ctx):
    ours = run_kestrin(ctx)
    where, angles = run_numpy(ctx)
    same = [d.plaquette for d in ours] == where and np.allclose([d.angle for d in ours], angles, atol=1e-6)
    return same, f"{len(ours)} defects"


def notes(ctx, tk, tn):
    steps = 20
    t0 = time.perf_counter()
    kestrin.run_dry_active_nematic(ctx["q"], ctx["p"], steps, 0)
    step = (time.perf_counter() - t0) / steps
    return f"scan = {tk / step:.2f} dry steps ({step * 1e3:.3f} ms/step)"

import math
import subprocess
import sys

import numpy as np
import pytest

import kestrin
from conftest import make_params


def test_quick_start_runs_as_written():
    p = kestrin.ActiveNematicParams.default_test()
    q0 = kestrin.QField2D.random_perturbation(p.nx, p.ny, p.dx, 0.001, 42)
    q, stats = kestrin.run_dry_active_nematic(q0, p, 5000, 100)
    S = np.array(q.order_param()).reshape(p.nx, p.ny)
    assert isinstance(q, kestrin.QField2D) and S.shape == (64, 64)
    assert len(stats) == 51 and all(isinstance(s, kestrin.SnapStats) for s in stats)
    assert [s.time for s in stats] == [0.01 * 100 * k for k in range(51)]
    # The Landau minimum of default_test has S = 2 sqrt(1/6) ~ 0.816: the field orders.
    assert stats[0].mean_s < 0.01 and 0.5 < stats[-1].mean_s < 0.9
    for s in stats:
        assert s.n_plus + s.n_minus == s.n_defects
        assert s.defect_density == s.n_defects / (64.0 * 64.0)


@pytest.mark.parametrize("n_steps, snap_every, steps", [
    (10, 3, [0, 3, 6, 9]),
    (10, 5, [0, 5, 10]),
    (0, 4, [0]),
    (7, 0, []),
])
def test_snapshot_cadence(params, n_steps, snap_every, steps):
    q0 = kestrin.QField2D.random_perturbation(8, 8, 1.0, 0.1, 1)
    q, stats = kestrin.run_dry_active_nematic(q0, params, n_steps, snap_every)
    assert [s.time for s in stats] == [params.dt * i for i in steps]
    if n_steps == 0:
        assert np.array_equal(q.to_numpy(), q0.to_numpy()) and q is not q0


def test_uniform_field_at_the_landau_minimum_stays_put(params):
    nsq = -params.a_eff() / (2.0 * params.c_landau)  # 1/6 for default_test
    q0 = kestrin.QField2D.uniform(8, 8, 1.0, math.sqrt(nsq), 0.0)
    q, stats = kestrin.run_dry_active_nematic(q0, params, 50, 50)
    assert np.allclose(q.to_numpy(), q0.to_numpy(), rtol=0, atol=1e-14)
    assert stats[-1].mean_s == pytest.approx(2.0 * math.sqrt(nsq))
    assert stats[-1].n_defects == 0


def test_zero_field_stays_zero_without_noise(params):
    q, stats = kestrin.run_dry_active_nematic(kestrin.QField2D.zeros(16, 16, 1.0), params, 20, 10)
    assert not q.to_numpy().any()
    assert all(s.mean_s == 0.0 and s.n_defects == 0 for s in stats)


def test_dry_step_matches_rk4_of_the_molecular_field():
    p = make_params(dt=0.02, zeta_eff=1.0)
    rng = np.random.default_rng(4)
    x = rng.normal(0, 0.2, (5, 7, 2))
    q, _ = kestrin.run_dry_active_nematic(kestrin.QField2D.from_numpy(x.reshape(-1, 2), 5, 7, 0.5), p, 3, 0)

    def lap(f):
        return (np.roll(f, -1, 0) + np.roll(f, 1, 0) + np.roll(f, -1, 1) + np.roll(f, 1, 1) - 4 * f) / 0.25

    def F(f):
        nsq = (f**2).sum(-1, keepdims=True)
        return p.gamma_r * (p.k_r * lap(f) - 2 * p.a_eff() * f - 4 * p.c_landau * nsq * f)

    h = p.dt
    for _ in range(3):
        k1 = F(x); k2 = F(x + h / 2 * k1); k3 = F(x + h / 2 * k2); k4 = F(x + h * k3)
        x = x + h / 6 * (k1 + 2 * k2 + 2 * k3 + k4)
    assert np.allclose(q.to_numpy().reshape(5, 7, 2), x, rtol=1e-13, atol=1e-15)


NOISY_RUN = """
import kestrin, sys
p = kestrin.ActiveNematicParams.default_test(); p.noise_amp = 0.05
q0 = kestrin.QField2D.random_perturbation(16, 16, 1.0, 0.01, 9)
q, st = kestrin.run_dry_active_nematic(q0, p, 40, 20)
sys.stdout.write(q.to_numpy().tobytes().hex() + repr([(s.mean_s, s.n_defects) for s in st]))
"""


def test_noisy_runs_are_reproducible_within_and_across_processes():
    p = kestrin.ActiveNematicParams.default_test()
    p.noise_amp = 0.05
    q0 = kestrin.QField2D.random_perturbation(16, 16, 1.0, 0.01, 9)
    a, sa = kestrin.run_dry_active_nematic(q0, p, 40, 20)
    b, sb = kestrin.run_dry_active_nematic(q0, p, 40, 20)
    assert np.array_equal(a.to_numpy(), b.to_numpy())
    assert [(s.mean_s, s.n_defects) for s in sa] == [(s.mean_s, s.n_defects) for s in sb]
    out = subprocess.run([sys.executable, "-c", NOISY_RUN], capture_output=True, text=True, check=True).stdout
    assert out == a.to_numpy().tobytes().hex() + repr([(s.mean_s, s.n_defects) for s in sa])
    # Noise changes the answer, and the seed follows n_steps.
    p.noise_amp = 0.0
    c, _ = kestrin.run_dry_active_nematic(q0, p, 40, 20)
    assert not np.array_equal(a.to_numpy(), c.to_numpy())


def test_inputs_are_not_modified(params):
    q0 = kestrin.QField2D.random_perturbation(8, 8, 1.0, 0.1, 2)
    before = q0.to_numpy()
    kestrin.run_dry_active_nematic(q0, params, 5, 1)
    assert np.array_equal(q0.to_numpy(), before)


def test_snapstats_repr_and_read_only():
    _, stats = kestrin.run_dry_active_nematic(kestrin.QField2D.zeros(4, 4, 1.0),
                                              kestrin.ActiveNematicParams.default_test(), 50, 50)
    assert repr(stats[1]) == "SnapStats(t=0.500, <S>=0.0000, n_def=0, rho_d=0.0000e0)"
    with pytest.raises(AttributeError):
        stats[0].time = 1.0


def test_wrong_class_argument_is_a_type_error(params):
    phi = kestrin.ScalarField2D.zeros(8, 8, 1.0)
    with pytest.raises(TypeError, match="^argument 'q_init': .*QField2D"):
        kestrin.run_dry_active_nematic(phi, params, 1, 1)
    q0 = kestrin.QField2D.zeros(8, 8, 1.0)
    with pytest.raises(OverflowError, match="^argument 'n_steps': "):
        kestrin.run_dry_active_nematic(q0, params, n_steps=-1, snap_every=5)
    with pytest.raises(TypeError, match="^argument 'n_steps': "):
        kestrin.run_dry_active_nematic(q0, params, n_steps=1.5, snap_every=5)
    q, stats = kestrin.run_dry_active_nematic(q0, params, n_steps=10, snap_every=5)
    assert len(stats) == 3

import math

import numpy as np
import pytest

import kestrin
from conftest import make_params


def q_from(arr):
    nx, ny = arr.shape[:2]
    return kestrin.QField2D.from_numpy(arr.reshape(-1, 2), nx, ny, 1.0)


def random_q(nx, ny, seed, amp=0.3):
    return kestrin.QField2D.random_perturbation(nx, ny, 1.0, amp, seed)


# ---- Stokes -------------------------------------------------------------------------

def test_uniform_q_gives_no_flow(params):
    u = kestrin.stokes_solve(kestrin.QField2D.uniform(16, 16, 1.0, 0.3, 0.1), params)
    assert isinstance(u, kestrin.VelocityField2D) and not u.to_numpy().any()
    assert repr(u) == "VelocityField2D(nx=16, ny=16, dx=1.000)"


@pytest.mark.parametrize("nx, ny, dx", [(32, 16, 1.0), (15, 8, 0.5)])
def test_single_shear_mode_gives_the_analytic_flow(nx, ny, dx):
    p = make_params(zeta_eff=1.7, eta=2.5)
    A, k0 = 0.2, 2 * math.pi / (nx * dx)
    i = np.arange(nx)[:, None] * np.ones((1, ny))
    q = np.stack([np.zeros_like(i), A * np.cos(k0 * i * dx)], -1)
    u = kestrin.stokes_solve(kestrin.QField2D.from_numpy(q.reshape(-1, 2), nx, ny, dx), p).to_numpy()
    u = u.reshape(nx, ny, 2)
    assert np.allclose(u[..., 0], 0.0, atol=1e-14)
    assert np.allclose(u[..., 1], p.zeta_eff * A * np.sin(k0 * i * dx) / (p.eta * k0), rtol=0, atol=1e-13)


def test_stress_varying_only_along_x_in_q1_gives_no_flow(params):
    i = np.arange(16)[:, None] * np.ones((1, 8))
    q = np.stack([0.3 * np.cos(2 * math.pi * i / 16), np.zeros_like(i)], -1)
    assert np.allclose(kestrin.stokes_solve(q_from(q), params).to_numpy(), 0.0, atol=1e-15)


def test_zeta_field_replaces_zeta_eff():
    p = make_params(nx=12, ny=10, zeta_eff=1.3)
    q = random_q(12, 10, 3)
    plain = kestrin.stokes_solve(q, p).to_numpy()
    p.zeta_field = np.full(120, 1.3)
    assert np.array_equal(kestrin.stokes_solve(q, p).to_numpy(), plain)
    p.zeta_field = np.full(120, 2.6)
    assert np.allclose(kestrin.stokes_solve(q, p).to_numpy(), 2 * plain, rtol=1e-12, atol=1e-15)


def test_without_backflow_the_flow_ignores_the_elastic_constants():
    q = random_q(12, 12, 8)
    a = kestrin.stokes_solve(q, make_params())
    b = kestrin.stokes_solve(q, make_params(k_r=5.0, a_landau=3.0, c_landau=0.1, lambda_=-2.0))
    assert np.array_equal(a.to_numpy(), b.to_numpy())
    c = kestrin.stokes_solve(q, make_params(backflow=True))
    assert not np.allclose(a.to_numpy(), c.to_numpy())


def test_flow_is_divergence_free_with_zero_mean():
    u = kestrin.stokes_solve(random_q(16, 12, 1), make_params(backflow=True)).to_numpy().reshape(16, 12, 2)
    assert np.allclose(u.mean(axis=(0, 1)), 0.0, atol=1e-15)
    kx = np.fft.fftfreq(16)[:, None] * 2 * np.pi
    ky = np.fft.fftfreq(12)[None, :] * 2 * np.pi
    div = kx * np.fft.fft2(u[..., 0]) + ky * np.fft.fft2(u[..., 1])
    assert np.abs(div[:, np.arange(12) != 6][np.arange(16) != 8]).max() < 1e-12


# ---- K0 map -------------------------------------------------------------------------

@pytest.mark.parametrize("xi, weight", [(5.0, 0.9758), (1.0, 0.764)])
def test_k0_map_of_a_uniform_field(xi, weight):
    p = make_params(nx=64, ny=64, xi_l=xi)
    out = kestrin.k0_convolution(kestrin.QField2D.uniform(64, 64, 1.0, 0.5, 0.0), p).to_numpy()
    assert np.allclose(out[:, 1], 0.0, atol=1e-15)
    assert np.allclose(out[:, 0], out[0, 0], rtol=1e-12)
    assert out[0, 0] / 0.5 == pytest.approx(weight, abs=6e-4)
    assert not kestrin.k0_convolution(kestrin.QField2D.zeros(64, 64, 1.0), p).to_numpy().any()


def test_k0_offsets_are_asymmetric_and_cut_at_the_radius():
    # xi = 1, dx = 1: R = 6, offsets -6..5. A unit q1 at the origin shows up at
    # out(i, j) through the offset (di, dj) = (-i, -j) taken periodically.
    p = make_params(nx=64, ny=64, xi_l=1.0)
    q = np.zeros((64, 64, 2))
    q[0, 0, 0] = 1.0
    out = kestrin.k0_convolution(q_from(q), p).to_numpy().reshape(64, 64, 2)[..., 0]
    # The map may be evaluated spectrally: "zero" means zero up to rounding.
    zero = 1e-14 * out.max()
    assert abs(out[0, 0]) < zero                          # centre skipped
    assert out[6, 0] > zero and out[0, 6] > zero          # di = -6 is included
    assert abs(out[58, 0]) < zero and abs(out[0, 58]) < zero  # di = +6 is not
    assert abs(out[7, 0]) < zero and abs(out[57, 0]) < zero   # beyond the radius
    assert np.count_nonzero(np.abs(out) > zero) == 12 * 12 - 1


def test_k0_radius_is_capped_by_half_the_grid():
    # 8x8 with xi = 5: R = min(30, 4, 4) = 4 and offsets -4..3 cover every residue.
    p = make_params(nx=8, ny=8, xi_l=5.0)
    q = np.zeros((8, 8, 2))
    q[0, 0, 1] = 1.0
    out = kestrin.k0_convolution(q_from(q), p).to_numpy().reshape(8, 8, 2)[..., 1]
    assert np.count_nonzero(np.abs(out) > 1e-14 * out.max()) == 63


# ---- Cahn-Hilliard ETD1 ---------------------------------------------------------------

def test_single_fourier_mode_decays_at_the_linear_rate():
    nx, ny, m = 32, 16, 3
    p = make_params(nx=nx, ny=ny, b_ch=1e-300, kappa_ch=0.7, a_ch=0.4, m_l=0.3, dt=0.05)
    i = np.arange(nx)[:, None] * np.ones((1, ny))
    phi0 = 0.1 * np.cos(2 * math.pi * m * i / nx)
    phi = kestrin.ScalarField2D.from_numpy(phi0.ravel(), nx, ny, 1.0)
    zero_q = kestrin.QField2D.zeros(nx, ny, 1.0)
    zero_u = kestrin.stokes_solve(zero_q, p)
    k = 2 * math.pi * m / nx
    rate = math.exp(-p.m_l * (p.kappa_ch * k**4 + p.a_ch * k**2) * p.dt)
    for n in range(1, 4):
        phi = kestrin.ch_step_etd(phi, zero_q, zero_u, p)
        assert np.allclose(phi.to_numpy(), rate**n * phi0.ravel(), rtol=0, atol=1e-14)


def test_ch_step_conserves_the_mean_and_keeps_uniform_fields():
    p = make_params(nx=16, ny=16, chi_ms=0.8)
    q = random_q(16, 16, 5)
    u = kestrin.stokes_solve(q, p)
    rng = np.random.default_rng(3)
    phi = kestrin.ScalarField2D.from_numpy(rng.normal(0.2, 0.1, 256), 16, 16, 1.0)
    new = kestrin.ch_step_etd(phi, q, u, p)
    assert new.mean_value() == pytest.approx(phi.mean_value(), abs=1e-15)
    assert not np.array_equal(new.to_numpy(), phi.to_numpy())
    flat = kestrin.ScalarField2D.uniform(16, 16, 1.0, 0.3)
    still = kestrin.ch_step_etd(flat, kestrin.QField2D.zeros(16, 16, 1.0), kestrin.stokes_solve(
        kestrin.QField2D.zeros(16, 16, 1.0), p), p)
    assert np.allclose(still.to_numpy(), 0.3, rtol=0, atol=1e-15)


@pytest.mark.parametrize("which", ["q_lip", "v"])
def test_ch_step_refuses_fields_on_another_grid(which, params):
    phi = kestrin.ScalarField2D.zeros(8, 8, 1.0)
    q = kestrin.QField2D.zeros(8, 6 if which == "q_lip" else 8, 1.0)
    v = kestrin.stokes_solve(kestrin.QField2D.zeros(8, 6 if which == "v" else 8, 1.0), params)
    with pytest.raises(ValueError, match=f"^{which} grid 8x6 does not match phi grid 8x8$"):
        kestrin.ch_step_etd(phi, q, v, params)


# ---- runs -----------------------------------------------------------------------------

def test_hydro_without_activity_is_forward_euler_of_the_molecular_field():
    p = make_params(zeta_eff=0.0, a_landau=-0.5, dt=0.01)
    q0 = kestrin.QField2D.uniform(8, 8, 1.0, 0.1, 0.05)
    q, stats = kestrin.run_active_nematic_hydro(q0, p, 20, 10)
    x = np.array([0.1, 0.05])
    for _ in range(20):
        x = x + p.dt * p.gamma_r * (-2 * p.a_eff() * x - 4 * p.c_landau * (x @ x) * x)
    assert np.allclose(q.to_numpy(), x, rtol=1e-13)
    assert len(stats) == 3 and isinstance(stats[0], kestrin.SnapStats)
    dry, _ = kestrin.run_dry_active_nematic(q0, p, 20, 10)
    assert not np.array_equal(dry.to_numpy(), q.to_numpy())


def test_hydro_run_is_active_and_reproducible():
    p = kestrin.ActiveNematicParams.default_test()
    p.noise_amp = 0.02
    q0 = kestrin.QField2D.random_perturbation(32, 32, 1.0, 0.05, 4)
    a, sa = kestrin.run_active_nematic_hydro(q0, p, 200, 100)
    b, sb = kestrin.run_active_nematic_hydro(q0, p, 200, 100)
    assert np.array_equal(a.to_numpy(), b.to_numpy())
    assert [repr(s) for s in sa] == [repr(s) for s in sb]
    assert np.abs(kestrin.stokes_solve(a, p).to_numpy()).max() > 1e-3


def test_bech_run_conserves_phi_and_reports_every_snapshot():
    p = kestrin.ActiveNematicParams.default_test()
    q0 = kestrin.QField2D.random_perturbation(32, 32, 1.0, 0.1, 6)
    rng = np.random.default_rng(8)
    phi0 = kestrin.ScalarField2D.from_numpy(rng.normal(0.1, 0.05, 1024), 32, 32, 1.0)
    q, phi, stats = kestrin.run_bech(q0, phi0, p, 60, 20)
    assert isinstance(phi, kestrin.ScalarField2D) and len(stats) == 4
    for s in stats:
        assert isinstance(s, kestrin.BechStats)
        assert s.mean_phi == pytest.approx(phi0.mean_value(), abs=1e-14)
        assert s.n_plus + s.n_minus == s.n_defects and s.defect_density == s.n_defects / 4096.0
    assert stats[0].phi_variance == pytest.approx(phi0.variance())
    assert stats[0].mean_grad_phi_sq == pytest.approx(phi0.mean_gradient_sq())
    assert phi.variance() != phi0.variance()


def test_bech_with_no_steps_returns_copies_and_one_record(params):
    q0 = kestrin.QField2D.zeros(8, 8, 1.0)
    phi0 = kestrin.ScalarField2D.uniform(8, 8, 1.0, 0.1)
    q, phi, stats = kestrin.run_bech(q0, phi0, params, 0, 5)
    assert q is not q0 and phi is not phi0
    assert np.array_equal(phi.to_numpy(), phi0.to_numpy()) and len(stats) == 1
    assert stats[0].mean_phi == pytest.approx(0.1)
    assert repr(stats[0]) == "BechStats(t=0.000, <S>=0.0000, n_def=0, <φ>=0.1000, Var[φ]=0.0000e0)"


@pytest.mark.parametrize("n_steps", [0, 3])
def test_bech_refuses_phi_on_another_grid_before_any_work(params, n_steps):
    with pytest.raises(ValueError, match="^phi_init grid 8x4 does not match q_init grid 8x8$"):
        kestrin.run_bech(kestrin.QField2D.zeros(8, 8, 1.0), kestrin.ScalarField2D.zeros(8, 4, 1.0), params,
                         n_steps, 1)


@pytest.mark.parametrize("call", [
    lambda q, p: kestrin.stokes_solve(q, p),
    lambda q, p: kestrin.run_active_nematic_hydro(q, p, 2, 1),
    lambda q, p: kestrin.run_bech(q, kestrin.ScalarField2D.zeros(8, 8, 1.0), p, 2, 1),
])
def test_zeta_field_sized_for_another_grid_is_refused(params, call):
    params.zeta_field = np.ones(64 * 64)
    with pytest.raises(ValueError, match="^zeta_field length 4096 does not match the 8x8 grid of the Q field$"):
        call(kestrin.QField2D.zeros(8, 8, 1.0), params)

import math

import numpy as np
import pytest

import kestrin


def test_uniform_q_observables():
    q = kestrin.QField2D.uniform(4, 4, 1.0, 0.3, 0.4)
    assert q.mean_order_param() == 1.0
    assert q.max_norm() == 0.5
    assert np.all(q.order_param() == 1.0)
    assert len(q) == 16
    assert repr(q) == "QField2D(nx=4, ny=4, dx=1.000, <S>=1.0000)"


def test_director_angle():
    arr = np.array([[0.0, 1.0], [-1.0, 0.0]])
    q = kestrin.QField2D.from_numpy(arr, 1, 2, 1.0)
    assert np.allclose(q.director_angle(), [math.pi / 4, math.pi / 2])


def test_random_perturbation_is_seeded_and_bounded():
    a = kestrin.QField2D.random_perturbation(8, 8, 1.0, 0.001, 42).to_numpy()
    b = kestrin.QField2D.random_perturbation(8, 8, 1.0, 0.001, 42).to_numpy()
    c = kestrin.QField2D.random_perturbation(4, 16, 1.0, 0.001, 42).to_numpy()
    assert np.array_equal(a, b) and np.array_equal(a, c)
    assert np.all(np.abs(a) <= 0.001) and (a > 0).any() and (a < 0).any()
    assert not np.array_equal(a, kestrin.QField2D.random_perturbation(8, 8, 1.0, 0.001, 43).to_numpy())


def lcg_reference(n, amplitude, seed):
    mask = (1 << 64) - 1
    state = (seed + 1) & mask
    out = []
    for _ in range(2 * n):
        state = (state * 0x5851F42D4C957F2D + 0x14057B7EF767814F) & mask
        out.append(amplitude * (2.0 * ((state >> 32) / 4294967295.0) - 1.0))
    return np.array(out).reshape(n, 2)


@pytest.mark.parametrize("seed", [0, 42, 2**64 - 1])
def test_random_perturbation_matches_the_lcg(seed):
    got = kestrin.QField2D.random_perturbation(3, 5, 1.0, 0.25, seed).to_numpy()
    assert np.array_equal(got, lcg_reference(15, 0.25, seed))


def test_numpy_round_trip_with_any_strides_and_no_aliasing():
    base = np.arange(48, dtype=float).reshape(12, 4)
    view = base[::2, 1::2]  # (6, 2), non-contiguous
    q = kestrin.QField2D.from_numpy(view, 2, 3, 0.5)
    out = q.to_numpy()
    assert np.array_equal(out, view)
    assert out.flags.c_contiguous and out.flags.writeable and out.flags.owndata
    out[:] = -1.0
    base[:] = -2.0
    assert np.array_equal(q.to_numpy(), np.arange(48, dtype=float).reshape(12, 4)[::2, 1::2])
    f = kestrin.QField2D.from_numpy(np.asfortranarray(np.ones((6, 2))), 3, 2, 1.0)
    assert np.all(f.to_numpy() == 1.0)
    s = kestrin.ScalarField2D.from_numpy(np.arange(12.0)[::-2], 2, 3, 1.0)
    assert np.array_equal(s.to_numpy(), np.arange(12.0)[::-2])


@pytest.mark.parametrize("call, message", [
    (lambda: kestrin.QField2D.from_numpy(np.zeros((64, 3)), 8, 8, 1.0), r"^expected shape \(64, 2\), got \(64, 3\)$"),
    (lambda: kestrin.QField2D.from_numpy(np.zeros((63, 2)), 8, 8, 1.0), r"^expected shape \(64, 2\), got \(63, 2\)$"),
    (lambda: kestrin.ScalarField2D.from_numpy(np.zeros(10), 3, 3, 1.0), r"^expected length 9, got 10$"),
])
def test_from_numpy_shape_errors(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_scalar_field_statistics():
    phi = kestrin.ScalarField2D.from_numpy(np.array([1.0, 2.0, 3.0, 4.0, math.nan, -1.0]), 2, 3, 1.0)
    assert phi.max_value() == 4.0 and phi.min_value() == -1.0
    assert phi.variance() == 0.0  # NaN reads as 0
    u = kestrin.ScalarField2D.uniform(3, 3, 1.0, 2.0)
    assert u.variance() == 0.0 and u.mean_gradient_sq() == 0.0 and u.mean_value() == 2.0
    assert repr(u) == "ScalarField2D(nx=3, ny=3, dx=1.000, <φ>=2.0000, Var[φ]=0.0000e0)"
    assert len(u) == 9


def test_variance_of_a_large_uniform_field_is_exactly_zero():
    # A one-pass E[x^2] - E[x]^2 reports thousands here.
    assert kestrin.ScalarField2D.uniform(64, 64, 1.0, 1e10 / 3).variance() == 0.0
    x = np.random.default_rng(0).normal(1e8, 1.0, 4096)
    f = kestrin.ScalarField2D.from_numpy(x, 64, 64, 1.0)
    assert f.variance() == pytest.approx(np.var(x), rel=1e-9)


def test_mean_gradient_sq_matches_central_differences():
    x = np.random.default_rng(1).normal(size=(5, 7))
    f = kestrin.ScalarField2D.from_numpy(x.ravel(), 5, 7, 0.5)
    gx = (np.roll(x, -1, 0) - np.roll(x, 1, 0)) / 1.0
    gy = (np.roll(x, -1, 1) - np.roll(x, 1, 1)) / 1.0
    assert f.mean_gradient_sq() == pytest.approx(np.mean(gx**2 + gy**2), rel=1e-12)


def test_empty_fields():
    s = kestrin.ScalarField2D.zeros(0, 4, 1.0)
    assert len(s) == 0 and s.max_value() == -math.inf and s.min_value() == math.inf
    q = kestrin.QField2D.zeros(0, 4, 1.0)
    assert q.max_norm() == 0.0 and q.to_numpy().shape == (0, 2)


def test_huge_grid_is_refused_without_crashing():
    with pytest.raises(MemoryError):
        kestrin.QField2D.zeros(2**40, 2**40, 1.0)
    with pytest.raises(MemoryError):
        kestrin.ScalarField2D.uniform(2**33, 2**33, 1.0, 0.0)


def test_to_numpy_shapes_and_velocity_repr():
    q = kestrin.QField2D.zeros(3, 4, 0.25)
    assert q.to_numpy().shape == (12, 2) and q.order_param().shape == (12,)
    assert (q.nx, q.ny, q.dx) == (3, 4, 0.25)

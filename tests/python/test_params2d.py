import math

import numpy as np
import pytest

import kestrin
from conftest import make_params


def test_default_test_values(params):
    assert params.validate() is None
    assert (params.nx, params.ny, params.dx, params.dt) == (64, 64, 1.0, 0.01)
    assert params.a_eff() == -1.5 and params.pi_number() == 2.0
    assert params.phi_eq() == 1.0 and params.ch_coherence_length() == 1.0
    assert params.zeta_field is None
    assert repr(params) == "ActiveNematicParams(nx=64, ny=64, zeta_eff=2.0000, a_eff=-1.5000, Pi=2.0000)"


@pytest.mark.parametrize("overrides, message", [
    (dict(nx=1), "nx must be >= 2"),
    (dict(ny=0), "ny must be >= 2"),
    (dict(dx=0.0), "dx must be positive"),
    (dict(dt=0.0, eta=0.0), "dt must be positive"),  # rules are checked in order
    (dict(k_r=-1.0), "k_r must be positive"),
    (dict(gamma_r=0.0), "gamma_r must be positive"),
    (dict(zeta_eff=math.inf), "zeta_eff must be finite"),
    (dict(zeta_eff=math.nan), "zeta_eff must be finite"),
    (dict(eta=0.0), "eta must be positive"),
    (dict(c_landau=0.0), "c_landau must be positive"),
    (dict(xi_l=0.0), "xi_l must be positive"),
    (dict(noise_amp=-1e-9), "noise_amp must be non-negative"),
    (dict(chi_ms=-1.0), "chi_ms must be non-negative"),
    (dict(kappa_ch=0.0), "kappa_ch must be positive"),
    (dict(a_ch=0.0), "a_ch must be positive"),
    (dict(b_ch=0.0), "b_ch must be positive"),
    (dict(m_l=0.0), "m_l must be positive"),
])
def test_validation_rules(overrides, message):
    with pytest.raises(ValueError) as info:
        make_params(**overrides)
    assert str(info.value) == "invalid parameter: " + message


def test_nan_passes_the_positivity_rules_and_unchecked_fields_are_free():
    p = make_params(dx=math.nan, noise_amp=math.nan, a_landau=-100.0, k_l=0.0, gamma_l=-1.0)
    assert p.validate() is None
    assert math.isnan(p.dx)
    assert p.pi_number() == -math.inf or math.isinf(p.pi_number())


def test_derived_quantities():
    p = make_params(zeta_eff=-2.0, k_r=1.0, a_landau=0.25, a_ch=4.0, b_ch=1.0, kappa_ch=9.0)
    assert p.defect_length() == math.sqrt(0.5)
    assert p.a_eff() == 1.25
    assert p.phi_eq() == 2.0 and p.ch_coherence_length() == 1.5


def test_setters_store_without_validation(params):
    params.dt = -1.0
    params.nx = 1
    assert params.dt == -1.0 and params.nx == 1
    with pytest.raises(ValueError, match="^invalid parameter: nx must be >= 2$"):
        params.validate()
    with pytest.raises(TypeError, match="^argument 'dt': "):
        params.dt = "x"


def test_zeta_field_setter(params):
    n = params.nx * params.ny
    z = np.linspace(0.0, 1.0, n)
    params.zeta_field = z
    got = params.zeta_field
    assert np.array_equal(got, z) and got is not params.zeta_field
    z[:] = 7.0  # the record holds a copy
    assert params.zeta_field[0] == 0.0

    with pytest.raises(ValueError, match="^zeta_field must be contiguous$"):
        params.zeta_field = np.zeros(2 * n)[::2]
    with pytest.raises(ValueError, match=f"^zeta_field length 5 must equal nx\\*ny = {n}$"):
        params.zeta_field = np.zeros(5)
    assert params.zeta_field[-1] == 1.0  # unchanged after both refusals
    with pytest.raises(TypeError, match="^argument 'arr': "):
        params.zeta_field = None
    with pytest.raises(TypeError, match="^argument 'arr': "):
        params.zeta_field = np.zeros((64, 64))

    params.zeta_field = np.zeros(0)
    assert params.zeta_field is None


def test_zeta_field_setter_reports_an_invalid_record_and_keeps_the_field(params):
    params.dt = 0.0
    with pytest.raises(ValueError) as info:
        params.zeta_field = np.ones(64 * 64)
    assert str(info.value) == 'invalid params after set_zeta_field: InvalidParams("dt must be positive")'
    assert params.zeta_field is not None


def test_shrinking_the_grid_invalidates_a_stored_zeta_field(params):
    params.zeta_field = np.ones(64 * 64)
    params.nx = 32
    with pytest.raises(ValueError, match=r"^invalid parameter: zeta_field length 4096 must equal nx\*ny = 2048$"):
        params.validate()


def test_fortran_ordered_zeta_field_is_accepted(params):
    z = np.asfortranarray(np.arange(64 * 64, dtype=float))
    params.zeta_field = z
    assert np.array_equal(params.zeta_field, z)

import pytest

import kestrin


@pytest.fixture
def params():
    return kestrin.ActiveNematicParams.default_test()


def make_params(**overrides):
    """A valid record built through the constructor, with some fields replaced."""
    base = dict(nx=8, ny=8, dx=1.0, dt=0.01, k_r=1.0, gamma_r=1.0, zeta_eff=2.0, eta=1.0,
                a_landau=-0.5, c_landau=4.5, lambda_=0.7, k_l=0.5, gamma_l=1.0, xi_l=5.0)
    base.update(overrides)
    return kestrin.ActiveNematicParams(**base)

import math

import numpy as np
import pytest

import kestrin


def core_field(nx, ny, ci, cj, charge):
    """Director winding by `charge` (+-1/2) round the centre of plaquette (ci, cj)."""
    i, j = np.meshgrid(np.arange(nx), np.arange(ny), indexing="ij")
    phi = np.arctan2(j - (cj + 0.5), i - (ci + 0.5))
    theta = charge * phi
    q = np.stack([np.cos(2 * theta), np.sin(2 * theta)], axis=-1) * 0.4
    return kestrin.QField2D.from_numpy(q.reshape(-1, 2), nx, ny, 1.0)


@pytest.mark.parametrize("charge, sign", [(0.5, 1), (-0.5, -1)])
def test_half_integer_core_is_found_with_its_sign(charge, sign):
    found = kestrin.scan_defects(core_field(12, 10, 5, 4, charge))
    assert len(found) == 1
    d = found[0]
    assert d.plaquette == (5, 4)
    assert d.angle == pytest.approx(math.pi, abs=1e-9)
    assert d.charge_sign == sign


def test_uniform_field_has_no_defects_at_any_non_negative_threshold():
    q = kestrin.QField2D.uniform(8, 8, 1.0, 0.3, -0.2)
    for threshold in [0.0, 1e-6, 1.0, math.pi / 2]:
        assert kestrin.scan_defects(q, threshold) == []


def test_thresholds_beyond_the_range_of_angles():
    q = core_field(6, 7, 2, 3, 0.5)
    assert kestrin.scan_defects(q, threshold=4.0) == []
    everything = kestrin.scan_defects(q, -1.0)
    assert len(everything) == 5 * 6
    assert [d.plaquette for d in everything] == [(i, j) for i in range(5) for j in range(6)]


def test_cores_in_the_wrapped_plaquettes_are_not_scanned():
    assert kestrin.scan_defects(core_field(8, 8, 7, 3, 0.5)) == []
    assert kestrin.scan_defects(core_field(8, 8, 3, 7, 0.5)) == []


def test_pair_of_opposite_defects_and_default_threshold():
    q = core_field(16, 16, 4, 7, 0.5).to_numpy().reshape(16, 16, 2)
    # Superpose a -1/2 core by adding the angles of the two windings.
    i, j = np.meshgrid(np.arange(16), np.arange(16), indexing="ij")
    theta = 0.5 * np.arctan2(j - 7.5, i - 4.5) - 0.5 * np.arctan2(j - 7.5, i - 11.5)
    q = np.stack([np.cos(2 * theta), np.sin(2 * theta)], -1).reshape(-1, 2)
    found = kestrin.scan_defects(kestrin.QField2D.from_numpy(q, 16, 16, 1.0))
    assert [(d.plaquette, d.charge_sign) for d in found] == [((4, 7), 1), ((11, 7), -1)]


def test_defect_info_repr_and_attributes():
    d = kestrin.scan_defects(core_field(8, 8, 3, 5, 0.5))[0]
    assert repr(d) == "DefectInfo(plaquette=(3,5), angle=3.142, charge=1)"
    assert isinstance(d.plaquette, tuple) and isinstance(d.charge_sign, int)
    with pytest.raises(AttributeError):
        d.angle = 0.0

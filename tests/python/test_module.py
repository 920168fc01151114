"""Module-level behaviour: registration, docstrings, signatures and the calling conventions."""
import inspect

import numpy as np
import pytest

import kestrin

CLASSES_2D = ["ActiveNematicParams", "QField2D", "ScalarField2D", "VelocityField2D",
              "SnapStats", "BechStats", "DefectInfo"]
FUNCTIONS_2D = ["run_dry_active_nematic", "run_active_nematic_hydro", "run_bech", "stokes_solve",
                "k0_convolution", "scan_defects", "ch_step_etd"]


def public_names():
    return [n for n in vars(kestrin) if not n.startswith("__")]


def test_registration_order_of_the_2d_group():
    names = public_names()
    expected = [n for n in CLASSES_2D + FUNCTIONS_2D if n in names]
    assert names[: len(expected)] == expected
    for cls in CLASSES_2D:
        if cls in names:
            t = getattr(kestrin, cls)
            assert t.__name__ == cls and t.__qualname__ == cls and t.__module__ == "kestrin"


def test_module_docstring_has_build_and_quick_start():
    doc = kestrin.__doc__
    assert doc.startswith("kestrin -- active nematics simulation library\n(")
    assert "Build\n-----\n" in doc
    quick = doc.split("Quick start\n-----------\n", 1)[1].splitlines()
    assert [line.strip() for line in quick[:5]] == [
        "import kestrin, numpy as np",
        "p  = kestrin.ActiveNematicParams.default_test()",
        "q0 = kestrin.QField2D.random_perturbation(p.nx, p.ny, p.dx, 0.001, 42)",
        "q, stats = kestrin.run_dry_active_nematic(q0, p, 5000, 100)",
        "S = np.array(q.order_param()).reshape(p.nx, p.ny)",
    ]
    assert all(line.startswith("    ") for line in quick[:5])


def all_callables():
    for name in public_names():
        obj = getattr(kestrin, name)
        if isinstance(obj, type):
            for attr, member in vars(obj).items():
                if not attr.startswith("__") and callable(getattr(obj, attr)):
                    yield f"{name}.{attr}", getattr(obj, attr), member
        else:
            yield name, obj, obj


def test_every_callable_publishes_a_parseable_signature():
    seen = 0
    for qualname, obj, raw in all_callables():
        sig = inspect.signature(obj)  # raises when the text signature is missing or malformed
        assert obj.__doc__ and not obj.__doc__.startswith("--"), qualname
        if not isinstance(raw, staticmethod) and type(raw).__name__ == "method_descriptor":
            assert obj.__text_signature__.startswith("($self"), qualname
        seen += 1
    assert seen > 20
    assert "backflow=False" in str(inspect.signature(kestrin.ActiveNematicParams))


def q8():
    return kestrin.QField2D.zeros(8, 8, 1.0)


# (callable, positional args, keyword that is wrong, expected exception, message start)
CONVENTION_CASES = [
    (kestrin.QField2D.zeros, dict(nx=-1, ny=2, dx=1.0), OverflowError, "argument 'nx': "),
    (kestrin.QField2D.zeros, dict(nx=2**64, ny=2, dx=1.0), OverflowError, "argument 'nx': "),
    (kestrin.QField2D.zeros, dict(nx=1.5, ny=2, dx=1.0), TypeError, "argument 'nx': "),
    (kestrin.QField2D.zeros, dict(nx=2, ny=2, dx="a"), TypeError, "argument 'dx': "),
    (kestrin.QField2D.random_perturbation, dict(nx=2, ny=2, dx=1.0, amplitude=1.0, seed=-1), OverflowError,
     "argument 'seed': "),
    (kestrin.ScalarField2D.uniform, dict(nx=2, ny=2, dx=1.0, val=None), TypeError, "argument 'val': "),
    (kestrin.QField2D.from_numpy, dict(arr=np.zeros(8), nx=2, ny=2, dx=1.0), TypeError, "argument 'arr': "),
    (kestrin.QField2D.from_numpy, dict(arr=np.zeros((4, 2), np.float32), nx=2, ny=2, dx=1.0), TypeError,
     "argument 'arr': "),
    (kestrin.QField2D.from_numpy, dict(arr=[[0.0, 0.0]] * 4, nx=2, ny=2, dx=1.0), TypeError, "argument 'arr': "),
    (kestrin.ScalarField2D.from_numpy, dict(arr=np.zeros(4, np.int64), nx=2, ny=2, dx=1.0), TypeError,
     "argument 'arr': "),
]


@pytest.mark.parametrize("fn, kwargs, exc, prefix", CONVENTION_CASES)
def test_argument_conversion_errors(fn, kwargs, exc, prefix):
    with pytest.raises(exc) as info:
        fn(**kwargs)
    assert str(info.value).startswith(prefix)


def test_backflow_must_be_a_real_bool():
    from conftest import make_params
    assert make_params(backflow=True) is not None
    with pytest.raises(TypeError, match="^argument 'backflow': "):
        make_params(backflow=1)


def test_floats_accept_integers_and_objects_with_float():
    class F:
        def __float__(self):
            return 0.5
    f = kestrin.ScalarField2D.uniform(2, 2, 1, F())
    assert f.dx == 1.0 and f.mean_value() == 0.5
    assert kestrin.QField2D.zeros(np.int64(3), 2, 1.0).nx == 3


@pytest.mark.parametrize("call, message", [
    (lambda: kestrin.QField2D.zeros(2, 2), "missing required argument 'dx'"),
    (lambda: kestrin.QField2D.zeros(2, 2, 1.0, 4), "takes at most 3 arguments"),
    (lambda: kestrin.QField2D.zeros(2, 2, dx=1.0, nz=1), "unexpected keyword argument 'nz'"),
    (lambda: kestrin.QField2D.zeros(2, 2, 1.0, ny=2), "multiple values for argument 'ny'"),
    (lambda: q8().to_numpy(1), "takes no arguments"),
    (lambda: kestrin.ActiveNematicParams.default_test().a_eff(x=1), "unexpected keyword argument 'x'"),
])
def test_calling_convention_errors(call, message):
    with pytest.raises(TypeError, match=message):
        call()


def test_keywords_in_any_order():
    a = kestrin.QField2D.random_perturbation(seed=7, dx=0.5, amplitude=0.1, ny=3, nx=4)
    b = kestrin.QField2D.random_perturbation(4, 3, 0.5, 0.1, 7)
    assert np.array_equal(a.to_numpy(), b.to_numpy())


def test_no_constructor_for_record_only_classes():
    for name in ["QField2D", "ScalarField2D", "VelocityField2D", "SnapStats", "BechStats", "DefectInfo"]:
        if hasattr(kestrin, name):
            with pytest.raises(TypeError):
                getattr(kestrin, name)()


def test_attributes_cannot_be_deleted_or_written_when_read_only(params):
    with pytest.raises(AttributeError):
        del params.nx
    with pytest.raises(AttributeError):
        params.dx = 2.0
    with pytest.raises(AttributeError):
        q8().nx = 3
    with pytest.raises(AttributeError):
        del params.zeta_field


def test_classes_are_immutable_types():
    with pytest.raises(TypeError):
        kestrin.QField2D.zeros = None

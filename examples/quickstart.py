"""Quick start: build the preset parameters and a seeded random Q field."""
import kestrin

p = kestrin.ActiveNematicParams.default_test()
q0 = kestrin.QField2D.random_perturbation(p.nx, p.ny, p.dx, 0.001, 42)
print(p)
print(q0)
print("mean order parameter:", q0.mean_order_param())

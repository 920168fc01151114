"""BECH: the hydrodynamic active nematic coupled to a lipid volume fraction phi.

Saves phi beside the order parameter S.
"""
import pathlib

import numpy as np

import kestrin

OUT = pathlib.Path(__file__).resolve().parent / "out"


def main():
    p = kestrin.ActiveNematicParams.default_test()
    q0 = kestrin.QField2D.random_perturbation(p.nx, p.ny, p.dx, 0.05, 2)
    rng = np.random.default_rng(0)
    phi0 = kestrin.ScalarField2D.from_numpy(rng.normal(0.0, 0.05, p.nx * p.ny), p.nx, p.ny, p.dx)
    q, phi, stats = kestrin.run_bech(q0, phi0, p, 2000, 250)
    for s in stats:
        print(s)

    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    OUT.mkdir(exist_ok=True)
    fig, (a1, a2) = plt.subplots(1, 2, figsize=(10, 4.5), constrained_layout=True)
    im1 = a1.imshow(phi.to_numpy().reshape(p.nx, p.ny).T, origin="lower", cmap="coolwarm")
    fig.colorbar(im1, ax=a1, label="phi")
    a1.set_title("lipid fraction phi")
    im2 = a2.imshow(q.order_param().reshape(p.nx, p.ny).T, origin="lower", cmap="viridis")
    fig.colorbar(im2, ax=a2, label="S")
    a2.set_title(f"order parameter S, t = {stats[-1].time:g}")
    path = OUT / "bech.png"
    fig.savefig(path, dpi=120, bbox_inches="tight")
    print(f"picture saved to {path}")


if __name__ == "__main__":
    main()

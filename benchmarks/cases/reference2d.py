"""Vectorised NumPy implementations of the 2D model equations, written from the
equations (periodic five-point Laplacian, Landau-de Gennes molecular field,
classical RK4), used as the baseline every 2D benchmark checks and times."""
import numpy as np


def lap(f, dx):
    """Periodic five-point Laplacian along the first two axes."""
    return (np.roll(f, -1, 0) + np.roll(f, 1, 0) + np.roll(f, -1, 1) + np.roll(f, 1, 1) - 4.0 * f) / (dx * dx)


def molecular_field(q, p, dx):
    """H = k_r lap q - 2 a_eff q - 4 c |q|^2 q, q of shape (nx, ny, 2)."""
    a_eff = p.zeta_eff * -0.5 + p.a_landau
    nsq = (q[..., 0] * q[..., 0] + q[..., 1] * q[..., 1])[..., None]
    return p.k_r * lap(q, dx) - 2.0 * a_eff * q - 4.0 * p.c_landau * nsq * q


def dry_rk4_step(q, p, dx):
    h = p.dt
    f = lambda x: p.gamma_r * molecular_field(x, p, dx)  # noqa: E731
    k1 = f(q)
    k2 = f(q + (h / 2) * k1)
    k3 = f(q + (h / 2) * k2)
    k4 = f(q + h * k3)
    return q + (h / 6) * (((k1 + 2 * k2) + 2 * k3) + k4)


# ---- flow ---------------------------------------------------------------------

def wavenumbers(n, dx):
    """Signed frequency m for m <= n//2 (Nyquist positive), m - n above; k = 2 pi f / (n dx)."""
    m = np.arange(n)
    return 2.0 * np.pi * np.where(m <= n // 2, m, m - n) / (n * dx)


def ddx(f, dx):
    return (np.roll(f, -1, 0) - np.roll(f, 1, 0)) / (2.0 * dx)


def ddy(f, dx):
    return (np.roll(f, -1, 1) - np.roll(f, 1, 1)) / (2.0 * dx)


def stokes(q, p, dx, zeta=None):
    """Velocity (nx, ny, 2) of the active Stokes flow through the stream function."""
    nx, ny = q.shape[:2]
    z = p.zeta_eff if zeta is None else zeta
    q1, q2 = q[..., 0], q[..., 1]
    sxx, sxy = q1 * (-z), q2 * (-z)
    kx = wavenumbers(nx, dx)[:, None]
    ky = wavenumbers(ny, dx)[None, :]
    kk = kx * kx + ky * ky
    Sxx, Sxy = np.fft.fft2(sxx), np.fft.fft2(sxy)
    cf = 2.0 * kx * ky * Sxx + (ky * ky - kx * kx) * Sxy
    with np.errstate(divide="ignore", invalid="ignore"):
        psi = np.where(kk < 1e-14, 0.0, cf / (kk * kk * p.eta))
    ux = np.fft.ifft2(1j * ky * psi).real
    uy = np.fft.ifft2(-1j * kx * psi).real
    return np.stack([ux, uy], axis=-1)


def upwind(u, f, dx):
    """(u . grad) f with first-order upwind differences; f of shape (nx, ny, c)."""
    ux, uy = u[..., 0:1], u[..., 1:2]
    ddx_ = np.where(ux >= 0, f - np.roll(f, 1, 0), np.roll(f, -1, 0) - f)
    ddy_ = np.where(uy >= 0, f - np.roll(f, 1, 1), np.roll(f, -1, 1) - f)
    return ux * (ddx_ / dx) + uy * (ddy_ / dx)


def corotation(q, u, p, dx):
    gxx, gxy = ddx(u[..., 0], dx), ddx(u[..., 1], dx)
    gyx, gyy = ddy(u[..., 0], dx), ddy(u[..., 1], dx)
    w = (gxy - gyx) / 2.0
    q1, q2 = q[..., 0], q[..., 1]
    return np.stack([p.lambda_ * (gxx + gyy) * q1 - 2.0 * w * q2,
                     p.lambda_ * (gyy + gxx) * q2 + 2.0 * w * q1], axis=-1)


def hydro_euler_step(q, p, dx):
    u = stokes(q, p, dx)
    rhs = (p.gamma_r * molecular_field(q, p, dx) + corotation(q, u, p, dx)) - upwind(u, q, dx)
    return q + p.dt * rhs, u


# ---- lipids ---------------------------------------------------------------------

def bessel_k0(x):
    """Modified Bessel K0 by the Abramowitz-Stegun polynomials (9.8.1, 9.8.5, 9.8.6)."""
    x = np.asarray(x, dtype=float)
    out = np.empty_like(x)
    small = x <= 2.0
    xs = x[small]
    t = (xs / 3.75) ** 2
    i0 = 1.0 + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813)))))
    y = xs * xs / 4.0
    out[small] = -np.log(xs / 2.0) * i0 + (-0.57721566 + y * (0.42278420 + y * (0.23069756 + y * (
        0.03488590 + y * (0.00262698 + y * (0.00010750 + y * 0.00000740))))))
    xl = x[~small]
    z = 2.0 / xl
    out[~small] = np.exp(-xl) / np.sqrt(xl) * (1.25331414 + z * (-0.07832358 + z * (0.02189568 + z * (
        -0.01062446 + z * (0.00587872 + z * (-0.00251540 + z * 0.00053208))))))
    return out


def k0_radius(xi, dx, nx, ny):
    return min(int(np.ceil(6.0 * xi / dx)), nx // 2, ny // 2)


def k0_kernel_spectrum(nx, ny, xi, dx):
    """FFT of the truncated periodic kernel, placed so that a product with FFT(q)
    gives out(i, j) = sum over offsets (di, dj) in [-R, R)^2, centre skipped, of
    K0(r / xi) q(i + di, j + dj)."""
    R = k0_radius(xi, dx, nx, ny)
    d = np.arange(-R, R)
    di, dj = np.meshgrid(d, d, indexing="ij")
    r = np.hypot(dj * dx, di * dx)
    k = np.where(r < dx / 2, 0.0, bessel_k0(np.maximum(r, dx / 2) / xi))
    kern = np.zeros((nx, ny))
    np.add.at(kern, ((-di) % nx, (-dj) % ny), k)
    return np.fft.fft2(kern) * (dx * dx / (2.0 * np.pi * xi * xi))


def k0_map(q, p, dx, spectrum=None):
    nx, ny = q.shape[:2]
    s = k0_kernel_spectrum(nx, ny, p.xi_l, dx) if spectrum is None else spectrum
    return np.stack([np.fft.ifft2(np.fft.fft2(q[..., c]) * s).real for c in range(2)], axis=-1)


def ch_etd(phi, q_lip, u, p, dx):
    nx, ny = phi.shape
    kx = wavenumbers(nx, dx)[:, None]
    ky = wavenumbers(ny, dx)[None, :]
    kk = kx * kx + ky * ky
    g = p.b_ch * phi**3 - 2.0 * p.chi_ms * (q_lip[..., 0] ** 2 + q_lip[..., 1] ** 2)
    n = p.m_l * lap(g, dx) - upwind(u, phi[..., None], dx)[..., 0]
    L = (p.kappa_ch * kk * kk + p.a_ch * kk) * (-p.m_l)
    Ld = L * p.dt
    E = np.exp(Ld)
    with np.errstate(divide="ignore", invalid="ignore"):
        phi1 = np.where(np.abs(Ld) < 1e-10, (Ld * Ld / 6.0 + Ld * 0.5 + 1.0) * p.dt, (E - 1.0) / L)
    P, N = np.fft.fft2(phi), np.fft.fft2(n)
    new = np.where(kk < 1e-14, P, phi1 * N + E * P)
    return np.fft.ifft2(new).real

"""The posterior densities of both arms, drawn with matplotlib (the optional ``plot`` extra)."""

from __future__ import annotations

import math
from pathlib import Path

from .errors import InputError, UsageError
from .exact import beta_parameters, log_beta

FORMATS = (".png", ".svg")
_POINTS = 600
_SPREAD = 6.0  # standard deviations of the wider posterior shown on each side


def check_plot_path(path: str) -> None:
    """Refuse a plot file we cannot write before any data is read."""
    if Path(path).suffix.lower() not in FORMATS:
        raise UsageError(f"--plot {path}: the file name must end in .png or .svg")
    require_matplotlib()


def require_matplotlib() -> None:
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        raise InputError(
            "--plot needs matplotlib, which is not installed: pip install 'velmorapy[plot]'"
        ) from None


def save_plot(decision, path: str) -> None:
    import matplotlib

    matplotlib.use("Agg")  # files only: no display needed
    from matplotlib import pyplot

    arms = (
        ("champion", decision.champion, "#4c72b0"),
        ("challenger", decision.challenger, "#dd8452"),
    )
    shapes = [beta_parameters(scores.sessions, scores.successes) for _, scores, _ in arms]
    grid = _grid(shapes)
    figure, axes = pyplot.subplots(figsize=(8, 4.5), dpi=120)
    try:
        for (name, scores, colour), (a, b) in zip(arms, shapes):
            density = [_beta_density(x, a, b) for x in grid]
            label = f"{name}: {scores.successes:,} of {scores.sessions:,} sessions succeeded"
            axes.plot(grid, density, color=colour, label=label)
            axes.fill_between(grid, density, color=colour, alpha=0.3)
        axes.set_title(_title(decision))
        axes.set_xlabel("success rate")
        axes.set_ylabel("posterior density")
        axes.set_ylim(bottom=0.0)
        axes.set_xlim(grid[0], grid[-1])
        axes.legend(loc="upper left")
        figure.tight_layout()
        try:
            figure.savefig(path)
        except OSError as error:
            raise InputError(f"--plot {path}: cannot write it ({error.strerror or error})") from None
    finally:
        pyplot.close(figure)


def _title(decision) -> str:
    posterior = "not estimated" if not decision.sampled else f"{decision.posterior:.4f}"
    return (
        f"{decision.outcome.replace('_', ' ').upper()}: posterior {posterior}, "
        f"exact probability {decision.exact_probability:.4f} (seed {decision.seed})"
    )


def _grid(shapes: list[tuple[int, int]]) -> list[float]:
    """Success rates that cover where both posteriors have their mass."""
    low, high = 1.0, 0.0
    for a, b in shapes:
        mean = a / (a + b)
        spread = _SPREAD * math.sqrt(a * b / ((a + b) ** 2 * (a + b + 1)))
        low, high = min(low, mean - spread), max(high, mean + spread)
    low, high = max(0.0, low), min(1.0, high)
    return [low + (high - low) * k / (_POINTS - 1) for k in range(_POINTS)]


def _beta_density(x: float, a: int, b: int) -> float:
    if x <= 0.0 or x >= 1.0:
        return float(a == 1) * b if x <= 0.0 else float(b == 1) * a
    return math.exp((a - 1) * math.log(x) + (b - 1) * math.log1p(-x) - log_beta(a, b))

"""The exact chance that the challenger's success rate exceeds the champion's.

With a uniform prior each arm's rate is Beta(successes + 1, failures + 1), so both parameters
are whole numbers and P(X > Y), for X ~ Beta(a, b) and Y ~ Beta(c, d), is a finite sum:

    P(X > Y) = sum over i = 0 .. a - 1 of  B(c + i, b + d) / ((b + i) B(1 + i, b) B(c, d))

Its terms rise to one peak and fall again, so the sum starts at the peak, whose logarithm is
computed without cancellation, and walks both ways until the terms no longer count. Of the four
equivalent forms of the sum (swapping the arms, or mirroring both rates as 1 - rate) the one
with the fewest terms is used, which keeps two arms of a million sessions well under a second.
"""

from __future__ import annotations

import math

_HALF_LOG_TWO_PI = 0.5 * math.log(2.0 * math.pi)
_STIRLING_FROM = 10.0  # above this the series below is good to about 1e-14
_NEGLIGIBLE = 2.0**-60  # a term this small beside the running sum changes no digit


def beta_parameters(sessions: int, successes: int) -> tuple[int, int]:
    """The posterior Beta(successes + 1, failures + 1) of one arm under a uniform prior."""
    return successes + 1, sessions - successes + 1


def probability_better(challenger: tuple[int, int], champion: tuple[int, int]) -> float:
    """P(challenger's rate > champion's rate) for two Beta posteriors with whole parameters."""
    a, b = challenger
    c, d = champion
    if min(a, b, c, d) < 1:
        raise ValueError("Beta parameters must be whole numbers of at least 1")
    # (terms, compute): each form of the same probability, with the length of its sum.
    forms = (
        (a, lambda: _first_exceeds(a, b, c, d)),
        (c, lambda: 1.0 - _first_exceeds(c, d, a, b)),
        (d, lambda: _first_exceeds(d, c, b, a)),  # 1 - Y > 1 - X
        (b, lambda: 1.0 - _first_exceeds(b, a, d, c)),
    )
    _, compute = min(forms, key=lambda form: form[0])
    return min(1.0, max(0.0, compute()))


def standard_error(probability: float, samples: int) -> float:
    """The Monte Carlo standard error of a share estimated from `samples` independent draws."""
    return math.sqrt(probability * (1.0 - probability) / samples)


def _first_exceeds(a: int, b: int, c: int, d: int) -> float:
    """P(X > Y) for X ~ Beta(a, b), Y ~ Beta(c, d), as the sum of `a` terms."""
    # term(i + 1) / term(i) = (c + i)(b + i) / ((c + d + b + i)(1 + i)), which falls through 1
    # once, just after i = (c b - c - d - b) / (d + 1): the peak.
    peak = min(max(0, (c * b - c - d - b) // (d + 1) + 1), a - 1)
    c_f, b_f, cdb = float(c), float(b), float(c + d + b)
    total = 1.0
    term = 1.0
    for i in range(peak, a - 1):
        term *= (c_f + i) * (b_f + i) / ((cdb + i) * (1.0 + i))
        total += term
        if term < total * _NEGLIGIBLE:
            break
    term = 1.0
    for i in range(peak - 1, -1, -1):
        term *= (cdb + i) * (1.0 + i) / ((c_f + i) * (b_f + i))
        total += term
        if term < total * _NEGLIGIBLE:
            break
    return math.exp(_log_term(peak, a, b, c, d) + math.log(total))


def _log_term(i: int, a: int, b: int, c: int, d: int) -> float:
    return log_beta(c + i, b + d) - math.log(b + i) - log_beta(1 + i, b) - log_beta(c, d)


def log_beta(x: float, y: float) -> float:
    """ln B(x, y) for x, y >= 1, accurate beside the size of the result even for huge x, y.

    The log-gamma values of large arguments are far larger than their combination, so taking
    their difference would lose the digits that matter; Stirling's form cancels them exactly.
    """
    small, large = (x, y) if x <= y else (y, x)
    if large < _STIRLING_FROM:
        return math.lgamma(small) + math.lgamma(large) - math.lgamma(small + large)
    both = small + large
    tails = _stirling_tail(large) - _stirling_tail(both)
    if small < _STIRLING_FROM:
        # ln Γ(large) - ln Γ(small + large), written so that nothing large cancels
        return (
            math.lgamma(small)
            - (large - 0.5) * math.log1p(small / large)
            - small * math.log(both)
            + small
            + tails
        )
    return (
        _HALF_LOG_TWO_PI
        - (small - 0.5) * math.log1p(large / small)
        - (large - 0.5) * math.log1p(small / large)
        - 0.5 * math.log(both)
        + _stirling_tail(small)
        + tails
    )


def _stirling_tail(x: float) -> float:
    """ln Γ(x) - ((x - 1/2) ln x - x + ln(2π)/2), by its asymptotic series (x >= 10)."""
    r = 1.0 / x
    r2 = r * r
    return r * (1 / 12 - r2 * (1 / 360 - r2 * (1 / 1260 - r2 * (1 / 1680 - r2 / 1188))))

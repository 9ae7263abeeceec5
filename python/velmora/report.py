"""What the command prints: the decision as plain words or as one JSON object."""

from __future__ import annotations

import json

from .decision import DECISION_SAMPLES, MIN_SESSIONS_PER_ARM, PROMOTE_THRESHOLD, Decision
from .reader import Scores


def percent(fraction: float, digits: int = 1) -> str:
    return f"{100.0 * fraction:.{digits}f}%"


def text_report(decision: Decision) -> str:
    lines = [f"Promotion decision (seed {decision.seed})", ""]
    lines.append(f"  {'':<12}{'sessions':>10}{'successes':>12}{'success rate':>15}   data")
    for name, arm in (("champion", decision.champion), ("challenger", decision.challenger)):
        rate = percent(arm.successes / arm.sessions) if arm.sessions else "-"
        lines.append(f"  {name:<12}{arm.sessions:>10,}{arm.successes:>12,}{rate:>15}   {arm.source}")
    lines.append("")
    lines.extend(_outcome_lines(decision))
    return "\n".join(lines) + "\n"


def _outcome_lines(decision: Decision) -> list[str]:
    exact_line = f"  Exact chance from the two posteriors: {percent(decision.exact_probability, 2)}"
    threshold = percent(PROMOTE_THRESHOLD)
    if not decision.sampled:
        return [
            "  Chance the challenger is better: not estimated",
            exact_line,
            f"  Outcome: NEED MORE DATA. Each arm needs at least {MIN_SESSIONS_PER_ARM} "
            f"sessions; the smaller one has {decision.sessions_each:,}.",
        ]
    lines = [
        f"  Chance the challenger is better: {percent(decision.posterior)} "
        f"(from {DECISION_SAMPLES:,} simulated draws, standard error "
        f"{100.0 * decision.standard_error:.2f} points)",
        exact_line,
    ]
    if decision.outcome == "promote":
        lines.append(
            f"  Outcome: PROMOTE. The challenger is better with at least {threshold} "
            "probability: replace the champion."
        )
    else:
        lines.append(
            f"  Outcome: HOLD. That is below the {threshold} needed to promote: keep the champion."
        )
    if decision.another_seed_could_differ:
        lines.append(
            f"  Another seed could decide differently: the estimate is within 3 standard errors "
            f"of {threshold}."
        )
    return lines


def json_report(decision: Decision) -> str:
    def arm(scores: Scores) -> dict[str, object]:
        return {"source": scores.source, "sessions": scores.sessions, "successes": scores.successes}

    return json.dumps(
        {
            "outcome": decision.outcome,
            "posterior": decision.posterior,
            "sessions_each": decision.sessions_each,
            "seed": decision.seed,
            "samples": decision.samples,
            "exact_probability": decision.exact_probability,
            "standard_error": decision.standard_error,
            "champion": arm(decision.champion),
            "challenger": arm(decision.challenger),
        }
    ) + "\n"


def scale_warning(scores: Scores) -> str | None:
    """A warning when some scores lie outside [0, 1], as scores on a percent scale would."""
    if not scores.outside_unit:
        return None
    return (
        f"warning: {scores.source}: {scores.outside_unit:,} of {scores.sessions:,} scores "
        f"({percent(scores.outside_unit / scores.sessions)}) lie outside [0, 1]; are these on a "
        f"0–100 scale? A score of at least 0.5 counts as a success."
    )

"""Calls as users write them; `mypy --strict` must accept this file against the stub."""

import array

import numpy as np
import numpy.typing as npt

import velmorapy

scores = np.random.default_rng(1).random(100)
outcome, posterior, sessions = velmorapy.py_promotion_decision(scores, scores[::-2], seed=3)
assert outcome in ("promote", "hold", "need_more_data") and sessions >= 0 and posterior >= 0
flags: npt.NDArray[np.bool_] = scores >= 0.5
estimate: float = velmorapy.py_posterior_probability(flags, scores.astype(np.float32), 100, 7)
velmorapy.py_posterior_probability([0.9, 1, True], (0.2,), samples=10, seed=1)
velmorapy.py_posterior_probability(array.array("d", [0.7]), memoryview(b"\x01"), 10, 1)
velmorapy.py_promotion_decision(b"\x01\x00", bytearray(2), 5)
kind_score: float = velmorapy.py_aggregate([("explicit", 1.0), ("implicit", np.float64(0.2))])

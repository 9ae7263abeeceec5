"""A long Monte Carlo call stays interruptible by signals while it holds the interpreter lock."""

import os
import signal
import subprocess
import time

import pytest

import velmorapy

pytestmark = pytest.mark.skipif(not hasattr(signal, "setitimer"), reason="needs POSIX signals")

# Billions of iterations: minutes of work unless a signal stops it.
ENDLESS = 2**32 - 1


class Stop(Exception):
    pass


@pytest.fixture
def restore_signals():
    saved = {number: signal.getsignal(number) for number in (signal.SIGALRM, signal.SIGUSR1)}
    yield
    signal.setitimer(signal.ITIMER_REAL, 0)
    for number, handler in saved.items():
        signal.signal(number, handler)


def raise_stop(signum, frame):
    raise Stop(signum)


def test_a_raising_handler_ends_the_call_with_its_exception(restore_signals):
    signal.signal(signal.SIGALRM, raise_stop)
    signal.setitimer(signal.ITIMER_REAL, 0.2)
    started = time.monotonic()
    with pytest.raises(Stop) as raised:
        velmorapy.py_posterior_probability([0.9] * 30, [0.1] * 30, ENDLESS, 1)
    assert raised.value.args == (signal.SIGALRM,)
    assert time.monotonic() - started < 10
    # The module is unharmed: the next call gives its usual answer.
    assert velmorapy.py_posterior_probability([], [], 50, 1) == 0.6


def test_keyboard_interrupt_from_another_process(restore_signals):
    # The signal comes from outside, as a Ctrl-C would; a Python thread could not send it
    # because the call never releases the lock.
    signal.signal(signal.SIGUSR1, signal.default_int_handler)
    sender = subprocess.Popen(["sh", "-c", f"sleep 0.3; kill -USR1 {os.getpid()}"])
    try:
        with pytest.raises(KeyboardInterrupt):
            velmorapy.py_posterior_probability([], [], ENDLESS, 2)
    finally:
        sender.wait()


def test_handlers_that_return_leave_the_result_unchanged(restore_signals):
    args = ([0.8] * 40 + [0.2] * 25, [0.8] * 45 + [0.2] * 20, 3_000_000, 12345)
    quiet = velmorapy.py_posterior_probability(*args)
    handled = []
    signal.signal(signal.SIGALRM, lambda signum, frame: handled.append(signum))
    signal.setitimer(signal.ITIMER_REAL, 0.002, 0.002)
    interrupted = velmorapy.py_posterior_probability(*args)
    signal.setitimer(signal.ITIMER_REAL, 0)
    assert handled, "no signal arrived during the call; make the call longer"
    assert interrupted == quiet

"""The haptic loop against a virtual trion.6 answering at the device's pace (4 kHz)."""
import os
import re
import signal
import tempfile
import threading
import time

_log = tempfile.NamedTemporaryFile(suffix=".log", delete=False)
_log.close()
os.environ["TKX_VIRTUAL_DEVICES"] = "61"
os.environ["TKX_VIRTUAL_LOG"] = _log.name
os.environ.pop("TKX_VIRTUAL_HAND", None)
os.environ.pop("TKX_VIRTUAL_RATE", None)

import numpy as np  # noqa: E402
import pytest  # noqa: E402

import tkx  # noqa: E402

MOTOR_FORCE = re.compile(r"motor force (\S+) (\S+) (\S+) N")


def logged_motor_forces_z():
    """The vertical motor force of each once-a-second line of the log so far."""
    with open(_log.name) as f:
        return [float(m[2]) for m in MOTOR_FORCE.findall(f.read())]


def next_logged_motor_force_z():
    """Waits, the device left alone, for the log's next once-a-second line."""
    seen = len(logged_motor_forces_z())
    deadline = time.monotonic() + 3.0
    while time.monotonic() < deadline:
        forces = logged_motor_forces_z()
        if len(forces) > seen:
            return forces[-1]
        time.sleep(0.05)
    raise AssertionError("no new mechanism line in the virtual log")


@pytest.fixture
def dev():
    with tkx.open(0) as d:
        yield d


def test_one_second_loop_keeps_the_device_rate(dev):
    seen = []

    def callback(s):
        seen.append((s.t, s.iteration, s.position.copy(), s.velocity.copy(), s.buttons))
        return [0.0, 0.0, 0.0]

    started = time.monotonic()
    dev.run(callback, duration=1.0)
    elapsed = time.monotonic() - started
    assert 0.95 < elapsed < 1.5
    assert not dev.running
    # the device answers 4000 exchanges a second, one per iteration (some slack for
    # a loaded machine; two exchanges per iteration would give 2000)
    assert 3000 <= dev.iterations <= 4100
    assert dev.iterations == len(seen)
    assert dev.overruns < dev.iterations / 20
    assert 0.0 < dev.callback_seconds < elapsed
    ts = [s[0] for s in seen]
    assert ts[0] < 0.01 and ts[-1] < 1.0 and all(b > a for a, b in zip(ts, ts[1:]))
    assert [s[1] for s in seen] == list(range(len(seen)))
    assert all(s[2].shape == (3,) and s[3].shape == (3,) and s[4] == 0 for s in seen)


def test_loop_force_reaches_the_device_and_is_zeroed_at_the_end(dev):
    forces = []
    dev.run(lambda s: [0.0, 0.0, 2.0], duration=0.3)
    forces.append(dev.force)
    np.testing.assert_allclose(forces[0], [0.0, 0.0, 0.0])


def test_stop_from_the_callback_and_from_another_thread(dev):
    dev.run(lambda s: dev.stop() if s.iteration == 99 else None)
    assert dev.iterations == 100

    timer = threading.Timer(0.3, dev.stop)
    timer.start()
    started = time.monotonic()
    dev.run(lambda s: None)
    assert 0.25 < time.monotonic() - started < 1.0
    timer.join()


def test_other_python_threads_run_while_the_loop_waits(dev):
    # the loop and its waiting caller leave the GIL free between callbacks
    count = [0]
    done = threading.Event()

    def spin():
        while not done.is_set():
            count[0] += 1

    t = threading.Thread(target=spin)
    t.start()
    dev.run(lambda s: None, duration=0.5)
    done.set()
    t.join()
    assert count[0] > 1000
    # a busy thread holds the GIL for its switch interval (5 ms): the loop slows, but runs
    assert dev.iterations > 20


def test_callback_exception_is_raised_with_the_force_zeroed(dev):
    # baseline: the motors with a zero force (the gravity compensation only, faded in)
    dev.run(lambda s: None, duration=0.5)
    baseline = next_logged_motor_force_z()

    def push_then_fail(s):
        if s.t > 1.3:
            raise ZeroDivisionError("from the callback")
        return [0.0, 0.0, 2.0]

    before = len(logged_motor_forces_z())
    with pytest.raises(ZeroDivisionError, match="from the callback"):
        dev.run(push_then_fail)
    # the line logged while the callback pushed
    pushed = logged_motor_forces_z()[before]
    assert pushed == pytest.approx(baseline + 2.0, abs=0.3)
    np.testing.assert_allclose(dev.force, [0.0, 0.0, 0.0])
    # and nothing but the compensation once it failed
    assert next_logged_motor_force_z() == pytest.approx(baseline, abs=0.3)


def test_bad_force_from_the_callback_ends_the_loop_with_a_value_error(dev):
    for bad in ([0.0, float("nan"), 0.0], [1.0, 2.0], "up"):
        with pytest.raises(ValueError):
            dev.run(lambda s: [0.0, 0.0, 1.0] if s.iteration < 10 else bad)
        assert dev.iterations == 10
        np.testing.assert_allclose(dev.force, [0.0, 0.0, 0.0])


def test_loop_refuses_bad_arguments_and_a_second_run(dev):
    with pytest.raises(ValueError):
        dev.run(lambda s: None, duration=float("nan"))
    with pytest.raises(ValueError):
        dev.run(lambda s: None, duration=-1.0)
    errors = []

    def nested(s):
        try:
            dev.run(lambda s2: None, duration=0.1)
        except RuntimeError as e:
            errors.append(e)
        try:
            dev.close()
        except RuntimeError as e:
            errors.append(e)
        try:
            dev.effector_mass = 0.5
        except RuntimeError as e:
            errors.append(e)
        dev.stop()

    dev.run(nested)
    assert len(errors) == 3
    assert not dev.closed


def test_close_from_another_thread_ends_the_loop():
    dev = tkx.open(0)
    timer = threading.Timer(0.3, dev.close)
    timer.start()
    dev.run(lambda s: None, duration=10.0)
    timer.join()
    assert dev.closed
    tkx.open(0).close()


def test_ctrl_c_ends_an_endless_loop_with_the_force_zeroed(dev):
    timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        dev.run(lambda s: [0.0, 0.0, 1.0])
    assert time.monotonic() - started < 2.0
    timer.join()
    assert not dev.running and dev.iterations > 100
    np.testing.assert_allclose(dev.force, [0.0, 0.0, 0.0])

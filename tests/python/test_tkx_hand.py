"""Position read through the haptic loop while a hand script moves a virtual polux.3."""
import os
import tempfile

_script = tempfile.NamedTemporaryFile("w", suffix=".hand", delete=False)
# seconds from the device's first exchange: rest, then 20 mm up and 10 mm along x in 1 s
_script.write("0 0 0 0\n1.0 0 0 0\n2.0 0.01 0 0.02\n")
_script.close()
os.environ["TKX_VIRTUAL_DEVICES"] = "33"
os.environ["TKX_VIRTUAL_HAND"] = _script.name

import pytest  # noqa: E402

import tkx  # noqa: E402


def test_position_follows_the_hand_script():
    samples = []
    with tkx.open(0) as dev:
        dev.run(lambda s: samples.append((s.t, *s.position, *s.velocity)), duration=3.0)
        final = dev.position
    os.unlink(_script.name)
    early = [p for p in samples if p[0] < 0.8]
    moving = [p for p in samples if 1.4 < p[0] < 1.8]
    late = [p for p in samples if p[0] > 2.5]
    assert early and moving and late
    assert all(abs(p[3]) < 0.005 for p in early)
    assert all(p[1] == pytest.approx(0.01, abs=0.001) and p[3] == pytest.approx(0.02, abs=0.001) for p in late)
    assert final[2] == pytest.approx(0.02, abs=0.001)
    # halfway, the hand's speed: 10 mm/s along x, 20 mm/s up (the effector sways about it
    # on the hand's spring)
    vx = sum(p[4] for p in moving) / len(moving)
    vz = sum(p[6] for p in moving) / len(moving)
    assert vx == pytest.approx(0.01, abs=0.0015) and vz == pytest.approx(0.02, abs=0.002)
    assert all(abs(p[6] - 0.02) < 0.008 for p in moving)
    # in between it moved up without jumps (the first read is the reset pose)
    zs = [p[3] for p in samples[1:]]
    assert max(abs(b - a) for a, b in zip(zs, zs[1:])) < 0.001

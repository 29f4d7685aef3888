"""The module against two virtual devices, a trion.6 and a polux.3, with the hand at
rest: listing, open and close, reads, forces and errors."""
import os
import threading
import time

# devices are counted when the module loads
os.environ["TKX_VIRTUAL_DEVICES"] = "61,33"
os.environ.pop("TKX_VIRTUAL_HAND", None)
os.environ.pop("TKX_VIRTUAL_RATE", None)

import numpy as np  # noqa: E402
import pytest  # noqa: E402

import tkx  # noqa: E402


def settle(dev, force, steps=8000):
    """Commands the force once per device exchange (8000 steps: 2 s at 4 kHz)."""
    for _ in range(steps):
        dev.set_force(force)
    return dev.position


# ---- listing ----


def test_devices_lists_each_device_with_its_records():
    found = tkx.devices()
    assert [d.index for d in found] == [0, 1]
    assert [d.system_type for d in found] == [61, 33]
    assert [d.system_name for d in found] == ["trion.6", "polux.3"]
    assert all(d.serial_number > 0 for d in found)
    assert all(d.firmware_version == pytest.approx(3.2) for d in found)


def test_devices_leaves_an_open_device_open():
    with tkx.open(0) as dev:
        assert [d.system_type for d in tkx.devices()] == [61, 33]
        # the listing neither closed the device nor took its slot
        assert dev.position.shape == (3,)
        with pytest.raises(tkx.NotAvailableError):
            tkx.open(0)


# ---- open and close ----


def test_with_block_closes_the_device():
    with tkx.open(1) as dev:
        assert not dev.closed
        assert dev.system_type == 33 and dev.system_name == "polux.3"
    assert dev.closed
    # the slot is free again
    with tkx.open(1) as again:
        assert again.index == 1


def test_with_block_closes_the_device_on_an_exception():
    with pytest.raises(KeyError):
        with tkx.open(0) as dev:
            raise KeyError("inside")
    assert dev.closed
    tkx.open(0).close()


def test_closed_device_refuses_every_call_with_a_code():
    dev = tkx.open(0)
    dev.close()
    dev.close()  # twice is harmless
    for call in (lambda: dev.position, lambda: dev.velocity, lambda: dev.set_force([0, 0, 0]),
                 lambda: dev.run(lambda s: None, 0.1), lambda: dev.system_name):
        with pytest.raises(tkx.NoDeviceError) as e:
            call()
        assert e.value.code == tkx.ERR_NO_DEVICE


def test_a_stale_object_cannot_drive_a_reopened_slot():
    old = tkx.open(0)
    old.close()
    with tkx.open(0):
        with pytest.raises(tkx.NoDeviceError):
            old.set_force([0.0, 0.0, 1.0])
        with pytest.raises(tkx.NoDeviceError):
            old.position


# ---- reads ----


def test_reads_have_their_shapes_and_types():
    with tkx.open(0) as dev:
        assert dev.position.shape == (3,) and dev.position.dtype == np.float64
        assert dev.velocity.shape == (3,)
        o = dev.orientation
        assert o.shape == (3, 3)
        np.testing.assert_allclose(o @ o.T, np.eye(3), atol=1e-9)
        assert dev.buttons == 0 and not dev.button(0)
        assert dev.gravity_compensation is True
        assert dev.force_enabled is True
        assert dev.effector_mass > 0.0
        assert not dev.left_handed


def test_effector_mass_and_gravity_compensation_are_settable():
    with tkx.open(0) as dev:
        dev.effector_mass = 0.75
        assert dev.effector_mass == pytest.approx(0.75)
        dev.gravity_compensation = False
        assert dev.gravity_compensation is False
        with pytest.raises(ValueError):
            dev.effector_mass = float("nan")


def test_open_without_force_switches_the_output_off():
    with tkx.open(0, force=False) as dev:
        assert dev.force_enabled is False
        dev.force_enabled = True
        # at once, though the status byte is shared for the time guard's 0.5 ms
        assert dev.force_enabled is True
        dev.force_enabled = False
        assert dev.force_enabled is False


# ---- force ----


def test_set_force_moves_the_soft_hand():
    # 2 N against the hand's 200 N/m: 10 mm up, nothing sideways
    with tkx.open(0) as dev:
        before = settle(dev, [0.0, 0.0, 0.0])
        after = settle(dev, [0.0, 0.0, 2.0])
        assert after[2] - before[2] == pytest.approx(0.010, abs=0.0015)
        assert abs(after[0] - before[0]) < 0.001 and abs(after[1] - before[1]) < 0.001
        np.testing.assert_allclose(dev.force, [0.0, 0.0, 2.0])


def test_set_force_refuses_bad_values_before_the_device():
    with tkx.open(0) as dev:
        dev.set_force([0.0, 0.0, 1.5])
        bad = ([0.0, float("nan"), 0.0], [float("inf"), 0.0, 0.0], [1.0, 2.0], [1.0, 2.0, 3.0, 4.0],
               [[1.0, 2.0, 3.0]], 5.0, "abc", None)
        for force in bad:
            with pytest.raises(ValueError):
                dev.set_force(force)
        with pytest.raises(ValueError):
            dev.set_force([0, 0, 0], torque=[0.0, float("nan"), 0.0])
        with pytest.raises(ValueError):
            dev.set_force([0, 0, 0], gripper=float("-inf"))
        # none of them was sent
        np.testing.assert_allclose(dev.force, [0.0, 0.0, 1.5])
        dev.set_force(np.array([0.0, 0.0, 0.0]))
        dev.set_force((0, 0, 0), torque=(0.0, 0.0, 0.0))


# ---- errors ----


def test_errors_carry_the_library_code_and_message():
    with pytest.raises(tkx.NoDeviceError) as e:
        tkx.open(2)  # two devices only
    assert e.value.code == tkx.ERR_NO_DEVICE
    assert e.value.message == tkx.error_message(tkx.ERR_NO_DEVICE) == "no device found"
    assert "no device found" in str(e.value) and "code 5" in str(e.value)
    assert isinstance(e.value, tkx.Error)

    with pytest.raises(tkx.Error) as e:
        tkx.open(4)
    assert e.value.code == tkx.ERR_INDEX_RANGE

    with tkx.open(1) as polux:
        # a polux.3 has no gripper, a trion.6 no stylus gripper either
        with pytest.raises(tkx.NotAvailableError) as e:
            polux.gripper_angle
        assert e.value.code == tkx.ERR_NOT_AVAILABLE
        with pytest.raises(tkx.Error) as e:
            polux.button(8)
        assert e.value.code == tkx.ERR_INDEX_RANGE


def test_error_classes_follow_the_code_families():
    assert issubclass(tkx.CommunicationError, tkx.Error)
    e = tkx.GeometryError(tkx.ERR_GEOMETRY, tkx.error_message(tkx.ERR_GEOMETRY), "set_force")
    assert str(e) == "set_force: geometric error (code 8)"
    assert tkx.api_version() == (3, 2, 2, 1466)


# ---- threads ----


def test_close_while_another_thread_reads():
    # the reader sees positions, then the closed device's error: never a freed slot
    dev = tkx.open(0)
    outcome = []

    def reader():
        reads = 0
        try:
            while True:
                dev.position
                dev.system_name
                reads += 1
        except tkx.NoDeviceError as e:
            outcome.append((reads, e.code))

    t = threading.Thread(target=reader)
    t.start()
    time.sleep(0.2)
    dev.close()
    t.join(5.0)
    assert not t.is_alive()
    assert outcome and outcome[0][0] > 10 and outcome[0][1] == tkx.ERR_NO_DEVICE
    tkx.open(0).close()

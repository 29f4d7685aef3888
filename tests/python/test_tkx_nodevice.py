"""The module on a machine without devices."""
import os

os.environ["TKX_VIRTUAL_DEVICES"] = ""

import pytest  # noqa: E402

import tkx  # noqa: E402


def test_no_device_lists_nothing_and_open_fails_with_its_code():
    assert tkx.devices() == []
    with pytest.raises(tkx.NoDeviceError) as e:
        tkx.open()
    assert e.value.code == tkx.ERR_NO_DEVICE

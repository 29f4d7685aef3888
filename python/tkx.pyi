"""Force-feedback devices from Python (type stubs of the extension module)."""

from types import TracebackType
from typing import Callable, Optional, Sequence, Type, Union

import numpy as np
import numpy.typing as npt

Vector3 = Union[Sequence[float], npt.NDArray[np.float64]]

ERR_NONE: int
ERR_UNDOCUMENTED: int
ERR_COMMUNICATION: int
ERR_CONTROLLER_BUSY: int
ERR_NO_DRIVER: int
ERR_NO_DEVICE: int
ERR_NOT_AVAILABLE: int
ERR_TIMEOUT: int
ERR_GEOMETRY: int
ERR_EXPERT_DISABLED: int
ERR_NOT_IMPLEMENTED: int
ERR_OUT_OF_MEMORY: int
ERR_NOT_READY: int
ERR_FILE_NOT_FOUND: int
ERR_AUTOCONFIG: int
ERR_INDEX_RANGE: int

class Error(Exception):
    """A failure reported by the device library."""
    code: int
    message: str
    operation: Optional[str]
    def __init__(self, code: int, message: str, operation: Optional[str] = ...) -> None: ...

class CommunicationError(Error):
    """A failed or garbled exchange, a busy controller, a time-out, a channel not ready."""

class NoDeviceError(Error):
    """No device or driver where one was asked for, or a closed device."""

class NotAvailableError(Error):
    """The device lacks what the operation needs, or the operation is not available."""

class GeometryError(Error):
    """Encoders without a pose, or a value that is not a number."""

class ConfigurationError(Error):
    """A configuration file or the device's calibration could not be used."""

def error_message(code: int) -> str:
    """The library's message for an error code."""

def api_version() -> tuple[int, int, int, int]:
    """The C API's version: (major, minor, release, revision)."""

def time() -> float:
    """The library's clock in seconds."""

class DeviceInfo:
    """One device found on the bus."""
    @property
    def index(self) -> int: ...
    @property
    def system_type(self) -> int: ...
    @property
    def system_name(self) -> str: ...
    @property
    def serial_number(self) -> int: ...
    @property
    def firmware_version(self) -> float: ...

class State:
    """What the haptic loop hands its callback each iteration."""
    @property
    def t(self) -> float:
        """Seconds since the loop started."""
    @property
    def position(self) -> npt.NDArray[np.float64]:
        """Effector position (m), shape (3,)."""
    @property
    def velocity(self) -> npt.NDArray[np.float64]:
        """Effector velocity (m/s), shape (3,)."""
    @property
    def buttons(self) -> int:
        """Buttons pressed: bit i for button i."""
    @property
    def iteration(self) -> int:
        """Iterations before this one."""

def devices() -> list[DeviceInfo]:
    """One record per device found."""

class Device:
    """An open device; use it in a with block or call close()."""
    def __init__(self, index: int = 0, force: bool = True) -> None: ...
    def close(self) -> None:
        """Stops the haptic loop, applies the brakes and releases the device."""
    def __enter__(self) -> "Device": ...
    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        tb: Optional[TracebackType],
    ) -> bool: ...
    @property
    def closed(self) -> bool: ...
    @property
    def index(self) -> int: ...
    @property
    def system_type(self) -> int: ...
    @property
    def system_name(self) -> str: ...
    @property
    def serial_number(self) -> int: ...
    @property
    def firmware_version(self) -> float: ...
    @property
    def left_handed(self) -> bool: ...
    @property
    def position(self) -> npt.NDArray[np.float64]:
        """Effector position (m), shape (3,)."""
    @property
    def velocity(self) -> npt.NDArray[np.float64]:
        """Effector velocity (m/s), shape (3,)."""
    @property
    def orientation(self) -> npt.NDArray[np.float64]:
        """Wrist or stylus orientation, shape (3, 3)."""
    @property
    def force(self) -> npt.NDArray[np.float64]:
        """Force (N) last requested while force output is on."""
    @property
    def buttons(self) -> int:
        """Buttons pressed: bit i for button i."""
    def button(self, index: int) -> bool: ...
    @property
    def gripper_angle(self) -> float:
        """Gripper opening (rad)."""
    def set_force(
        self, force: Vector3, torque: Optional[Vector3] = ..., gripper: Optional[float] = ...
    ) -> None:
        """Commands the force (N), and a wrist torque (N m) or gripper force (N)."""
    gravity_compensation: bool
    effector_mass: float
    force_enabled: bool
    def run(
        self,
        callback: Callable[[State], Optional[Vector3]],
        duration: Optional[float] = ...,
        budget: float = ...,
    ) -> None:
        """Runs the haptic loop until stop(), the duration or an exception."""
    def stop(self) -> None:
        """Ends run() after the current iteration."""
    @property
    def running(self) -> bool: ...
    @property
    def iterations(self) -> int: ...
    @property
    def overruns(self) -> int: ...
    @property
    def callback_seconds(self) -> float:
        """Seconds the last run() spent on the Python side (GIL, state, callback)."""

def open(index: int = 0, force: bool = True) -> Device:
    """Opens device index and returns its Device."""

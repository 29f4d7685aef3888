"""The Python haptic loop's rate against a virtual trion.6: at the device's pace
(4000 exchanges a second) and unpaced (the device answering at once), and the cost
of one Python callback. A measurement, not a test:

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_tkx_loop.py [seconds]
"""
import json
import os
import subprocess
import sys

SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 3.0


def measure(seconds):
    """In a child process, whose environment chose the pace before the import."""
    import numpy as np

    import tkx

    def idle(s):
        return None

    def wall(s):
        # a virtual wall at z = 0, 2000 N/m
        z = s.position[2]
        return np.array([0.0, 0.0, -2000.0 * z]) if z < 0.0 else None

    out = {}
    with tkx.open(0) as dev:
        for name, callback in (("idle", idle), ("wall", wall)):
            dev.run(callback, duration=seconds)
            out[name] = {
                "rate_hz": dev.iterations / seconds,
                "period_us": 1e6 * seconds / dev.iterations,
                "callback_us": 1e6 * dev.callback_seconds / dev.iterations,
                "overruns": dev.overruns,
            }
    return out


def main():
    if os.environ.get("TKX_BENCH_CHILD"):
        print(json.dumps(measure(SECONDS)))
        return
    for label, rate in (("paced (TKX_VIRTUAL_RATE unset, 4 kHz device)", None), ("unpaced (TKX_VIRTUAL_RATE=0)", "0")):
        env = dict(os.environ, TKX_BENCH_CHILD="1", TKX_VIRTUAL_DEVICES="61")
        env.pop("TKX_VIRTUAL_HAND", None)
        env.pop("TKX_VIRTUAL_RATE", None)
        if rate is not None:
            env["TKX_VIRTUAL_RATE"] = rate
        child = subprocess.run([sys.executable, __file__, str(SECONDS)], env=env, check=True, capture_output=True,
                               text=True)
        figures = json.loads(child.stdout.strip().splitlines()[-1])
        print(label)
        for name, f in figures.items():
            print(f"  {name:5s} callback: {f['rate_hz']:9.0f} iterations/s, {f['period_us']:6.2f} us per iteration, "
                  f"{f['callback_us']:5.2f} us on the Python side, {f['overruns']} overruns (> 1 ms)")


if __name__ == "__main__":
    main()

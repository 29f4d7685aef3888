"""The README's wall example, run as the README says, with its hand script."""
import os
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]


def readme_section():
    text = (ROOT / "README.md").read_text()
    start = text.index("## The library from Python")
    return text[start:text.index("\n## ", start + 1)]


def test_wall_example_holds_the_hand_about_2_mm_deep(tmp_path):
    section = readme_section()
    example = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    assert len(example.strip().splitlines()) <= 11
    hand = re.search(r"printf '(.*?)' > press.hand", section).group(1).replace("\\n", "\n")
    (tmp_path / "press.hand").write_text(hand)
    (tmp_path / "wall.py").write_text(example)
    env = dict(os.environ, TKX_VIRTUAL_DEVICES="61", TKX_VIRTUAL_HAND=str(tmp_path / "press.hand"))
    env.pop("TKX_VIRTUAL_RATE", None)
    out = subprocess.run([sys.executable, "wall.py"], cwd=tmp_path, env=env, capture_output=True, text=True,
                         check=True)
    depth = float(re.search(r"holds it (\S+) mm deep", out.stdout).group(1))
    # the hand's 200 N/m pushing 20 mm against the wall's 2000 N/m: about 1.8 mm
    assert 1.0 < depth < 3.0

"""The installed module: the python component of a fresh install tree imports with
Debian's python3, carries its stubs, and the stubs name what the module has."""
import ast
import os
import subprocess
import sys
import sysconfig

import pytest

BUILD = os.environ["TKX_BUILD_DIR"]
CMAKE = os.environ.get("TKX_CMAKE", "cmake")


@pytest.fixture(scope="module")
def installed(tmp_path_factory):
    prefix = tmp_path_factory.mktemp("prefix")
    subprocess.run([CMAKE, "--install", BUILD, "--prefix", str(prefix), "--component", "python"], check=True,
                   capture_output=True)
    folder = prefix / "lib" / f"python{sys.version_info.major}.{sys.version_info.minor}" / "dist-packages"
    return folder


def test_module_and_stubs_install_into_the_package_folder(installed):
    suffix = sysconfig.get_config_var("EXT_SUFFIX")
    assert (installed / f"tkx{suffix}").is_file()
    assert (installed / "tkx.pyi").is_file()


def test_installed_module_imports_and_documents_itself(installed):
    code = ("import tkx, pydoc; print(tkx.__file__); text = pydoc.render_doc(tkx, renderer=pydoc.plaintext);"
            "assert 'with tkx.open() as dev' in text and 'set_force' in text and 'class Error' in text, text;"
            "print(len(tkx.devices()))")
    env = dict(os.environ, PYTHONPATH=str(installed), TKX_VIRTUAL_DEVICES="61")
    out = subprocess.run([sys.executable, "-c", code], env=env, check=True, capture_output=True, text=True,
                         cwd=installed)
    path, count = out.stdout.split()[-2:]
    assert path.startswith(str(installed))
    assert count == "1"


def test_stubs_name_everything_the_module_has(installed):
    tree = ast.parse((installed / "tkx.pyi").read_text())
    stubbed = {}
    for node in tree.body:
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)):
            members = set()
            for item in getattr(node, "body", []):
                if isinstance(item, ast.FunctionDef):
                    members.add(item.name)
                elif isinstance(item, ast.AnnAssign):
                    members.add(item.target.id)
            stubbed[node.name] = members
        elif isinstance(node, ast.AnnAssign):
            stubbed[node.target.id] = set()
    code = ("import tkx, json; print(json.dumps({n: sorted(m for m in dir(getattr(tkx, n)) if not m.startswith('_')"
            " and not isinstance(getattr(tkx, n), int)) for n in dir(tkx) if not n.startswith('_')}))")
    env = dict(os.environ, PYTHONPATH=str(installed), TKX_VIRTUAL_DEVICES="")
    out = subprocess.run([sys.executable, "-c", code], env=env, check=True, capture_output=True, text=True,
                         cwd=installed)
    import json

    actual = json.loads(out.stdout)
    for name, members in actual.items():
        assert name in stubbed, f"tkx.{name} has no stub"
        if name in ("Error", "CommunicationError", "NoDeviceError", "NotAvailableError", "GeometryError",
                    "ConfigurationError"):
            continue  # the exceptions' members come from Exception
        missing = set(members) - stubbed[name] - {"mro"}
        assert not missing, f"tkx.{name}: no stub for {sorted(missing)}"

"""The installable package: the wheel built from this tree holds the module, its stubs and its
metadata, and once installed in a fresh environment the module works from any folder."""

import json
import pathlib
import subprocess
import sys
import sysconfig
import zipfile

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
VERSION = (ROOT / "VERSION").read_text().strip()
STUB = "vorn_sdk_core-stubs/__init__.pyi"
DIST_INFO = f"vorn_sdk_core-{VERSION}.dist-info"

SMOKE = """
import json, vorn_sdk_core as core
issues = None
try:
    core.validate_event_payload("contact_request_updated", {"status": 1, "inserted_at": "t"})
except ValueError as error:
    issues = len(error.issues)
print(json.dumps({"file": core.__file__, "version": core.__version__, "names": len(core.__all__),
                  "topic": core.chat_room_topic("r1"), "issues": issues}))
"""


def run(*command, **options):
    result = subprocess.run(command, capture_output=True, text=True, **options)
    if result.returncode != 0:
        pytest.fail(f"{command} exited {result.returncode}:\n{result.stdout}\n{result.stderr}")
    return result.stdout


@pytest.fixture(scope="module")
def wheel(tmp_path_factory):
    out = tmp_path_factory.mktemp("dist")
    run(sys.executable, "-m", "build", "--wheel", "--no-isolation", "--outdir", str(out), str(ROOT))
    (built,) = out.glob("*.whl")
    return built


def test_wheel_is_one_abi3_build_holding_only_the_module_stubs_and_metadata(wheel):
    platform = sysconfig.get_platform().replace("-", "_").replace(".", "_")
    assert wheel.name == f"vorn_sdk_core-{VERSION}-cp310-abi3-{platform}.whl"
    with zipfile.ZipFile(wheel) as archive:
        names = set(archive.namelist())
        tags = archive.read(f"{DIST_INFO}/WHEEL").decode()
        metadata = archive.read(f"{DIST_INFO}/METADATA").decode()
    payload = {"vorn_sdk_core.abi3.so"} | ({STUB} if (ROOT / "stubs" / STUB).is_file() else set())
    metadata_files = {f"{DIST_INFO}/{name}" for name in ("METADATA", "WHEEL", "RECORD", "top_level.txt")}
    assert names == payload | metadata_files
    assert f"Tag: cp310-abi3-{platform}" in tags.splitlines()
    assert "Root-Is-Purelib: false" in tags.splitlines()
    assert {f"Version: {VERSION}", "Requires-Python: >=3.10"} <= set(metadata.splitlines())


def test_installed_module_works_outside_the_tree(wheel, tmp_path):
    # Debian's pip comes from the system site; it installs into the environment that runs it.
    env_dir = tmp_path / "env"
    run(sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", str(env_dir))
    python = env_dir / "bin" / "python"
    run(str(python), "-m", "pip", "install", "--no-index", "--no-deps", "--quiet", str(wheel))

    # Isolated mode: neither PYTHONPATH nor the working folder can lead to the tree's own builds.
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    got = json.loads(run(str(python), "-I", "-c", SMOKE, cwd=elsewhere))
    site = pathlib.Path(run(str(python), "-I", "-c", "import sysconfig; print(sysconfig.get_path('platlib'))").strip())
    assert pathlib.Path(got.pop("file")) == site / "vorn_sdk_core.abi3.so"
    assert got == {"version": VERSION, "names": 48, "topic": "chat_room:r1", "issues": 2}
    assert (site / STUB).is_file() == (ROOT / "stubs" / STUB).is_file()

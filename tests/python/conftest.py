import os
import pathlib
import sys

_build = os.environ.get("VORN_BUILD_DIR", str(pathlib.Path(__file__).resolve().parents[2] / "build"))
sys.path.insert(0, _build)


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: long-running checks (leaks); -m 'not slow' skips them")

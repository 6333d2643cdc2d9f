import os
import pathlib
import sys

from hypothesis import HealthCheck, settings

_build = os.environ.get("VORN_BUILD_DIR", str(pathlib.Path(__file__).resolve().parents[2] / "build"))
sys.path.insert(0, _build)


def pytest_configure(config):
    config.addinivalue_line("markers", "slow: long-running checks (leaks); -m 'not slow' skips them")


# Sanitizer builds and busy machines run many times slower: data generation being slow is not a
# fault of the code under test.
settings.register_profile("vorn", suppress_health_check=[HealthCheck.too_slow], deadline=None)
settings.load_profile("vorn")

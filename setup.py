"""Packages the extension module, built by the project's own CMake build so that CMakeLists.txt stays
the one list of sources and compile flags, and its type stubs, as one abi3 wheel for CPython 3.10
and later."""

import os
import pathlib
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build import build
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
STUBS = "vorn_sdk_core-stubs"
STUBS_DIR = ROOT / "stubs" / STUBS


class FreshBuild(build):
    """Starts the packed tree empty, so that a file an earlier build left there (stubs since removed)
    cannot ship; the CMake tree stays, for incremental builds."""

    def run(self):
        shutil.rmtree(self.build_lib, ignore_errors=True)
        super().run()


class CMakeBuildExt(build_ext):
    """Configures CMake for the module alone and installs the stripped library where setuptools
    packs it."""

    def build_extension(self, ext):
        tree = pathlib.Path(self.build_temp).resolve() / "cmake"
        destination = pathlib.Path(self.get_ext_fullpath(ext.name)).resolve().parent
        # The flags the test builds use, without the tests and their extra module.
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(tree), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                        "-DVORN_TESTS=OFF", f"-DPython3_EXECUTABLE={sys.executable}"], check=True)
        subprocess.run(["cmake", "--build", str(tree), "--target", ext.name, "-j", str(os.cpu_count() or 1)],
                       check=True)
        subprocess.run(["cmake", "--install", str(tree), "--prefix", str(destination), "--strip"], check=True)


# Build trees stay out of the CMake test trees (build/, build-asan/) and out of the sources.
BUILD_BASE = ROOT / "build-package"
BUILD_BASE.mkdir(exist_ok=True)
# The stubs ship when the tree has them.
stub_packages = [STUBS] if STUBS_DIR.is_dir() else []

setup(
    version=(ROOT / "VERSION").read_text().strip(),
    ext_modules=[Extension("vorn_sdk_core", sources=[], py_limited_api=True)],
    cmdclass={"build": FreshBuild, "build_ext": CMakeBuildExt},
    packages=stub_packages,
    package_dir={STUBS: str(STUBS_DIR.relative_to(ROOT))},
    package_data={STUBS: ["*.pyi"]},
    py_modules=[],
    options={
        "bdist_wheel": {"py_limited_api": "cp310"},
        "build": {"build_base": str(BUILD_BASE)},
        "egg_info": {"egg_base": str(BUILD_BASE)},
    },
)

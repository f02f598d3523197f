"""Builds the Python package tesk_privacy.

The compiled core, tesk_privacy._native, is built by CMake together with the
C++ library (Release, tests off, for the interpreter running this build) in
build-pip/, and copied into the package. Everything comes from Debian
packages; nothing is downloaded:

    python3 -m pip install --no-build-isolation .

CMAKE_BUILD_PARALLEL_LEVEL sets the number of compile jobs (default 2).
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent
BUILD_BASE = "build-pip"


class CMakeExtension(Extension):
    def __init__(self, name: str) -> None:
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        build_dir = ROOT / BUILD_BASE / f"cmake-{sys.implementation.cache_tag}"
        configure = [
            "cmake",
            "-S",
            str(ROOT),
            "-B",
            str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DTESK_BUILD_PYTHON=ON",
            "-DTESK_BUILD_TESTS=OFF",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ]
        if not (build_dir / "CMakeCache.txt").exists() and shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        env = dict(os.environ)
        if shutil.which("ccache"):
            # The compiler cache scripts/build.sh fills, keyed independently of
            # the folder, so a first pip build after it compiles little.
            configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
            env.setdefault("CCACHE_BASEDIR", str(ROOT))
            env.setdefault("CCACHE_NOHASHDIR", "1")
        subprocess.check_call(configure, env=env)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.check_call(
            ["cmake", "--build", str(build_dir), "--target", "_native", "tesk-privacy", "--parallel", jobs], env=env)

        built = sorted((build_dir / "python" / "tesk_privacy").glob("_native*.so"))
        if not built:
            raise RuntimeError(f"CMake did not produce the extension module in {build_dir}")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(built[-1], target)
        # The command-line tool travels in the package; `tesk-privacy` and
        # `python -m tesk_privacy` run it.
        command = target.parent / "bin" / "tesk-privacy"
        command.parent.mkdir(exist_ok=True)
        shutil.copy2(build_dir / "tesk-privacy", command)


(ROOT / BUILD_BASE).mkdir(exist_ok=True)
setup(
    ext_modules=[CMakeExtension("tesk_privacy._native")],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
)

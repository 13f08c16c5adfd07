# SPDX-License-Identifier: MIT
"""Builds huffcodec._huffcodec with the project's CMake build; the rest of the
package's description is in pyproject.toml."""

import os
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakeExtension(Extension):
    def __init__(self, name: str) -> None:
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        build_dir = Path(self.build_temp).resolve() / "cmake"
        args = [
            f"-DCMAKE_BUILD_TYPE={os.environ.get('HUFFCODEC_BUILD_TYPE', 'Release')}",
            "-DHUFFCODEC_BUILD_PYTHON=ON",
            "-DHUFFCODEC_BUILD_TESTS=OFF",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ]
        # pybind11 from pip (a build-isolation environment) or from the system.
        try:
            import pybind11

            args.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass
        if self.parallel:
            jobs = str(self.parallel)
        else:
            jobs = str(os.cpu_count() or 1)
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir), *args], check=True)
        subprocess.run(
            ["cmake", "--build", str(build_dir), "--target", "huffcodec_python", "-j", jobs],
            check=True,
        )
        built = next((build_dir / "python" / "huffcodec").glob("_huffcodec*.so"))
        target.parent.mkdir(parents=True, exist_ok=True)
        self.copy_file(str(built), str(target))
        # The HDF5 filter plugin, built with the module where libhdf5's
        # development files were found.
        plugin = build_dir / "python" / "huffcodec" / "hdf5_plugin" / "libh5huffcodec.so"
        if plugin.is_file():
            (target.parent / "hdf5_plugin").mkdir(exist_ok=True)
            self.copy_file(str(plugin), str(target.parent / "hdf5_plugin" / plugin.name))


setup(
    ext_modules=[CMakeExtension("huffcodec._huffcodec")],
    cmdclass={"build_ext": CMakeBuild},
)

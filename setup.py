"""Builds the Python package quorvex with the project's own CMake build: the extension
quorvex._core, the feed simulator's library and tool and the feed helper, laid out beside the
package's Python files (see python/CMakeLists.txt), then copied into the wheel."""
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.join(os.path.abspath(self.build_temp), "cmake")
        jobs = os.environ.get("QUORVEX_JOBS", "2")
        subprocess.check_call(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                               "-DQUORVEX_BUILD_TESTS=OFF",
                               f"-DQUORVEX_PYTHON_EXECUTABLE={sys.executable}"])
        subprocess.check_call(["cmake", "--build", build, "-j", jobs, "--target",
                               "quorvex_python_files"])
        built = os.path.join(build, "python", "quorvex")
        target = os.path.dirname(os.path.abspath(self.get_ext_fullpath(ext.name)))
        os.makedirs(target, exist_ok=True)
        for name in os.listdir(built):
            source = os.path.join(built, name)
            if os.path.isfile(source):
                shutil.copy2(source, os.path.join(target, name))


# setuptools' own build folder would be build/, the project's CMake build: it works in one of
# its own.
BUILD_BASE = "build-python"
os.makedirs(os.path.join(ROOT, BUILD_BASE), exist_ok=True)

setup(
    name="quorvex",
    version="1.0.0",
    description="Market data from the PCQW32 feed library as pandas frames",
    packages=["quorvex"],
    package_dir={"quorvex": "python/quorvex"},
    ext_modules=[Extension("quorvex._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    python_requires=">=3.9",
    install_requires=["numpy", "pandas"],
    zip_safe=False,
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
)

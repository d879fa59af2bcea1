"""The wheel's tag: the package runs on any Python 3 through ctypes (py3, no ABI), but the
library inside it is built for one platform, which scripts/package-bindings.sh names with
--plat-name (manylinux_2_X_x86_64 from the library's glibc symbols, or win_amd64)."""
from setuptools import setup
from setuptools.dist import Distribution
from wheel.bdist_wheel import bdist_wheel


class LibraryDistribution(Distribution):
    # The library makes the wheel one of a platform, which setuptools knows of compiled
    # extensions alone: installed with the platform's files, never taken for pure Python.
    def has_ext_modules(self):
        return True


class PlatformWheel(bdist_wheel):
    def get_tag(self):
        if not self.plat_name_supplied:
            raise SystemExit("give the platform of the library inside: --plat-name")
        return "py3", "none", self.plat_name


setup(distclass=LibraryDistribution, cmdclass={"bdist_wheel": PlatformWheel})

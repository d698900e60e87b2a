"""The installation as its users get it: the Debian package built by cpack, and a C++
program outside the tree linking the installed library through find_package(tbln)."""
import os
import subprocess

import pytest

BUILD = os.environ["TBLN_BUILD_DIR"]
SOURCE = os.environ["TBLN_SOURCE_DIR"]
HERE = os.path.dirname(os.path.abspath(__file__))


# The tools run without the sanitizer runtime the module's tests preload.
TOOLS_ENV = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}


def run(*args, env=None):
    return subprocess.run(args, check=True, capture_output=True, text=True,
                          env=dict(TOOLS_ENV, **(env or {})))


@pytest.fixture(scope="module")
def deb(tmp_path_factory):
    out = tmp_path_factory.mktemp("deb")
    # gzip: the test needs the package's contents, not its smallest size.
    run("cpack", "-G", "DEB", "-B", str(out), "-D", "CPACK_DEBIAN_COMPRESSION_TYPE=gzip",
        "--config", os.path.join(BUILD, "CPackConfig.cmake"))
    debs = [p for p in out.iterdir() if p.suffix == ".deb"]
    assert len(debs) == 1, debs
    return debs[0]


def test_the_package_holds_the_library_module_programs_and_install_files(deb):
    listing = run("dpkg-deb", "-c", str(deb)).stdout
    paths = {line.split()[5].lstrip(".") for line in listing.splitlines()}
    links = {line.split()[5].lstrip("."): line.split()[-1]
             for line in listing.splitlines() if line.startswith("l")}
    for expected in ["/usr/bin/tbln", "/usr/bin/tbln-reader", "/usr/bin/Tabulon",
                     "/usr/lib/libtbln.so.0.1", "/usr/lib/libtbln-qt.so",
                     "/usr/include/tbln/tbln.hpp",
                     "/usr/include/tbln/automation/application.hpp",
                     "/usr/include/tbln/automation/records.hpp",
                     "/usr/include/tbln/core/array.hpp", "/usr/include/tbln/core/error.hpp",
                     "/usr/lib/cmake/tbln/tblnConfig.cmake",
                     "/usr/lib/cmake/tbln/tblnTargets.cmake",
                     "/usr/lib/pkgconfig/tbln.pc",
                     "/usr/share/tbln/acad/quorvex.cui", "/usr/share/tbln/acad/version.txt",
                     "/usr/share/tbln/examples/door_schedule.xlsx",
                     "/usr/share/tbln/examples/draw_table_ezdxf.py"]:
        assert expected in paths, expected
    assert links["/usr/lib/libtbln.so.0"] == "libtbln.so.0.1"
    assert any(p.startswith("/usr/lib/python3/dist-packages/tbln.") and p.endswith(".so")
               for p in paths)
    # The adapters' internals stay out of the headers.
    assert not any(p.startswith("/usr/include/tbln/adapters") for p in paths)

    fields = run("dpkg-deb", "-f", str(deb), "Package", "Depends", "Architecture").stdout
    assert "Package: tbln" in fields
    for dependency in ["libzip4", "libexpat1", "libpugixml1v5", "libfontconfig1", "python3 (>= 3."]:
        assert dependency in fields, fields
    control = run("dpkg-deb", "-I", str(deb)).stdout
    # The library is registered with the dynamic linker on install and removal.
    assert "shlibs" in control and "postinst" in control and "postrm" in control


def test_a_program_outside_the_tree_links_the_installed_library(tmp_path):
    prefix = tmp_path / "prefix"
    run("cmake", "--install", BUILD, "--prefix", str(prefix))
    config = [
        "cmake", "-S", os.path.join(HERE, "consumer"), "-B", str(tmp_path / "build"), "-G", "Ninja",
        f"-DCMAKE_PREFIX_PATH={prefix}", f"-DCMAKE_CXX_FLAGS={os.environ.get('TBLN_CXX_FLAGS', '')}"]
    run(*config)
    run("cmake", "--build", str(tmp_path / "build"))
    env = {"TBLN_READER": str(prefix / "bin" / "tbln-reader")}
    out = run(str(tmp_path / "build" / "consumer"), str(tmp_path / "root"),
              os.path.join(SOURCE, "examples", "door_schedule.xlsx"), "Doors", env=env).stdout
    assert out.split()[:4] == ["Doors", "1:10", "1:8", "DOOR"]
    # pkg-config finds the moved prefix from the file's own place.
    flags = run("pkg-config", "--cflags", "--libs", "tbln",
                env={"PKG_CONFIG_PATH": str(prefix / "lib" / "pkgconfig")}).stdout
    assert f"-I{prefix}/lib/pkgconfig/../../include" in flags and "-ltbln" in flags

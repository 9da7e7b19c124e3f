#!/usr/bin/env bash
# Builds the Debian package of Talvex: a release build under /usr with Debian's
# hardening flags, packed by CPack, its dependencies computed by dpkg-shlibdeps.
# Usage: bash scripts/package.sh [build-folder]   (default build-package)
# Leaves build-folder/talvex_VERSION_ARCH.deb and prints its path last.
set -euo pipefail
cd "$(dirname "$0")/.."

# dpkg-dev: dpkg-buildflags and dpkg-shlibdeps; file: CPack looks at the binaries with it.
bash scripts/deps.sh dpkg-dev file

dir=${1:-build-package}
# All of Debian's hardening, binding included.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTALVEX_TESTS=OFF -DTALVEX_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/talvex_*.deb
(cd "$dir" && cpack -G DEB)
ls "$dir"/talvex_*.deb

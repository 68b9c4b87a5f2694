#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package build/veldtra_<version>_<arch>.deb
# with CPack. Install it with: sudo apt install ./build/veldtra_<version>_<arch>.deb
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
build_tree "$VELDTRA_ROOT/build" -DBUILD_TESTING=OFF
cd "$VELDTRA_ROOT/build"
cpack -G DEB

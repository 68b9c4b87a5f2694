#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package build/veldtra_<version>_<arch>.deb
# with CPack; then prints the command that installs it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
build_tree "$VELDTRA_ROOT/build" -DBUILD_TESTING=OFF
cd "$VELDTRA_ROOT/build"
# Dated by the newest changelog entry, the package comes out the same byte for byte each time.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog --file "$VELDTRA_ROOT/packaging/changelog" --show-field Timestamp)}
export SOURCE_DATE_EPOCH
package=$(cpack -G DEB | tee /dev/stderr | sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p')
[ -f "$package" ] || { echo "cpack made no package" >&2; exit 1; }
echo "Install it with: sudo apt install ./${package#"$VELDTRA_ROOT"/}"

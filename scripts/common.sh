# Shared by the project's scripts: installs what a fresh Debian machine lacks, and builds.
set -euo pipefail

VELDTRA_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Packages needed to build and run the viewer.
BUILD_PACKAGES=(build-essential cmake qt6-base-dev qt6-base-dev-tools libgl-dev
                fonts-dejavu-core)
# Packages needed by the tests: GoogleTest, a virtual X server with input and screenshots,
# validators of the desktop entry, the AppStream metainfo and the Debian package (lintian),
# clang with libFuzzer for the fuzz targets (libclang-rt-dev is the runtime of the release's own
# clang), the VNC server of the remote screen, Python for the tests that speak to it and read
# the metainfo, and dbus-daemon for the private session bus each display test starts.
TEST_PACKAGES=(libgtest-dev xvfb xauth xdotool imagemagick x11-utils desktop-file-utils
               appstream lintian clang libclang-rt-dev x11vnc python3 dbus-daemon)
# Packages for making the Debian package: dpkg-shlibdeps works out its dependencies, and CPack
# finds the binaries with file.
PACKAGE_PACKAGES=(dpkg-dev file)
# Packages for showing the window where no display is reachable.
REMOTE_PACKAGES=(xvfb xauth x11vnc dbus-daemon)

ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    # Through sudo the environment is passed on the command line: sudo resets it otherwise.
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_tree DIR [cmake options...]: configures (once) and builds the whole project in DIR.
# With VELDTRA_TARGETS set (names separated by spaces), builds only those targets.
build_tree() {
    local dir="$1"
    shift
    cmake -S "$VELDTRA_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    local targets=()
    [ -n "${VELDTRA_TARGETS:-}" ] && read -r -a targets <<<"--target $VELDTRA_TARGETS"
    cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
}

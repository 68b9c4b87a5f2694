#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer. Without a display it runs the viewer
# on a virtual screen and shares that screen over VNC on localhost only, behind a password
# (remote_screen.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}"
build_tree "$VELDTRA_ROOT/build" -DBUILD_TESTING=OFF
viewer="$VELDTRA_ROOT/build/bin/veldtra"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$viewer"
fi

ensure_packages "${REMOTE_PACKAGES[@]}"
exec "$VELDTRA_ROOT/scripts/remote_screen.sh" "$viewer"

#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer. Without a display it runs the viewer
# on a virtual screen and shares that screen over VNC on localhost only.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}"
build_tree "$VELDTRA_ROOT/build" -DBUILD_TESTING=OFF
viewer="$VELDTRA_ROOT/build/bin/veldtra"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$viewer"
fi

ensure_packages "${REMOTE_PACKAGES[@]}"
port="${VELDTRA_VNC_PORT:-5900}"
cat <<MSG
No display is reachable from this shell, so veldtra runs on a virtual screen.
To see it, connect a VNC viewer to localhost:$port on this machine, e.g.
    vncviewer localhost:$port
From another computer, tunnel the port first:
    ssh -L $port:localhost:$port <this machine>   then   vncviewer localhost:$port
The screen is shared on localhost only. Close the window, or press Ctrl+C here, to stop.
MSG
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    x11vnc -quiet -localhost -nopw -forever -shared -rfbport "$1" -display "$DISPLAY" >/dev/null 2>&1 &
    vnc=$!
    trap "kill $vnc 2>/dev/null" EXIT
    QT_QPA_PLATFORM=xcb "$2"' _ "$port" "$viewer"

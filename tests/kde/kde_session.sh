#!/bin/sh
# A private, headless KDE Plasma compositor for the tests: a session bus, the accessibility bus
# (switched on, as a user's setting would be) and KWin on Wayland with a virtual 1280 x 800 output,
# all with the directory DIR as HOME, XDG_RUNTIME_DIR (DIR/runtime) and first data directory
# (DIR/data, where the tests put the desktop files of the programs that KWin lets use its fake
# input). KWin runs from a copy of its binary (DIR/kwin_wayland): the packaged one carries a file
# capability that a container may refuse.
# Prints "ready <session bus address>" once KWin serves the Wayland socket DIR/runtime/wayland-vl
# and holds its name on the bus, then runs until SIGTERM, when it stops everything it started
# (its process group), or when its parent (the test) has gone. Run it in a session of its own
# (setsid) as the tests' user.
# Usage: kde_session.sh DIR
set -eu
dir=$1
parent=$PPID
export HOME="$dir" XDG_RUNTIME_DIR="$dir/runtime" XDG_DATA_DIRS="$dir/data:/usr/share"
export XDG_CONFIG_HOME="$dir/config" XDG_CACHE_HOME="$dir/cache"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
mkdir -p "$XDG_RUNTIME_DIR" "$dir/data/applications" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
trap 'trap - TERM INT; kill -TERM 0 2>/dev/null; exit 0' TERM INT

bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1)
DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | sed -n 1p)
bus_pid=$(echo "$bus" | sed -n 2p)
export DBUS_SESSION_BUS_ADDRESS
trap 'trap - TERM INT; kill "$bus_pid" 2>/dev/null; kill -TERM 0 2>/dev/null; exit 0' TERM INT

/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
cp "$(command -v kwin_wayland)" "$dir/kwin_wayland"
"$dir/kwin_wayland" --virtual --width 1280 --height 800 --no-lockscreen --socket wayland-vl \
  >/dev/null 2>&1 &
kwin=$!

owner() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q true
}
tries=0
until [ -S "$XDG_RUNTIME_DIR/wayland-vl" ] && owner org.kde.KWin && owner org.a11y.Bus; do
  tries=$((tries + 1))
  if [ "$tries" -gt 400 ] || ! kill -0 "$kwin" 2>/dev/null; then
    echo "failed"
    kill "$bus_pid" 2>/dev/null
    kill -TERM 0
  fi
  sleep 0.025
done
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
  org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled \
  variant:boolean:true >/dev/null
echo "ready $DBUS_SESSION_BUS_ADDRESS"
while kill -0 "$kwin" 2>/dev/null && [ -d "/proc/$parent" ]; do
  sleep 1 &
  wait $! || true
done
kill "$bus_pid" 2>/dev/null
kill -TERM 0

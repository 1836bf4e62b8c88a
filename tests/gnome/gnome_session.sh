#!/bin/sh
# A headless GNOME session for the tests: a private session bus, PipeWire, the accessibility bus
# and the compositor (mutter, or gnome-shell with a private empty system bus, which it asks for
# logind), all in the runtime directory given, as the user that runs this script. Prints
# "DBUS_SESSION_BUS_ADDRESS=...", "WAYLAND_DISPLAY=...", "COMPOSITOR_PID=..." and then "ready" once
# the compositor's Wayland socket and its remote desktop service are there (under gnome-shell with
# the accessibility bus switched on); stops everything it started when it is terminated.
# Usage: gnome_session.sh RUNTIME_DIR mutter|gnome-shell
set -u
export XDG_RUNTIME_DIR="$1"
compositor="$2"
export HOME="$XDG_RUNTIME_DIR"
export XDG_CONFIG_HOME="$XDG_RUNTIME_DIR/config" XDG_CACHE_HOME="$XDG_RUNTIME_DIR/cache"
export XDG_DATA_HOME="$XDG_RUNTIME_DIR/data" XDG_STATE_HOME="$XDG_RUNTIME_DIR/state"
# Settings from a key file of the session's own. The compositor centres new windows: where it puts
# the first window of an empty monitor otherwise differs between versions (mutter 43 leaves the
# margins of a tiling of equal windows, mutter 48 centres it), and the tests need to know where the
# receiver's window is.
mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
printf '[org/gnome/mutter]\ncenter-new-windows=true\n' >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
export GSETTINGS_BACKEND=keyfile
pids=""
compositor_pid=""
children_of() { # the processes whose parent is $1, from /proc
  for stat in /proc/[0-9]*/stat; do
    read -r pid _ _ ppid _ <"$stat" 2>/dev/null || continue
    [ "$ppid" = "$1" ] && printf '%s ' "$pid"
  done
}
# Within the second that the tests wait before they kill this script: what has not ended after
# its TERM is killed, the compositor's own children first, so that no compositor outlives its
# session (a gnome-shell left behind stays for good, beside the next test's).
stop() {
  children=""
  [ -n "$compositor_pid" ] && children=$(children_of "$compositor_pid")
  [ -n "$pids" ] && kill $pids 2>/dev/null
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    alive=""
    for pid in $pids; do kill -0 "$pid" 2>/dev/null && alive="$alive $pid"; done
    [ -z "$alive" ] && break
    sleep 0.1
  done
  kill -KILL $children $alive 2>/dev/null
  wait
  exit 0
}
trap stop TERM INT HUP

bus() { # a bus daemon on the config, its address in the variable named
  dbus-daemon --config-file="$2" --fork --print-address=1 --print-pid=1 >"$XDG_RUNTIME_DIR/$1"
  eval "$1=\$(sed -n 1p \"\$XDG_RUNTIME_DIR/$1\")"
  pids="$pids $(sed -n 2p "$XDG_RUNTIME_DIR/$1")"
}
bus DBUS_SESSION_BUS_ADDRESS /usr/share/dbus-1/session.conf
export DBUS_SESSION_BUS_ADDRESS

pipewire >/dev/null 2>&1 &
pids="$pids $!"
wireplumber >/dev/null 2>&1 &
pids="$pids $!"

display=wayland-vl
if [ "$compositor" = gnome-shell ]; then
  # Open to its one user, with nothing to activate: every question for logind fails at once.
  cat >"$XDG_RUNTIME_DIR/system.conf" <<CONF
<busconfig><listen>unix:path=$XDG_RUNTIME_DIR/system_bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
CONF
  bus DBUS_SYSTEM_BUS_ADDRESS "$XDG_RUNTIME_DIR/system.conf"
  export DBUS_SYSTEM_BUS_ADDRESS
  gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 \
    --wayland-display "$display" >"$XDG_RUNTIME_DIR/compositor.log" 2>&1 &
else
  mutter --headless --wayland --no-x11 --virtual-monitor 1280x800 \
    --wayland-display "$display" >"$XDG_RUNTIME_DIR/compositor.log" 2>&1 &
fi
compositor_pid=$!
pids="$pids $compositor_pid"

for _ in $(seq 400); do
  if [ -S "$XDG_RUNTIME_DIR/$display" ] &&
     busctl --user call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
       NameHasOwner s org.gnome.Mutter.RemoteDesktop 2>/dev/null | grep -q true; then
    if [ "$compositor" = gnome-shell ]; then
      # The accessibility bus switched on, as a user's setting would (the shell's snap targets).
      busctl --user set-property org.a11y.Bus /org/a11y/bus org.a11y.Status IsEnabled b true \
        >/dev/null 2>&1
    fi
    echo "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS"
    echo "WAYLAND_DISPLAY=$display"
    echo "COMPOSITOR_PID=$compositor_pid"
    echo ready
    break
  fi
  sleep 0.05
done
while :; do sleep 1 & wait $!; done

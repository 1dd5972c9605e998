#!/usr/bin/env bash
# Runs a command with a desktop keyring (the Secret Service of gnome-keyring, unlocked) on a session
# bus of its own, under a HOME and runtime folder of its own that are removed afterwards.
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home
export XDG_RUNTIME_DIR=$home/runtime XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY GNOME_KEYRING_CONTROL
# The daemon leaves with the bus when the command ends.
dbus-run-session -- bash -c '
  eval "$(printf brindlecast | gnome-keyring-daemon --unlock --components=secrets)"
  "$@"' keyring "$@" 2> >(grep -v "Failed to set fd limit" >&2)

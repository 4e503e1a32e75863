#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND with a private PulseAudio server holding three null sinks: a
# monitor's own audio (device.product.name "DELL U2720Q", on the card in
# PCI slot 01:00), the same model's on the card in slot 02:00, a network (RAOP)
# sink "Living Room TV" and a plain one. Exit 77 (skipped) when pulseaudio
# or pactl is missing.
set -u
. "$(dirname "$0")/require.sh"
require_tools "pulseaudio, pulseaudio-utils" pulseaudio pactl
XDG_RUNTIME_DIR=$(mktemp -d)
HOME=$XDG_RUNTIME_DIR
export XDG_RUNTIME_DIR HOME
chmod 700 "$XDG_RUNTIME_DIR"
unset PULSE_SERVER
pulseaudio --daemonize=no -n --use-pid-file=no --exit-idle-time=-1 --disallow-exit \
    --disable-shm --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=dell sink_properties='device.product.name=\"DELL U2720Q\" device.form_factor=monitor device.bus_path=pci-0000:01:00.1'" \
    --load="module-null-sink sink_name=dell_card2 sink_properties='device.product.name=\"DELL U2720Q\" device.form_factor=monitor device.bus_path=pci-0000:02:00.1'" \
    --load="module-null-sink sink_name=raop_output.living_room sink_properties='device.description=\"Living Room TV\"'" \
    --load="module-null-sink sink_name=speakers sink_properties='device.description=\"Speakers\"'" \
    >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
for _ in $(seq 1 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
done
"$@"

#!/usr/bin/env bash
# Saves two pictures of the show workflow under Xvfb: docs/desktop-offline-show.png (a show of
# 22 units opened with two of them connected and differing from it) and docs/desktop-preview.png
# (the preview of "Write show to units").
# OWL_BUILD_DIR picks a build directory that already holds owl_desktop and owlctl
# (default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${OWL_BUILD_DIR:-build/release}"
for tool in Xvfb xdotool import python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool (Xvfb, xdotool, imagemagick)" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'kill "${app:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
"$build_dir/cli/owlctl" --simulator save SIM0001 "$work/sim0001.json" >/dev/null 2>&1
"$build_dir/cli/owlctl" --simulator save SIM0002 "$work/sim0002.json" >/dev/null 2>&1
# SIM0001 and SIM0002 as the show would have them, and 20 packs that are not connected.
python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
one = json.load(open(f"{work}/sim0001.json"))
two = json.load(open(f"{work}/sim0002.json"))
one.update(unit_name="Drums", delay_ms=120, hph_mode="STEREO")
two.update(unit_name="Bass", delay_ms=80)
units = [{"key": "SIM0001", "locked": False, "settings": one},
         {"key": "SIM0002", "locked": False, "settings": two}]
for i in range(20):
    s = dict(one, unit_name=f"Pack-{i + 3}", serial=1011 + i, delay_ms=100)
    s["channels"] = [dict(c, frequency=215000 + ((i * 10 + n) * 25) % 2000)
                     for n, c in enumerate(one["channels"])]
    units.append({"key": f"SIM{11 + i:04d}", "locked": False, "settings": s})
show = {"format": "owl-show", "version": 1, "name": "Main stage, Friday", "units": units}
json.dump(show, open(f"{work}/friday.json", "w"), indent=2)
PY

export DISPLAY=:97
Xvfb "$DISPLAY" -screen 0 1440x920x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
"$build_dir/host/owl_desktop" --simulator "$work/friday.json" >/dev/null 2>&1 &
app=$!
sleep 4
import -window root docs/desktop-offline-show.png
xdotool search --name "Main stage" windowfocus --sync key ctrl+shift+w
sleep 1.5
import -window root docs/desktop-preview.png
echo "wrote docs/desktop-offline-show.png docs/desktop-preview.png"

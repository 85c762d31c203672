#!/usr/bin/env bash
# Installs a build directory into a fresh prefix with `cmake --install` and runs both programs
# from there, with nothing pointing them at the build tree.
# Usage: install_test.sh BUILD_DIR APP_ID
set -euo pipefail
build_dir=$1
app_id=$2
prefix=$(mktemp -d /tmp/owl-install-XXXXXX)
trap 'rm -rf "$prefix"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build_dir" --prefix "$prefix" >/dev/null

for file in bin/owlctl bin/owl_desktop lib/udev/rules.d/70-owl-units.rules \
    share/applications/owl-desktop.desktop share/metainfo/"$app_id".metainfo.xml \
    share/icons/hicolor/scalable/apps/owl-desktop.svg \
    share/icons/hicolor/48x48/apps/owl-desktop.png share/icons/hicolor/128x128/apps/owl-desktop.png \
    share/icons/hicolor/256x256/apps/owl-desktop.png share/man/man1/owlctl.1.gz \
    share/man/man1/owl_desktop.1.gz share/doc/owl-configurator/README.md \
    share/doc/owl-configurator/docs/hardware.md share/doc/owl-configurator/copyright; do
  [ -f "$prefix/$file" ] || fail "$file was not installed"
done
engine=$(find "$prefix/lib" -name libowl_engine.so)
[ -n "$engine" ] || fail "libowl_engine.so was not installed"

# A copied prefix must work as well as the one installed into, so the programs may only find
# the engine relative to themselves.
moved=$(mktemp -d /tmp/owl-moved-XXXXXX)
trap 'rm -rf "$prefix" "$moved"' EXIT
cp -a "$prefix/." "$moved/"
rm -rf "$prefix"

unset LD_LIBRARY_PATH
out=$(cd / && "$moved/bin/owlctl" --simulator --wait 10 list) || fail "owlctl list failed: $out"
for key in SIM0001 SIM0002; do
  grep -q "^$key" <<<"$out" || fail "owlctl list did not list $key: $out"
done

# Run from the installed prefix, the doctor names the installed copy of the rule and never the
# source tree.
advice=$(OWLCTL_UDEV_RULES_DIRS="$moved/nowhere" "$moved/bin/owlctl" doctor || true)
grep -q "sudo cp $moved/lib/udev/rules.d/70-owl-units.rules /etc/udev/rules.d/" <<<"$advice" ||
  fail "doctor does not name the installed rule: $advice"
if grep -q packaging <<<"$advice"; then fail "doctor names the source tree: $advice"; fi

# Every command's help is in the manual page.
page=$(zcat "$moved/share/man/man1/owlctl.1.gz")
for command in $("$moved/bin/owlctl" --help | sed -n '/^COMMANDS/,/^$/p' | awk 'NR > 1 && NF {print $1}'); do
  grep -q "^\.SS \"$command\"" <<<"$page" || fail "owlctl.1 lacks the command $command"
done

ready=$(cd / && QT_QPA_PLATFORM=offscreen OWL_DESKTOP_EXIT_WHEN_READY=1 \
  timeout 60 "$moved/bin/owl_desktop" --simulator 2>&1) || fail "owl_desktop failed: $ready"
grep -q "^ready after " <<<"$ready" || fail "owl_desktop did not list both units: $ready"
echo "installed into a prefix; owlctl listed both units and owl_desktop started"

#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built, without installing it: its file list,
# lintian, the AppStream and desktop-entry validators, and both programs run from the unpacked
# package.
set -euo pipefail
cd "$(dirname "$0")/.."

deb=$(ls build/package/owl-configurator_*.deb)
root=$(mktemp -d /tmp/owl-deb-XXXXXX)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

files=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for file in ./usr/bin/owlctl ./usr/bin/owl_desktop ./usr/lib/owl-configurator/libowl_engine.so \
    ./usr/lib/udev/rules.d/70-owl-units.rules ./usr/share/applications/owl-desktop.desktop \
    ./usr/share/icons/hicolor/scalable/apps/owl-desktop.svg \
    ./usr/share/icons/hicolor/48x48/apps/owl-desktop.png \
    ./usr/share/icons/hicolor/128x128/apps/owl-desktop.png \
    ./usr/share/icons/hicolor/256x256/apps/owl-desktop.png \
    ./usr/share/man/man1/owlctl.1.gz ./usr/share/man/man1/owl_desktop.1.gz \
    ./usr/share/doc/owl-configurator/README.md ./usr/share/doc/owl-configurator/copyright \
    ./usr/share/doc/owl-configurator/changelog.gz \
    ./usr/share/doc/owl-configurator/docs/hardware.md \
    ./usr/share/doc/owl-configurator/docs/owlctl.md \
    ./usr/share/doc/owl-configurator/docs/desktop.md; do
  grep -qxF "$file" <<<"$files" || fail "$deb lacks $file"
done

grep -qx '\./usr/share/metainfo/[^/]*\.metainfo\.xml' <<<"$files" || fail "$deb lacks its AppStream file"

lintian --fail-on error,warning "$deb" || fail "lintian found problems"

dpkg-deb -x "$deb" "$root"
# Here, as in any container, udev does not run: the maintainer scripts must still succeed.
dpkg-deb -e "$deb" "$root/DEBIAN"
sh "$root/DEBIAN/postinst" configure || fail "postinst fails without udev"
sh "$root/DEBIAN/postrm" remove || fail "postrm fails without udev"
sh "$root/DEBIAN/postrm" purge || fail "postrm fails without udev"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
desktop-file-validate "$root"/usr/share/applications/owl-desktop.desktop

out=$(cd / && env -u LD_LIBRARY_PATH "$root/usr/bin/owlctl" --simulator --wait 10 list) ||
  fail "owlctl from the package failed: $out"
grep -q '^SIM0001' <<<"$out" && grep -q '^SIM0002' <<<"$out" ||
  fail "owlctl from the package did not list both units: $out"
ready=$(cd / && env -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen OWL_DESKTOP_EXIT_WHEN_READY=1 \
  timeout 60 "$root/usr/bin/owl_desktop" --simulator 2>&1) ||
  fail "owl_desktop from the package failed: $ready"
grep -q '^ready after ' <<<"$ready" || fail "owl_desktop from the package did not start: $ready"

echo "$deb: $(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"

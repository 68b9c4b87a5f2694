#!/bin/bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from the build tree with CPack and checks it as a user's system
# would meet it: its name, its control fields (the dependencies being those of the libraries
# its binaries need), its exact file list, its desktop entry and AppStream metainfo (validated),
# lintian's verdict; then, unpacked into a temporary root, the program renders the default view
# with the package's own kernel on a real X display, and with that kernel removed reports the
# missing library and goes on.
#
#   package_test.sh --cpack CPACK --build BUILD_DIR --source SOURCE_DIR --package NAME
#                   --version VERSION --libdir DIR --appid APP_ID --helper EXPECTED_PICTURES
#                   --kernel LIB --artifacts DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/../display/display_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../display/display_lib.sh"
# shellcheck source=SCRIPTDIR/installed_program_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/installed_program_lib.sh"

dt_parse_args "cpack build source package version libdir appid helper kernel artifacts" "$@"

dt_init package "$artifacts"
for tool in dpkg-deb dpkg-query dpkg-architecture appstreamcli lintian readelf python3; do
    command -v "$tool" >/dev/null ||
        dt_fail "$tool is not installed (packages dpkg-dev, appstream, lintian, binutils, python3)"
done
dt_load_layout "$helper"

# ---- The package file ----------------------------------------------------------------------
out=$DT_WORK/out
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$DT_WORK/cpack.log" 2>&1 ||
    { cat "$DT_WORK/cpack.log" >&2; dt_fail "cpack -G DEB failed"; }
arch=$(dpkg --print-architecture)
deb=$out/${package}_${version}_${arch}.deb
[ -f "$deb" ] || dt_fail "cpack made \"$(cd "$out" && ls -- *.deb 2>/dev/null)\", not $(basename "$deb")"
cp "$deb" "$DT_ARTIFACTS/"
dt_log "built $(basename "$deb")"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = "$package" ] || dt_fail "the package is named \"$(field Package)\", not $package"
[ "$(field Version)" = "$version" ] || dt_fail "the package's version is \"$(field Version)\", not $version"
[ "$(field Architecture)" = "$arch" ] || dt_fail "the package is for \"$(field Architecture)\", not $arch"

# ---- The files it installs -----------------------------------------------------------------
program=usr/bin/veldtra
library=usr/$libdir/libzorvakel.so
desktop=usr/share/applications/$appid.desktop
metainfo=usr/share/metainfo/$appid.metainfo.xml
sort >"$DT_WORK/files.expected" <<LIST
$program
$library
$desktop
$metainfo
usr/share/doc/$package/changelog.gz
usr/share/doc/$package/copyright
usr/share/man/man1/veldtra.1.gz
LIST
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort >"$DT_WORK/files.actual"
diff -u "$DT_WORK/files.expected" "$DT_WORK/files.actual" >&2 ||
    dt_fail "the package's files are not the program, its kernel, its desktop files and its documents"

root=$DT_WORK/root
dpkg-deb --extract "$deb" "$root"
root=$(cd "$root" && pwd -P)
[ -x "$root/$program" ] || dt_fail "the packaged program is not executable"

# ---- Dependencies: those of the libraries its binaries need, worked out, none typed in -------
# The package that holds each library the program and the kernel need, by its name in this
# system's library folder.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
needed_packages()
{
    local binary needed owner
    for binary in "$root/$program" "$root/$library"; do
        for needed in $(readelf --dynamic "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
            owner=$(dpkg-query --search "*/$multiarch/$needed" 2>/dev/null | sed -n 's/^\([^:,]*\)\(:[a-z0-9]*\)\{0,1\}: .*/\1/p' | sort -u)
            [ "$(wc -w <<<"$owner")" -eq 1 ] || dt_fail "no single package holds $needed (found \"$owner\")"
            echo "$owner"
        done
    done | sort -u
}
needed_packages >"$DT_WORK/depends.expected"
field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | sort -u >"$DT_WORK/depends.actual"
diff -u "$DT_WORK/depends.expected" "$DT_WORK/depends.actual" >&2 ||
    dt_fail "Depends: \"$(field Depends)\" is not the packages of the libraries the binaries need"
grep -q '(>= ' <<<"$(field Depends)" || dt_fail "Depends: \"$(field Depends)\" carries no versions from the libraries' symbols"
dt_log "Depends: $(field Depends)"

# ---- Desktop entry and AppStream metainfo --------------------------------------------------
ip_check_desktop_entry "$root/$desktop" "$root/$program"
appstreamcli validate --no-net "$root/$metainfo" >"$DT_WORK/appstream.log" 2>&1 ||
    { cat "$DT_WORK/appstream.log" >&2; dt_fail "appstreamcli validate rejects $metainfo"; }
sed "s/^/[$DT_NAME] /" "$DT_WORK/appstream.log" >&2
# What a software centre shows: the component of this program, launched by the packaged desktop
# entry, with a summary, a description, the screenshot of the source tree, a content rating and
# this release.
python3 - "$root/$metainfo" "$appid" "$version" >"$DT_WORK/metainfo.log" 2>&1 <<'PY' ||
import sys
import xml.etree.ElementTree as ET
path, app_id, version = sys.argv[1:]
c = ET.parse(path).getroot()
def need(ok, what):
    if not ok:
        sys.exit("metainfo: " + what)
need(c.get("type") == "desktop-application", "the component is not a desktop application")
need(c.findtext("id") == app_id, "the id is not " + app_id)
need(c.findtext("launchable[@type='desktop-id']") == app_id + ".desktop", "it is not launched by " + app_id + ".desktop")
need((c.findtext("summary") or "").strip(), "no summary")
need(c.find("description/p") is not None, "no description")
image = c.findtext("screenshots/screenshot[@type='default']/image") or ""
need(image.startswith("https://") and image.endswith("/docs/screenshot.png"), "the screenshot is not docs/screenshot.png: " + image)
need(c.find("content_rating[@type='oars-1.1']") is not None, "no OARS content rating")
need([r.get("version") for r in c.findall("releases/release")][:1] == [version], "the newest release is not " + version)
print("metainfo: " + app_id + ", screenshot " + image)
PY
    { cat "$DT_WORK/metainfo.log" >&2; dt_fail "the metainfo does not describe this package"; }
sed "s/^/[$DT_NAME] /" "$DT_WORK/metainfo.log" >&2
[ "$(identify -format '%m' "$source/docs/screenshot.png" 2>/dev/null)" = PNG ] ||
    dt_fail "the metainfo's screenshot, docs/screenshot.png, is not a PNG picture in the source tree"

# ---- lintian: no errors (warnings are listed) ----------------------------------------------
status=0
lintian "$deb" >"$DT_WORK/lintian.log" 2>&1 || status=$?
grep -E '^[EWI]: ' "$DT_WORK/lintian.log" | sed "s/^/[$DT_NAME] lintian: /" >&2 || true
! grep -q '^E: ' "$DT_WORK/lintian.log" || dt_fail "lintian reports errors in the package"
[ "$status" -eq 0 ] || { cat "$DT_WORK/lintian.log" >&2; dt_fail "lintian failed with status $status"; }

# ---- Unpacked, the program runs with its own kernel, and reports it missing ----------------
ip_check_renders "$root/$program" "$root/$library" "$helper" "$kernel"
rm "$root/$library"
ip_check_missing_kernel "$root/$program" "$kernel"
dt_pass

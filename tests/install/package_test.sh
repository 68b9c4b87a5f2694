#!/bin/bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from the build tree with CPack and checks it as a user's system
# would meet it: its name, its control fields and members (the dependencies being those that
# dpkg-shlibdeps works out from its binaries), its exact file list with modes and owners, its
# changelog, desktop entry and AppStream metainfo (validated), lintian's verdict; then,
# unpacked into a temporary root, the program renders the default view with the package's own
# kernel on a real X display, and with that kernel removed reports the missing library and goes
# on.
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
for tool in dpkg-deb dpkg-shlibdeps dpkg-parsechangelog appstreamcli lintian python3; do
    command -v "$tool" >/dev/null ||
        dt_fail "$tool is not installed (packages dpkg-dev, appstream, lintian, python3)"
done
dt_load_layout "$helper"

# ---- The package file ----------------------------------------------------------------------
out=$DT_WORK/out
# Made under a umask that keeps everything private: the package must not take it on.
(umask 077 && exec "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$out") >"$DT_WORK/cpack.log" 2>&1 ||
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

# ---- The files it installs, and how --------------------------------------------------------
program=usr/bin/veldtra
library=usr/$libdir/libzorvakel.so
desktop=usr/share/applications/$appid.desktop
metainfo=usr/share/metainfo/$appid.metainfo.xml
changelog=usr/share/doc/$package/changelog.gz
sort >"$DT_WORK/files.expected" <<LIST
$program
$library
$desktop
$metainfo
$changelog
usr/share/doc/$package/copyright
usr/share/lintian/overrides/$package
usr/share/man/man1/veldtra.1.gz
LIST
dpkg-deb --contents "$deb" >"$DT_WORK/contents"
awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' "$DT_WORK/contents" | sort >"$DT_WORK/files.actual"
diff -u "$DT_WORK/files.expected" "$DT_WORK/files.actual" >&2 ||
    dt_fail "the package's files are not the program, its kernel, its desktop files and its documents"
# Everything belongs to root; folders and the program are 0755, every other file 0644.
awk -v program="./$program" '
    { expected = $1 ~ /^d/ ? "drwxr-xr-x" : $6 == program ? "-rwxr-xr-x" : "-rw-r--r--" }
    $1 != expected || $2 != "root/root" { print $1, $2, $6, "(expected " expected " root/root)"; bad = 1 }
    END { exit bad }' "$DT_WORK/contents" >&2 ||
    dt_fail "the package holds files or folders with other modes or owners"

# Its control members: CPack's, and the trigger that updates the dynamic loader's cache.
dpkg-deb --control "$deb" "$DT_WORK/control"
[ "$(cd "$DT_WORK/control" && ls | tr '\n' ' ')" = "control md5sums postinst postrm triggers " ] ||
    dt_fail "the package's control members are $(cd "$DT_WORK/control" && ls | tr '\n' ' ')"
[ "$(cat "$DT_WORK/control/triggers")" = "activate-noawait ldconfig" ] ||
    dt_fail "the package's triggers are \"$(cat "$DT_WORK/control/triggers")\""

# Unpacked where dpkg-shlibdeps expects a package's files (debian/NAME).
root=$DT_WORK/source/debian/$package
mkdir -p "$root"
dpkg-deb --extract "$deb" "$root"
root=$(cd "$root" && pwd -P)

zcat "$root/$changelog" >"$DT_WORK/changelog"
dpkg-parsechangelog --file "$DT_WORK/changelog" --show-field Version >"$DT_WORK/changelog.version" ||
    dt_fail "the package's changelog cannot be read"
[ "$(cat "$DT_WORK/changelog.version")" = "$version" ] ||
    dt_fail "the newest entry of the package's changelog is $(cat "$DT_WORK/changelog.version"), not $version"

# ---- Dependencies: worked out from its binaries, none typed in ------------------------------
! grep -q 'CPACK_DEBIAN_PACKAGE_DEPENDS' "$build/CPackConfig.cmake" ||
    dt_fail "the package's dependencies are typed in (CPACK_DEBIAN_PACKAGE_DEPENDS)"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" >"$DT_WORK/source/debian/control"
(cd "$DT_WORK/source" && dpkg-shlibdeps -O "-e$root/$program" "-e$root/$library") \
    >"$DT_WORK/shlibdeps" 2>"$DT_WORK/shlibdeps.log" ||
    { cat "$DT_WORK/shlibdeps.log" >&2; dt_fail "dpkg-shlibdeps failed on the packaged binaries"; }
worked_out=$(sed -n 's/^shlibs:Depends=//p' "$DT_WORK/shlibdeps")
[ -n "$worked_out" ] && [ "$(field Depends)" = "$worked_out" ] ||
    dt_fail "Depends: \"$(field Depends)\", where the packaged binaries need \"$worked_out\""
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

# ---- lintian: no errors, no warnings but those the package overrides -----------------------
status=0
lintian "$deb" >"$DT_WORK/lintian.log" 2>&1 || status=$?
grep -E '^[A-Z]: ' "$DT_WORK/lintian.log" | sed "s/^/[$DT_NAME] lintian: /" >&2 || true
! grep -qE '^[EW]: ' "$DT_WORK/lintian.log" ||
    dt_fail "lintian reports errors or warnings that the package does not explain in its overrides"
[ "$status" -eq 0 ] || { cat "$DT_WORK/lintian.log" >&2; dt_fail "lintian failed with status $status"; }

# ---- Unpacked, the program runs with its own kernel, and reports it missing ----------------
ip_check_renders "$root/$program" "$root/$library" "$helper" "$kernel"
rm "$root/$library"
ip_check_missing_kernel "$root/$program" "$kernel"
dt_pass

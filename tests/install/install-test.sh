#!/bin/sh
# install-test.sh CMAKE BUILD_DIR gui|nogui
set -eu
cmake=$1 build=$2 gui=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

for f in bin/sondralis-cli share/man/man1/sondralis-cli.1 \
         share/sondralis/examples/lake_survey.gpx share/sondralis/examples/lake_shore.kml; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
# Nothing of the build tree may be needed: no tests, benchmarks or helpers.
extra=$(cd "$prefix" && find . -type f | grep -v -e '^./bin/sondralis$' -e '^./bin/sondralis-cli$' \
  -e '^./share/man/man1/sondralis-cli.1$' -e '^./share/sondralis/examples/' -e '^./share/applications/sondralis.desktop$' \
  -e '^./share/icons/hicolor/[0-9]*x[0-9]*/apps/sondralis.png$' -e '^./share/mime/packages/sondralis.xml$' \
  -e '^./lib/\(.*/\)*sondralis/libsondralis_gdal\.so$' || true)
[ -z "$extra" ] || fail "unexpected files installed: $extra"

# The manual page names every command the program lists.
for c in $("$prefix/bin/sondralis-cli" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z]*\) .*/\1/p'); do
  grep -q "^\.SS $c\$" "$prefix/share/man/man1/sondralis-cli.1" || fail "the manual page lacks $c"
done

# The CLI from the prefix, on the installed example, from another folder.
work="$prefix/work"
mkdir -p "$work"
cd "$work"
"$prefix/bin/sondralis-cli" map "$prefix/share/sondralis/examples/lake_survey.gpx" \
  "$prefix/share/sondralis/examples/lake_shore.kml" -d out --size 200x150 --step 400 >/dev/null
[ -s out/000.ht ] && [ -s out/depth.bmp ] || fail "map from the prefix wrote no map"

# The GDAL exports find their module in the prefix's library folder (the
# program was built for another prefix, and the build tree is not asked).
module=$(cd "$prefix" && find lib* -name libsondralis_gdal.so)
[ -n "$module" ] || fail "the GDAL module is not installed"
"$prefix/bin/sondralis-cli" map "$prefix/share/sondralis/examples/lake_survey.gpx" \
  "$prefix/share/sondralis/examples/lake_shore.kml" -d gdal --size 200x150 --step 400 --geotiff --gpkg >/dev/null ||
  fail "map from the prefix could not make the GDAL exports"
[ -s gdal/depth.tif ] && [ -s gdal/contours.gpkg ] || fail "map from the prefix wrote no GDAL exports"

[ "$gui" = gui ] || exit 0
for f in bin/sondralis share/applications/sondralis.desktop share/icons/hicolor/256x256/apps/sondralis.png \
         share/icons/hicolor/48x48/apps/sondralis.png share/mime/packages/sondralis.xml; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
grep -q '^Exec=sondralis %F$' "$prefix/share/applications/sondralis.desktop" || fail "the desktop entry runs no sondralis"
grep -q '^Icon=sondralis$' "$prefix/share/applications/sondralis.desktop" || fail "the desktop entry has no icon"
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$prefix/share/applications/sondralis.desktop" || fail "the desktop entry is not valid"
fi

# The window from the prefix opens the example it finds in its data folder
# (nothing lies beside the installed program) and draws it.
"$prefix/bin/sondralis" --version | grep -q '^Trakvel ' || fail "the window does not run"
XDG_CONFIG_HOME="$work/config" XDG_DATA_DIRS=/nonexistent "$prefix/bin/sondralis" --example --screenshot window.png \
  2>/dev/null || fail "the window did not open the example"
[ -s window.png ] || fail "the window wrote no picture"
echo "installed and ran from $prefix"

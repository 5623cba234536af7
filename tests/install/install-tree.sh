#!/usr/bin/env bash
# cmake --install lays every file where a Linux desktop looks for it, and the
# desktop entry, metainfo and MIME type pass their validators.
#   install-tree.sh BUILD_DIR WITH_GUIDES(0|1)
set -euo pipefail
build=$1
with_guides=$2
for tool in desktop-file-validate appstreamcli update-mime-database; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing (scripts/install-deps)"; exit 77; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/usr
cmake --install "$build" --prefix "$prefix" >/dev/null

id=org.krcompanion.kr
expected=(
  bin/kr bin/kr-cli bin/kr-meter-sim
  share/kr/Factors.dat share/kr/report-template.txt
  share/applications/$id.desktop
  share/metainfo/$id.metainfo.xml
  share/mime/packages/$id.xml
  share/icons/hicolor/scalable/apps/$id.svg
  share/icons/hicolor/256x256/apps/$id.png
  share/man/man1/kr.1.gz share/man/man1/kr-cli.1.gz share/man/man1/kr-meter-sim.1.gz
  share/doc/kr/copyright share/doc/kr/changelog.gz
)
if [ "$with_guides" = 1 ]; then
  expected+=("share/kr/kr user guide.pdf" "share/kr/Working with your KR.pdf")
fi
status=0
for f in "${expected[@]}"; do
  [ -f "$prefix/$f" ] || { echo "FAIL: not installed: $f"; status=1; }
done
for f in kr kr-cli kr-meter-sim; do
  [ -x "$prefix/bin/$f" ] || { echo "FAIL: not executable: bin/$f"; status=1; }
done
# The 256x256 folder must hold a picture of that size.
if ! file "$prefix/share/icons/hicolor/256x256/apps/$id.png" | grep -q "256 x 256"; then
  echo "FAIL: the PNG icon is not 256 x 256"; status=1
fi

desktop-file-validate "$prefix/share/applications/$id.desktop" || status=1
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml" >"$tmp/appstream.txt" 2>&1 \
  || { cat "$tmp/appstream.txt"; status=1; }
# The MIME database built from our package file knows *.krx.
XDG_DATA_DIRS="$prefix/share" update-mime-database "$prefix/share/mime" 2>"$tmp/mime.txt" || status=1
if [ -s "$tmp/mime.txt" ]; then cat "$tmp/mime.txt"; status=1; fi
grep -q "application/x-kr-data:\*\.krx" "$prefix/share/mime/globs2" \
  || { echo "FAIL: *.krx is not application/x-kr-data"; status=1; }
if command -v groff >/dev/null; then
  for page in kr kr-cli kr-meter-sim; do
    zcat "$prefix/share/man/man1/$page.1.gz" | groff -man -ww -z 2>"$tmp/man.txt" || status=1
    if [ -s "$tmp/man.txt" ]; then echo "$page.1:"; cat "$tmp/man.txt"; status=1; fi
  done
fi
exit $status

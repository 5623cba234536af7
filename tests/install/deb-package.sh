#!/usr/bin/env bash
# cpack makes a .deb whose Depends come from the linked libraries, and the
# programs unpacked from it run: kr-cli finds the installed catalogue beside
# its own folder and keeps its files in the user's folder. lintian finds no
# error or warning in it.
#   deb-package.sh BUILD_DIR
set -euo pipefail
build=$1
for tool in dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing (scripts/install-deps)"; exit 77; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.txt" 2>&1) || { cat "$tmp/cpack.txt"; exit 1; }
debs=("$tmp"/out/kr_*_*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: no kr_<version>_<arch>.deb"; ls "$tmp/out"; exit 1; }
deb=${debs[0]}

status=0
info=$(dpkg-deb -I "$deb")
depends=$(grep '^ Depends:' <<<"$info" || true)
for lib in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6printsupport6; do
  grep -q "$lib" <<<"$depends" || { echo "FAIL: Depends lacks $lib: $depends"; status=1; }
done
for field in Maintainer Section Description; do
  grep -q "^ $field:" <<<"$info" || { echo "FAIL: no $field"; status=1; }
done

root=$tmp/root
dpkg-deb -x "$deb" "$root"
cli=$root/usr/bin/kr-cli
export HOME=$tmp/home
unset KR_HOME XDG_DATA_HOME
mkdir -p "$HOME"
help=$("$cli" --help)
grep -q "^Usage: kr-cli" <<<"$help" || { echo "FAIL: kr-cli --help"; status=1; }

printf '%s\r\n' "02 01 05 Mar 26 14:07 20 Red Oak        63 12.5" >"$tmp/lines.txt"
"$cli" import-lines "$tmp/lines.txt" -o "$tmp/sample.krx"
shown=$("$cli" show "$tmp/sample.krx")
grep -q "Red Oak" <<<"$shown" || { echo "FAIL: show lacks the reading: $shown"; status=1; }

# A list of one species, named from /usr/share/kr/Factors.dat.
{ printf 'HN000010\r\n'; for _ in $(seq 30); do printf '\r\n'; done; } >"$tmp/one.lst"
listed=$("$cli" library show "$tmp/one.lst" 2>&1) || true
grep -q "HN000010  Red Alder" <<<"$listed" || { echo "FAIL: the installed catalogue was not found: $listed"; status=1; }
[ -d "$HOME/.local/share/kr" ] || { echo "FAIL: no per-user folder ~/.local/share/kr"; status=1; }
[ ! -e "$root/usr/bin/kr.ini" ] || { echo "FAIL: kr.ini written beside the installed program"; status=1; }

# The versions the package states for itself agree with the package's own.
version=$(dpkg-deb -f "$deb" Version)
logged=$(zcat "$root/usr/share/doc/kr/changelog.gz" | sed -n '1s/^kr (\([^)]*\)).*/\1/p') || true
[ "$logged" = "$version" ] || { echo "FAIL: the changelog's latest entry is '$logged', the package $version"; status=1; }
released=$(grep -o '<release version="[^"]*"' "$root/usr/share/metainfo/org.krcompanion.kr.metainfo.xml" \
  | head -1 | cut -d'"' -f2) || true
[ "$released" = "$version" ] || { echo "FAIL: the metainfo's latest release is '$released', the package $version"; status=1; }

# What Debian's own checker says: no error or warning (informational tags may stay).
if command -v lintian >/dev/null; then
  lintian --pedantic "$deb" >"$tmp/lintian.txt" 2>&1 || true
  if grep -E '^[EW]: ' "$tmp/lintian.txt"; then echo "FAIL: lintian"; status=1; fi
else
  echo "lintian missing (scripts/install-deps): the package was not checked by it"
fi

ls -l "$deb"
echo "$depends"
exit $status

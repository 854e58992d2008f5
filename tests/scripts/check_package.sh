#!/usr/bin/env bash
# check_package: makes the Debian package from a release build and checks it as a user
# and a distribution would: its files, lintian, the metadata and menu entry, the manual
# pages, one version everywhere, and tessarin-cli run from the unpacked package. Run by
# scripts/test.sh after the release build (not by ctest: the sanitizer build is no
# package).
# usage: check_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail()
{
    echo "FAIL: $*" >&2
    exit 1
}

rm -f "$build"/package/tessarin_*.deb
(cd "$build" && cpack -G DEB -B "$build/package") >"$work/cpack.log" 2>&1 || fail "cpack: $(cat "$work/cpack.log")"
debs=("$build"/package/tessarin_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "cpack made ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
echo "package: ${deb##*/}, $(stat -c %s "$deb") bytes"

# One version: the project's, everywhere.
project=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$version" = "$project" ] || fail "package version $version, project version $project"

# Exactly these files; the libraries come from dpkg-shlibdeps, not from a hand-written list.
app=io.github.tessarin.Tessarin
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | LC_ALL=C sort >"$work/files"
LC_ALL=C sort >"$work/expected" <<EOF
./usr/bin/tessarin
./usr/bin/tessarin-cli
./usr/share/applications/$app.desktop
./usr/share/doc/tessarin/changelog.gz
./usr/share/doc/tessarin/copyright
./usr/share/icons/hicolor/scalable/apps/$app.svg
./usr/share/man/man1/tessarin-cli.1.gz
./usr/share/man/man1/tessarin.1.gz
./usr/share/metainfo/$app.metainfo.xml
EOF
diff -u "$work/expected" "$work/files" || fail "the package's files differ from the list"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libqt6widgets6 libglib2.0-0 libqt6svg6; do
    [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || fail "Depends lacks $lib: $depends"
done

lintian --fail-on error "$deb" 2>&1 | grep -v "running with root privileges" || true
[ "${PIPESTATUS[0]}" = 0 ] || fail "lintian found errors"

dpkg-deb -x "$deb" "$work/root"
root=$work/root
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" >"$work/appstream" 2>&1 \
    || fail "appstreamcli: $(cat "$work/appstream")"
appstreamcli validate-tree --no-net "$root" >"$work/appstream" 2>&1 \
    || fail "appstreamcli validate-tree: $(cat "$work/appstream")"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$app.metainfo.xml" \
    || fail "the metadata's release is not $version"

# The menu entry: valid, and what it names is in the package.
desktop=$root/usr/share/applications/$app.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$root/usr/bin/$exec" ] || fail "the menu entry starts $exec, not in /usr/bin"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon $icon"

# The manual pages render without a warning and carry the version.
for page in tessarin tessarin-cli; do
    file=$root/usr/share/man/man1/$page.1.gz
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$file" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
    zgrep -q "^\.TH .*\"Tessarin $version\"" "$file" || fail "man $page does not say version $version"
done

# Every option tessarin-cli parses is in its --help and its manual page, and so are the
# exit statuses.
cli=$root/usr/bin/tessarin-cli
[ "$("$cli" --version)" = "tessarin-cli $version" ] || fail "tessarin-cli --version: $("$cli" --version)"
"$cli" --help >"$work/help"
zcat "$root/usr/share/man/man1/tessarin-cli.1.gz" | sed 's/\\-/-/g' >"$work/man"
options=$(grep -oE '"--[a-z][a-z-]*"' "$source/cli/main.cpp" | tr -d '"' | sort -u)
[ -n "$options" ] || fail "no options found in cli/main.cpp"
for option in $options; do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" "$work/help" || fail "--help does not list $option"
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" "$work/man" || fail "man tessarin-cli does not list $option"
done
grep -q "^Exit status" "$work/help" || fail "--help gives no exit statuses"
grep -q "^\.SH EXIT STATUS" "$work/man" || fail "man tessarin-cli gives no exit statuses"

# The packaged tool on a small tree: two groups; a hard link, a symbolic link and a
# hidden folder add nothing, a file of the same size but other bytes stays out.
tree=$work/tree
mkdir -p "$tree/a" "$tree/b" "$tree/.hidden"
printf 'photo' >"$tree/a/p.jpg"
printf 'photo' >"$tree/b/p.jpg"
printf 'photo' >"$tree/.hidden/p.jpg"
ln "$tree/a/p.jpg" "$tree/a/p-link.jpg"
ln -s p.jpg "$tree/b/p-symlink.jpg"
printf 'other' >"$tree/b/o.jpg"
printf 'note' >"$tree/a/n.txt"
printf 'note' >"$tree/b/n.txt"
# Each group on one line, its paths sorted and joined by "|", the groups sorted.
(cd "$work" && "$cli" tree 2>/dev/null) \
    | awk 'BEGIN { RS = ""; FS = "\n" } { for (i = 1; i <= NF; i++) print NR "\t" $i }' \
    | LC_ALL=C sort -t "$(printf '\t')" -k1,1n -k2 \
    | awk -F '\t' '$1 != g { if (g != "") print s; g = $1; s = $2; next } { s = s "|" $2 } END { if (g != "") print s }' \
    | LC_ALL=C sort >"$work/groups"
printf '%s\n' "tree/a/n.txt|tree/b/n.txt" "tree/a/p-link.jpg|tree/b/p.jpg" >"$work/expected-groups"
# Either name of the hard-linked file may be the one listed.
sed 's#tree/a/p\.jpg|#tree/a/p-link.jpg|#' "$work/groups" | LC_ALL=C sort >"$work/groups-named"
diff -u "$work/expected-groups" "$work/groups-named" || fail "tessarin-cli from the package gave other groups"
echo "PASS: ${deb##*/}: files, lintian, metadata, menu entry, manual pages, tessarin-cli"

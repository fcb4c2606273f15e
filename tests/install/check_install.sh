#!/bin/sh
# check_install.sh CMAKE BUILD-DIR DESTDIR VERSION
# Installs the build into DESTDIR under /usr, as a package would, and checks
# that every file is where the desktop looks for it, that the installed tool
# runs, and that the installed file type recognises a card by its content.
set -eu
cmake="$1"
build="$2"
dest="$3"
version="$4"
id=io.github.plakuro.Plakuro
usr="$dest/usr"

rm -rf "$dest"
DESTDIR="$dest" "$cmake" --install "$build" --prefix /usr >/dev/null

fail=0
bad() {
    echo "FAIL: $*"
    fail=1
}

for f in bin/plakuro bin/plakuro-cli; do
    [ -f "$usr/$f" ] && [ -x "$usr/$f" ] || bad "/usr/$f is not an installed program"
done
for f in share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/mime/packages/$id.xml share/icons/hicolor/scalable/apps/$id.svg \
    share/man/man1/plakuro.1.gz share/man/man1/plakuro-cli.1.gz share/doc/plakuro/copyright \
    share/doc/plakuro/changelog.gz; do
    [ -s "$usr/$f" ] || bad "/usr/$f is missing or empty"
done

# Each PNG must be as large as the folder it sits in says (width and height
# are the big-endian words at bytes 16 and 20).
for size in 48 128 256; do
    png="$usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
    if [ ! -s "$png" ]; then
        bad "$png is missing"
        continue
    fi
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || bad "$png is $dims"
done

# Configured files carry the project's version, no placeholders.
grep -q "<release version=\"$version\"" "$usr/share/metainfo/$id.metainfo.xml" ||
    bad "metainfo does not name release $version"
zcat "$usr/share/man/man1/plakuro-cli.1.gz" | grep -q "Plakuro $version" || bad "man page lacks version $version"
if grep -l '@[A-Z_]*@' "$usr/share/metainfo/$id.metainfo.xml" ||
    zcat "$usr/share/man/man1/"*.1.gz | grep -q '@[A-Z_]*@'; then
    bad "placeholders left in the files above"
fi

# The installed tool runs and writes a card; the installed type knows it by
# its first bytes alone, and does not take a file whose format mark differs.
export QT_QPA_PLATFORM=offscreen
work="$dest/work"
mkdir -p "$work/home" "$work/config"
"$usr/bin/plakuro-cli" --help >/dev/null || bad "installed plakuro-cli --help failed"
"$usr/bin/plakuro-cli" fill -o "$work/card.pkd" --set eName=Plakuro ||
    bad "installed plakuro-cli could not write a card"
cp "$work/card.pkd" "$work/card-without-extension"
printf '\005PK200' >"$work/other-format"
update-mime-database "$usr/share/mime" 2>"$work/update-mime-database.err" || {
    cat "$work/update-mime-database.err"
    bad "update-mime-database refused the installed type"
}
contentType() {
    XDG_DATA_HOME="$work/home" XDG_DATA_DIRS="$usr/share" \
        gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
}
for f in card.pkd card-without-extension; do
    t=$(contentType "$work/$f")
    [ "$t" = application/x-plakuro-card ] || bad "$f is taken for '$t'"
done
t=$(contentType "$work/other-format")
[ "$t" != application/x-plakuro-card ] || bad "a file with another format mark is taken for a card"

[ "$fail" -eq 0 ] || exit 1
echo "installed:"
find "$dest" -path "$work" -prune -o -path "$usr/share/mime" -prune -o -type f -print | sort
echo "plus $usr/share/mime/packages/$id.xml (the rest of share/mime is this test's own cache)"

#!/bin/sh
# check-deb.sh BUILD-DIR
# Makes the Debian package from an already built tree and checks it.
# As root, or through sudo that asks no password, it installs the package
# with apt as a user would, runs the installed tool, checks that the card
# file type reached the system's database, and removes the package again.
# A plakuro package that is already installed is never replaced; then, and
# without root, the package is unpacked into a scratch folder and the tool
# runs from there.
set -eu
build="$(cd "$1" && pwd)"
id=io.github.plakuro.Plakuro

rm -f "$build"/plakuro_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/plakuro_*.deb)"
echo "$deb"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

info="$(dpkg-deb --info "$deb")"
for field in "Package: plakuro" "Section: graphics" "Maintainer: " "Description: "; do
    echo "$info" | grep -q "^ $field" || fail "control has no '$field'"
done
depends="$(echo "$info" | sed -n 's/^ Depends: //p')"
for dep in libqt6widgets6 libqt6printsupport6 libqrencode4 fonts-noto-cjk; do
    case "$depends" in *"$dep"*) ;; *) fail "Depends lacks $dep: $depends" ;; esac
done
# What Debian's own checker says of the package: no error, no warning.
if command -v lintian >/dev/null; then
    lintian --fail-on error,warning --allow-root --tag-display-limit 0 "$deb" ||
        fail "lintian finds faults in the package (above)"
else
    fail "lintian is not installed (scripts/deps.sh installs it)"
fi
contents="$(dpkg-deb --contents "$deb")"
for f in bin/plakuro bin/plakuro-cli share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml share/mime/packages/$id.xml \
    share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
    share/icons/hicolor/128x128/apps/$id.png share/icons/hicolor/256x256/apps/$id.png \
    share/man/man1/plakuro.1.gz share/man/man1/plakuro-cli.1.gz share/doc/plakuro/copyright \
    share/doc/plakuro/changelog.gz share/plakuro/templates/yoko-classic.pkd \
    share/plakuro/templates/tate-classic.pkd share/plakuro/templates/en-classic.pkd; do
    echo "$contents" | grep -q " \./usr/$f\$" || fail "package lacks /usr/$f"
done

scratch="$(mktemp -d)"
SUDO=
can_install=no
if [ "$(id -u)" -eq 0 ]; then
    can_install=yes
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    SUDO=sudo
    can_install=yes
fi
if dpkg-query -W -f='${Status}' plakuro 2>/dev/null | grep -q "install ok installed"; then
    echo "a plakuro package is installed already; it is left alone"
    can_install=no
fi

if [ "$can_install" = yes ]; then
    # Recommends are left out so that the check adds nothing to the machine
    # but the package itself; everything it depends on is installed by
    # deps.sh already.
    cleanup() {
        $SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q plakuro >/dev/null
        rm -rf "$scratch"
    }
    trap cleanup EXIT
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb" \
        >/dev/null
    [ "$(command -v plakuro-cli)" = /usr/bin/plakuro-cli ] || fail "plakuro-cli is not /usr/bin/plakuro-cli"
    /usr/bin/plakuro-cli --help >/dev/null || fail "installed plakuro-cli --help failed"
    /usr/bin/plakuro-cli fill -o "$scratch/card.pkd" --set eName=Plakuro ||
        fail "installed plakuro-cli could not write a card"
    # The installed programs find the shipped templates (and no one's own).
    [ "$(XDG_DATA_HOME="$scratch/data" /usr/bin/plakuro-cli templates | wc -l)" -ge 18 ] ||
        fail "the installed plakuro-cli lists fewer than 18 templates"
    XDG_DATA_HOME="$scratch/data" /usr/bin/plakuro-cli fill -o "$scratch/t.pkd" --template tate-classic ||
        fail "installed plakuro-cli could not make a card from a template"
    cp "$scratch/card.pkd" "$scratch/card"
    type="$(gio info -a standard::content-type "$scratch/card" | sed -n 's/^ *standard::content-type: //p')"
    [ "$type" = application/x-plakuro-card ] || fail "the installed system takes a card for '$type'"
    cleanup
    trap - EXIT
    ! dpkg-query -W -f='${Status}' plakuro 2>/dev/null | grep -q "install ok installed" ||
        fail "plakuro is still installed"
    [ ! -e /usr/bin/plakuro-cli ] || fail "/usr/bin/plakuro-cli is left after removing"
    echo "installed with apt, ran and removed"
else
    trap 'rm -rf "$scratch"' EXIT
    dpkg -x "$deb" "$scratch/root"
    "$scratch/root/usr/bin/plakuro-cli" --help >/dev/null || fail "unpacked plakuro-cli --help failed"
    # Moved as a whole, the tree still finds its templates beside the program.
    [ "$(XDG_DATA_HOME="$scratch/data" "$scratch/root/usr/bin/plakuro-cli" templates | wc -l)" -ge 18 ] ||
        fail "the unpacked plakuro-cli lists fewer than 18 templates"
    apt-get install -s -q --no-install-recommends "$deb" >/dev/null 2>&1 ||
        fail "apt cannot satisfy the package's dependencies"
    echo "unpacked into a scratch folder and ran; apt's dry run accepts its dependencies"
fi

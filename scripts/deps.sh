#!/bin/sh
# Installs the Debian 12 packages Plakuro builds, runs and tests with.
# Only what is missing is installed, so a second run costs nothing.
set -e
PKGS="build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools libqrencode-dev \
fonts-ipafont-gothic fonts-dejavu-core libgtest-dev libbenchmark-dev clang clang-format libclang-rt-14-dev \
zbar-tools xvfb xauth xdotool x11-utils x11-xserver-utils libx11-dev imagemagick poppler-utils libgl-dev \
qt6-image-formats-plugins"
PKGS="$PKGS fonts-noto-cjk"
PKGS="$PKGS desktop-file-utils"
PKGS="$PKGS appstream"
PKGS="$PKGS shared-mime-info"
PKGS="$PKGS libglib2.0-bin"
PKGS="$PKGS dpkg-dev"
PKGS="$PKGS qt6-translations-l10n"
PKGS="$PKGS fcitx5-frontend-qt6"
PKGS="$PKGS libqt6gui6"
PKGS="$PKGS fonts-ipafont-mincho"
# mutool reads the sheet PDFs' text back in the print tests, beside pdftotext.
PKGS="$PKGS mupdf-tools"
# A cupsd of the print-system test's own, with cups-pdf as its printer.
PKGS="$PKGS cups printer-driver-cups-pdf"
# The zip container of .xlsx and .ods merge lists.
PKGS="$PKGS libquazip1-qt6-dev"
# Debian's checker of the package the tests make.
PKGS="$PKGS lintian"
# Japan Post's postal codes, for the address from the postal code.
PKGS="$PKGS skkdic-extra"
missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $missing
fi

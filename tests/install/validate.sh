#!/bin/sh
# validate.sh DESKTOP-FILE-VALIDATE APPSTREAMCLI ENTRY.desktop METAINFO.xml
# Both validators fail on errors; hints and pedantic notes pass.
set -e
"$1" "$3"
"$2" validate --no-net "$4"

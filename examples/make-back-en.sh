#!/bin/sh
# Remakes back-en.pkd, the English back side used by the two-sided sheet
# example in the README: run from this folder with plakuro-cli on the PATH
# (or PLAKURO_CLI naming it). Its layout is the English template en-classic
# (labels in English, the QR code as a vCard); the logo fits the template's
# place for it. The name is written family name first in
# capitals, as Japanese cards in English often write it, so that the QR
# code's vCard files it under the family name.
set -eu
cli=${PLAKURO_CLI:-plakuro-cli}
"$cli" fill -o back-en.pkd --template en-classic \
    --set 名前="YAMADA Taro" \
    --set 役職="Sales Manager" \
    --set 部署="Sales Department" \
    --set 会社名="Plakuro Co., Ltd." \
    --set 住所="1-2-3 Marunouchi, Chiyoda-ku, Tokyo" \
    --set 電話="+81-3-1234-5678" \
    --set FAX="+81-3-1234-5679" \
    --set 携帯電話="+81-90-1234-5678" \
    --set E-Mail="yamada@example.co.jp" \
    --set URL="www.example.co.jp" \
    --picture logo.png

# `cpack -G DEB` in the build folder makes plakuro_<version>_<arch>.deb from
# the install rules. The library packages come from dpkg-shlibdeps; what the
# program loads at run time without linking it is declared here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plakuro)
set(CPACK_PACKAGE_VENDOR "Plakuro")
set(CPACK_PACKAGE_CONTACT "Plakuro maintainers <maintainers@users.noreply.c-seed-f9bedaf1.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Japanese business card designer with QR codes")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Plakuro designs Japanese business cards (91 x 55 mm) that carry a QR code\n\
of the holder's contact data as text, MECARD or vCard, saves them as card\n\
data files (.pkd) and prints ten cards on one sheet with the margins and\n\
gaps of the card stock. plakuro-cli fills in, draws and prints the same\n\
card files without a window, also one sheet per person of a CSV list.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY plakuro)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The stored faces draw with Noto CJK (gothic, mincho, real bold); without
# it a card would fall back to whatever Latin face fontconfig offers.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk")
# Each of these only widens what works: WebP/TIFF pictures, Japanese
# standard dialogs, typing with an fcitx5 input method, the Help button's
# browser, the IPA faces as the stored faces' second choice, and the postal
# codes that fill in the address.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-image-formats-plugins, qt6-translations-l10n, fcitx5-frontend-qt6, xdg-utils, fonts-ipafont-gothic, fonts-ipafont-mincho, skkdic-extra")

include(CPack)

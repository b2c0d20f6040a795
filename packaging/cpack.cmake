# The Debian package: `cpack -G DEB` in a configured build (scripts/package).
# Every dependency is read from the programs by dpkg-shlibdeps (the web
# engine's libraries bring its helper process, libqt6webenginecore6-bin).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonewarp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION}.0)
set(CPACK_PACKAGE_CONTACT "Tonewarp developers <tonewarp@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time guitar multi-effects processor")
set(CPACK_PACKAGE_DESCRIPTION
    "Tonewarp 3 plays an electric guitar live from a sound card through a chain of up to sixteen\n\
effects (noise gate, equaliser, four distortions, wah, delay, flanger/chorus, reverberator,\n\
gain, WAV player and recorder), with presets, skins, meters and a tuner. Command-line tools\n\
render files offline through a preset, run the chain without a screen and edit presets as JSON.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, jackd2, xdg-utils")
include(CPack)

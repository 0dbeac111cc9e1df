# Installation layout and the Debian package (cpack -G DEB).
install(FILES ${PROJECT_SOURCE_DIR}/data/io.github.qadora.Qadora.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/data/man/qadora.1 ${PROJECT_SOURCE_DIR}/data/man/qadora-build.1
              ${PROJECT_SOURCE_DIR}/data/man/qadora-csv.1 ${PROJECT_SOURCE_DIR}/data/man/qadora-publish.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qadora)
set(CPACK_PACKAGE_VENDOR "Qadora")
set(CPACK_PACKAGE_CONTACT "Qadora developers <qadora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Build a static question-and-answer web site (Japanese interface)")
set(CPACK_PACKAGE_DESCRIPTION
    "Qadora keeps questions and answers in a database file and writes them as a two-level web\n"
    "site in Shift_JIS. It has a Japanese desktop interface (qadora), a command for scripts\n"
    "(qadora-build), reads the Access databases of the older Windows program, and publishes\n"
    "the site by FTP, FTPS or SFTP (qadora-publish).")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Libraries are found by dpkg-shlibdeps; what is loaded at run time is named here: the SQLite
# driver, the platform plugins, and the SVG image and icon plugins that draw the program's icon.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
include(CPack)

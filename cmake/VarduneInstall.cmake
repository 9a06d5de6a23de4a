# Installing both programs as a desktop program: the programs and everything they read from
# their own folder go into one program folder (they find their menus, help pages, icons, the
# chart converters' helper and each other there), commands in bin/ point at them, and the
# desktop gets an entry for each program with the types of the files Corvex opens.
#
#   cmake --install build/default [--prefix /usr/local]
#
# Packagers run update-desktop-database and update-mime-database on the target afterwards, as
# the desktop's file types take effect only then.

set(VD_INSTALL_PROGRAM_DIR "lib/vardune" CACHE STRING
    "Folder under the install prefix that holds the programs and their resources")

set(desktop_source "${PROJECT_SOURCE_DIR}/resources/desktop")

install(TARGETS corvex_program lumex_program vd_chart_convert RUNTIME DESTINATION "${VD_INSTALL_PROGRAM_DIR}")
# The same names the build tree links beside the programs.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/" DESTINATION "${VD_INSTALL_PROGRAM_DIR}/resources")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/icons/" DESTINATION "${VD_INSTALL_PROGRAM_DIR}/Icons")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/Route_Card_Templates/"
        DESTINATION "${VD_INSTALL_PROGRAM_DIR}/Route_Card_Templates")
install(FILES "${PROJECT_SOURCE_DIR}/resources/WMM_COF.txt" DESTINATION "${VD_INSTALL_PROGRAM_DIR}")

install(FILES "${desktop_source}/vardune-mime.xml" DESTINATION share/mime/packages
        RENAME vardune.xml)
install(FILES "${desktop_source}/vardune-corvex.svg" "${desktop_source}/vardune-lumex.svg"
        DESTINATION share/icons/hicolor/scalable/apps)

# The commands and the desktop entries name the installed programs by their full path, which is
# only known when installing (cmake --install --prefix chooses it then).
install(CODE "
  set(VD_INSTALL_PROGRAM_DIR \"${VD_INSTALL_PROGRAM_DIR}\")
  set(VD_DESKTOP_SOURCE \"${desktop_source}\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/VarduneInstallEntries.cmake\")
")

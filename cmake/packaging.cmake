# Install rules and packages. A Linux build installs into the usual prefix folders and makes the
# Debian package; a Windows build installs flat (the programs beside the README and licences) and
# makes the zip and the NSIS installer. scripts/package.sh builds both and collects them in dist/.
set(TARV_PACKAGE_NAME tarv-configurator)
set(TARV_DISPLAY_NAME "Tarv Configurator")

# Every program that exists in this build; tarv-cli and the GUI programs are optional.
set(TARV_PROGRAMS)
foreach(program tarv-configurator tarv-configurator-demo tarv-cli)
  if(TARGET ${program})
    list(APPEND TARV_PROGRAMS ${program})
  endif()
endforeach()

# The project's own licence (MIT), in every package.
set(TARV_LICENSE_FILE ${PROJECT_SOURCE_DIR}/LICENSE)

if(WIN32)
  set(TARV_INSTALL_BIN .)
  set(TARV_INSTALL_DOC .)
  if(TARV_PROGRAMS)
    install(TARGETS ${TARV_PROGRAMS} RUNTIME DESTINATION ${TARV_INSTALL_BIN})
  endif()
  install(FILES README.md DESTINATION ${TARV_INSTALL_DOC})
  install(FILES ${TARV_LICENSE_FILE} DESTINATION licenses RENAME tarv-configurator-LICENSE.txt)

  if(TARV_BUILD_GUI)
    get_target_property(tarvQtCoreType Qt6::Core TYPE)
    if(tarvQtCoreType STREQUAL "STATIC_LIBRARY")
      # A static Qt is inside the programs, so there is nothing to deploy; what goes with them are
      # the licence texts of Qt's LGPL parts and of the third-party code that Qt bundles.
      # scripts/qt-windows.sh copies them into the Qt prefix.
      get_filename_component(tarvQtPrefix "${Qt6_DIR}/../../.." ABSOLUTE)
      set(TARV_QT_LICENSE_DIR "${tarvQtPrefix}/licenses" CACHE PATH "Licence texts of the static Qt")
      if(NOT EXISTS "${TARV_QT_LICENSE_DIR}/LGPL-3.0-only.txt")
        message(FATAL_ERROR "Qt's licence texts are missing in ${TARV_QT_LICENSE_DIR}; "
                            "scripts/qt-windows.sh puts them there")
      endif()
      install(DIRECTORY ${TARV_QT_LICENSE_DIR}/ DESTINATION licenses/Qt)
      # What the LGPL asks to be told: Qt is inside, where its source is, how to relink.
      configure_file(${PROJECT_SOURCE_DIR}/resources/windows/NOTICE.txt.in ${PROJECT_BINARY_DIR}/NOTICE.txt @ONLY)
      install(FILES ${PROJECT_BINARY_DIR}/NOTICE.txt DESTINATION ${TARV_INSTALL_DOC})
    elseif(Qt6_VERSION VERSION_LESS 6.5)
      message(FATAL_ERROR "A Windows build with a shared Qt needs Qt 6.5 or later (qt_generate_deploy_app_script); "
                          "a static Qt (scripts/qt-windows.sh) needs no deployment")
    else()
      # A shared Qt: cmake --install copies the Qt DLLs and plugins (and the compiler's runtime
      # DLLs) beside the programs, so the install folder runs as it is.
      foreach(program tarv-configurator tarv-configurator-demo)
        qt_generate_deploy_app_script(TARGET ${program} OUTPUT_SCRIPT tarvDeployScript NO_UNSUPPORTED_PLATFORM_ERROR)
        install(SCRIPT ${tarvDeployScript})
      endforeach()
    endif()
  endif()
else()
  install(TARGETS ${TARV_PROGRAMS} tarv-adapter-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(tarvDocDir ${CMAKE_INSTALL_DATADIR}/doc/${TARV_PACKAGE_NAME})
  if(TARV_BUILD_GUI AND UNIX AND NOT APPLE)
    install(FILES resources/tarv-configurator.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES resources/pictures/tarv-configurator.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps)
  endif()
  # The udev rule is optional (it changes who may open USB serial ports), so it goes with the
  # documentation, to be copied into /etc/udev/rules.d by whoever wants it.
  install(FILES resources/60-tarv-adapter.rules README.md DESTINATION ${tarvDocDir})
  install(FILES resources/debian/copyright DESTINATION ${tarvDocDir})
  install(FILES metainfo/com.tarv.Configurator.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  include(${PROJECT_SOURCE_DIR}/cmake/man_pages.cmake)
endif()

# Values reach CPack as written here, quotes and all (the installer's version keys need quotes).
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME ${TARV_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Tarv")
set(CPACK_PACKAGE_CONTACT "Tarv Configurator developers <maintainers@tarv-configurator.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Reads and programs linear encoders through the programming adapter")
# Lines of at most 80 characters: the Debian package shows them as they are.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Finds the programming adapter on a serial port (19200 baud, 8N2), shows the\n"
  "identity of the encoder on it and reads and writes its resolution, edge\n"
  "separation and counting direction. Every encoder's memory is kept before it is\n"
  "written, so that it can be restored. With tarv-cli for scripts and production\n"
  "lines, and an emulated adapter for trying it without hardware.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${TARV_DISPLAY_NAME}")
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${TARV_LICENSE_FILE})

if(WIN32)
  set(CPACK_GENERATOR "ZIP;NSIS")
  set(CPACK_PACKAGE_FILE_NAME "${TARV_PACKAGE_NAME}-${PROJECT_VERSION}-win64")
  set(CPACK_PACKAGE_ICON "${PROJECT_SOURCE_DIR}/resources/pictures/tarv-configurator.ico")
  # The Start-menu entries: program file name (without .exe), then the entry's name.
  set(CPACK_PACKAGE_EXECUTABLES tarv-configurator "${TARV_DISPLAY_NAME}")
  if(TARGET tarv-configurator-demo)
    list(APPEND CPACK_PACKAGE_EXECUTABLES tarv-configurator-demo "${TARV_DISPLAY_NAME} Demo")
  endif()
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY ${TARV_INSTALL_BIN})
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_PACKAGE_NAME "${TARV_DISPLAY_NAME}")
  set(CPACK_NSIS_DISPLAY_NAME "${TARV_DISPLAY_NAME}")
  set(CPACK_NSIS_INSTALLED_ICON_NAME tarv-configurator.exe)
  set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/resources/pictures/tarv-configurator.ico")
  set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/resources/pictures/tarv-configurator.ico")
  set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
  set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
  # A 64-bit installer for 64-bit programs: it sees the 64-bit registry and Program Files (and
  # runs under a 64-bit-only wine). It carries its own version record, so Explorer shows 2.1.0.0
  # on the setup file too. The installed files get the time of installing, not of packing
  # (SetDateSave off), so the same source makes the same installer.
  string(CONCAT CPACK_NSIS_DEFINES
    "Target amd64-unicode\n"
    "  SetDateSave off\n"
    "  VIProductVersion ${PROJECT_VERSION}\n"
    "  VIAddVersionKey /LANG=1033 ProductName \"${TARV_DISPLAY_NAME}\"\n"
    "  VIAddVersionKey /LANG=1033 ProductVersion ${PROJECT_VERSION}\n"
    "  VIAddVersionKey /LANG=1033 FileVersion ${PROJECT_VERSION}\n"
    "  VIAddVersionKey /LANG=1033 FileDescription \"${TARV_DISPLAY_NAME} Setup\"\n"
    "  VIAddVersionKey /LANG=1033 CompanyName \"${CPACK_PACKAGE_VENDOR}\"\n"
    "  VIAddVersionKey /LANG=1033 LegalCopyright \"Copyright 2026 the Tarv Configurator developers, MIT licence\"")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The library dependencies come from dpkg-shlibdeps on the installed programs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)

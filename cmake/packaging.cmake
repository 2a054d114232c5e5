# Install layout and the Debian package (cpack -G DEB from a configured build).
include(GNUInstallDirs)

set(VELLMOR_PACKAGE_MAINTAINER "Vellmor developers <vellmor@example.org>"
    CACHE STRING "Maintainer written into the package")

if(WIN32)
  # One folder that runs where it is put: the two programs, the README, the licence,
  # the changelog and the notices for the runtime linked into the programs.
  install(TARGETS Vellmor vellmor-cli RUNTIME DESTINATION .)
  # The README for Windows users: what the programs do, not how to build them.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
                 ${PROJECT_BINARY_DIR}/package-docs/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/package-docs/README.txt ${PROJECT_SOURCE_DIR}/CHANGELOG.md
                ${PROJECT_SOURCE_DIR}/packaging/windows/THIRD-PARTY-NOTICES.txt DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  if(VELLMOR_BUILD_UI)
    install(TARGETS vellmor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  install(TARGETS vellmor-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  include(${CMAKE_CURRENT_LIST_DIR}/package_docs.cmake)
  # watch --log unattended, enabled by the administrator; the catalog explains its
  # entries in journalctl -x. systemd's file trigger on the catalog folder rebuilds the
  # catalog's index when the package comes or goes.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/vellmor-watch.service
          DESTINATION lib/systemd/system)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/vellmor.catalog
                ${PROJECT_SOURCE_DIR}/packaging/systemd/vellmor.zh_CN.catalog
          DESTINATION lib/systemd/catalog)
endif()

if(UNIX AND NOT APPLE AND VELLMOR_BUILD_UI)
  # Software centres find the program by the metainfo's id, which names the desktop entry.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/com.example.Vellmor.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/com.example.Vellmor.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The icon goes into the theme folder named after its size, read from the PNG header.
  set(vellmor_icon ${PROJECT_SOURCE_DIR}/src/design/pictures/vellmor.png)
  file(READ ${vellmor_icon} icon_size HEX OFFSET 16 LIMIT 8)
  string(SUBSTRING "${icon_size}" 0 8 icon_width)
  string(SUBSTRING "${icon_size}" 8 8 icon_height)
  math(EXPR icon_width "0x${icon_width}")
  math(EXPR icon_height "0x${icon_height}")
  install(FILES ${vellmor_icon}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${icon_width}x${icon_height}/apps)
endif()

set(CPACK_PACKAGE_NAME vellmor)
set(CPACK_PACKAGE_VENDOR "The Vellmor authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(vellmor_summary "USB drive serial number and MD5 digest reader")
if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${vellmor_summary})
endif()
# One line each: Debian wants the extended description's lines under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Reads the serial number of a plugged-in USB storage device and shows it with
its upper-case MD5 digest, in a small window with a Simplified-Chinese
interface. vellmor-cli does the same on the command line, lists the USB drives
plugged in with notes on their serials, and watches for drives as they come.")
set(CPACK_PACKAGE_CONTACT ${VELLMOR_PACKAGE_MAINTAINER})
set(CPACK_STRIP_FILES ON)
# The same commit packs to the same bytes (the files' times are the last commit's, the
# archives sorted), and SHA256SUMS lists what was made (docs/hardening.md, packaging.md).
set(CPACK_VELLMOR_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package_time.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_staged.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_made.cmake)

if(NOT WIN32)
  # Three packages from one run: the programs (which link the same code statically), the
  # library, and what building against the library needs.
  get_target_property(vellmor_abi libvellmor SOVERSION)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL programs library development)
  set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME vellmor)
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libvellmor${vellmor_abi})
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvellmor-dev)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
  set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The shlibs file and the ldconfig trigger a shared library package needs, written here:
  # CPack's own would call ldconfig from maintainer scripts, which Debian no longer wants.
  set(vellmor_library_control ${PROJECT_BINARY_DIR}/package-control/library)
  file(WRITE ${vellmor_library_control}/shlibs
       "libvellmor ${vellmor_abi} libvellmor${vellmor_abi} (>= ${PROJECT_VERSION})\n")
  file(WRITE ${vellmor_library_control}/triggers "activate-noawait ldconfig\n")
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA ${vellmor_library_control}/shlibs
                                                 ${vellmor_library_control}/triggers)
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/libvellmor${vellmor_abi}.lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME libvellmor${vellmor_abi} COMPONENT library)
  # The window's Chinese texts need a font with CJK glyphs, and Qt's own texts (the
  # message boxes' buttons) its Chinese translation; nothing else pulls them in.
  set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS "fonts-arphic-uming, qt6-translations-l10n")
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libvellmor${vellmor_abi} (= ${PROJECT_VERSION})")
  # Each package's first line is its summary. CPack puts CPACK_PACKAGE_DESCRIPTION_SUMMARY
  # before every package's own unless it is CPack's default, which it is on Linux.
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
  set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "${vellmor_summary}\n${CPACK_PACKAGE_DESCRIPTION}")
  set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
      "USB drive serial number and MD5 digest, as a C library
libvellmor gives other programs the serial number of the plugged-in USB
storage device and its upper-case MD5 digest exactly as the Vellmor window
shows them, for licence checks bound to a USB stick. It is callable from C,
C++, Python (ctypes), C# and Go.")
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
      "USB drive serial number and MD5 digest, as a C library (development files)
The header vellmor/vellmor.h, the link to libvellmor, its pkg-config file
(vellmor.pc) and its CMake package (find_package(Vellmor) gives the target
Vellmor::vellmor), for building programs that check a USB stick's serial.")
endif()

if(WIN32)
  # A portable ZIP and an NSIS installer with a Start-menu entry and an uninstaller.
  set(CPACK_GENERATOR ZIP NSIS)
  set(CPACK_PACKAGE_FILE_NAME vellmor-${PROJECT_VERSION}-win64)
  set(CPACK_PACKAGE_INSTALL_DIRECTORY Vellmor)
  set(CPACK_PACKAGE_EXECUTABLES Vellmor Vellmor)
  set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
  # A 64-bit installer, like the programs it carries; FileFunc for /PATH= below.
  set(CPACK_NSIS_DEFINES "Target amd64-unicode\n!include FileFunc.nsh")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_PACKAGE_NAME Vellmor)
  set(CPACK_NSIS_DISPLAY_NAME Vellmor)
  set(CPACK_NSIS_INSTALLED_ICON_NAME Vellmor.exe)
  set(CPACK_NSIS_MUI_ICON ${VELLMOR_PICTURES_DIR}/vellmor.ico)
  set(CPACK_NSIS_MUI_UNIICON ${VELLMOR_PICTURES_DIR}/vellmor.ico)
  set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
  # The entry under "Apps and features": publisher and version come from the vendor and
  # version above, the icon from the installed program.
  set(CPACK_NSIS_URL_INFO_ABOUT "http://www.example.com")
  set(CPACK_NSIS_HELP_LINK "http://www.example.com")
  set(CPACK_NSIS_CONTACT "vellmor@example.org")
  # NSIS knows the section's size from the files it holds; the template writes no size.
  set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS
      "SectionGetSize 0 $0\nWriteRegDWORD SHCTX 'Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\Vellmor' EstimatedSize $0\n!include '${PROJECT_SOURCE_DIR}/packaging/windows/event_log_install.nsh'")
  # The uninstaller removes the product's key but would leave the vendor's, empty.
  set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
      "DeleteRegKey SHCTX 'Software\\\\${CPACK_PACKAGE_VENDOR}\\\\Vellmor'\nDeleteRegKey /ifempty SHCTX 'Software\\\\${CPACK_PACKAGE_VENDOR}'\n!include '${PROJECT_SOURCE_DIR}/packaging/windows/event_log_uninstall.nsh'")
  # vellmor-cli on PATH: a choice on the installer's options page, off unless chosen, or
  # /PATH=AllUsers or /PATH=CurrentUser with /S. CPack's own step adds $INSTDIR\bin,
  # which does not exist here and is passed over; the programs sit in $INSTDIR itself.
  # The section reads the page's choice into the variables just before these commands.
  set(CPACK_NSIS_MODIFY_PATH ON)
  string(APPEND CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
\\\${GetOptions} $CMDLINE '/PATH=' $1
StrCmp $1 'AllUsers' 0 +2
  StrCpy $ADD_TO_PATH_ALL_USERS 1
StrCmp $1 'CurrentUser' 0 +2
  StrCpy $ADD_TO_PATH_CURRENT_USER 1
StrCmp $ADD_TO_PATH_ALL_USERS 1 +2 0
StrCmp $ADD_TO_PATH_CURRENT_USER 1 0 +3
  Push $INSTDIR
  Call AddToPath")
  # Taken off whichever PATH has it: the recorded choice predates /PATH=.
  string(APPEND CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
StrCpy $ADD_TO_PATH_ALL_USERS 1
Push $INSTDIR
Call un.RemoveFromPath
StrCpy $ADD_TO_PATH_ALL_USERS 0
Push $INSTDIR
Call un.RemoveFromPath")
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
endif()

include(CPack)

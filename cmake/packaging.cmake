# Packages of kvstrn.exe, made by CPack from the install() rules (the program
# alone, at the top of its folder):
#   cpack -G NSIS  Kestrova-2.0-win64-setup.exe  the setup program, from our own
#                  script (packaging/NSIS.template.in); its uninstaller
#   cpack -G ZIP   Kestrova-2.0-win64.zip        the program in a folder
# "win32" instead of "win64" in an i686 build. scripts/release.sh makes both
# architectures, and the 64-bit MSI package from Kestrova.wxs (kv_make_msi in
# scripts/lib.sh) with kv_msi_cleanup.exe, its uninstall step for the
# program's own stored traces, and kv_msi_check.dll, its check for a running
# Kestrova.

# kv_msi_cleanup.exe is also the setup program's helper (the grants to users
# and the attempt log's folder), of the program's architecture.
add_executable(kv_msi_cleanup ${CMAKE_CURRENT_LIST_DIR}/packaging/msi_cleanup.cpp)
target_include_directories(kv_msi_cleanup PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_compile_definitions(kv_msi_cleanup PRIVATE WIN32_LEAN_AND_MEAN)
target_link_options(kv_msi_cleanup PRIVATE -static -s)
target_link_libraries(kv_msi_cleanup PRIVATE msi)
set(CPACK_KV_HELPER ${CMAKE_BINARY_DIR}/kv_msi_cleanup.exe)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(kv_arch win64)
    # The package's check for a running Kestrova (a custom action DLL).
    add_library(kv_msi_check MODULE ${CMAKE_CURRENT_LIST_DIR}/packaging/msi_check.cpp)
    set_target_properties(kv_msi_check PROPERTIES PREFIX "")
    target_link_options(kv_msi_check PRIVATE -static -s)
    target_link_libraries(kv_msi_check PRIVATE msi)
    # A 64-bit setup program, which installs into the 64-bit Program Files
    # and sees the registry as the 64-bit program does.
    set(CPACK_KV_NSIS_TARGET amd64-unicode)
    set(CPACK_KV_REG_VIEW 64)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    set(CPACK_KV_BITS 64-bit)
else()
    set(kv_arch win32)
    set(CPACK_KV_NSIS_TARGET x86-unicode)
    set(CPACK_KV_REG_VIEW 32)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
    set(CPACK_KV_BITS 32-bit)
endif()

# The copyright line of the program's own version resource.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/ui/maker.h kv_copyright REGEX "#define KV_COPYRIGHT ")
string(REGEX REPLACE ".*KV_COPYRIGHT \"([^\"]*)\".*" "\\1" CPACK_KV_COPYRIGHT "${kv_copyright}")
# The maker's web address and support address for the uninstall entry, from
# the same header.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/ui/maker.h kv_maker REGEX "#define KV_(WEB_HOST|SUPPORT_EMAIL) ")
string(REGEX REPLACE ".*KV_WEB_HOST \"([^\"]*)\".*" "http://\\1/" CPACK_KV_WEB_URL "${kv_maker}")
string(REGEX REPLACE ".*KV_SUPPORT_EMAIL \"([^\"]*)\".*" "\\1" CPACK_KV_SUPPORT "${kv_maker}")
# The MSI package's UpgradeCode, by which the setup program finds it installed.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/packaging/Kestrova.wxs kv_wxs REGEX "UpgradeCode=")
string(REGEX REPLACE ".*UpgradeCode=\"([0-9A-F-]*)\".*" "{\\1}" CPACK_KV_UPGRADE_CODE "${kv_wxs}")

set(CPACK_PACKAGE_NAME Kestrova)
set(CPACK_PACKAGE_VENDOR "Orvane Software")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
set(CPACK_KV_VERSION4 "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
set(CPACK_PACKAGE_FILE_NAME "Kestrova-${CPACK_PACKAGE_VERSION}-${kv_arch}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Kestrova)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Kestrova)
# Written by scripts/release.sh when it signs (see NSIS.template.in).
set(CPACK_KV_SIGN_NSH ${CMAKE_BINARY_DIR}/sign.nsh)
set(CPACK_KV_ICON ${PROJECT_SOURCE_DIR}/src/platform/win32/program.ico)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_GENERATOR NSIS ZIP)
# The setup program's name ends in "-setup" (packaging/options.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/packaging/options.cmake)
# CPack finds our NSIS.template.in here before its own.
list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/packaging)

include(CPack)

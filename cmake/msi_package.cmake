# The Windows Installer package of a Windows build, RUZivEr2-<version>-x64.msi or -x86.msi,
# built by wixl (Debian's msitools) from package/RUZivEr2.wxs, and the custom action library
# it carries (service/package_entry.cpp). Included by cmake/windows.cmake.

find_program(HORAVEX_WIXL wixl REQUIRED)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(MSI_ARCH x86)
  set(MSI_WIN64 no)
  set(MSI_PROGRAM_FILES ProgramFilesFolder)
else()
  set(MSI_ARCH x64)
  set(MSI_WIN64 yes)
  set(MSI_PROGRAM_FILES ProgramFiles64Folder)
endif()

# The custom actions: -load's settings and completion steps, linked from the service layer.
# Only what they call is taken from the static libraries, so the library never imports the
# reader library (the ctest package_actions_imports checks it): it runs where the maker's
# ZYN_NTTC.dll is not there yet.
add_library(package_actions SHARED ${CMAKE_SOURCE_DIR}/service/package_entry.cpp)
target_link_libraries(package_actions PRIVATE horavex_service msi)
set_target_properties(package_actions PROPERTIES PREFIX "")
target_link_options(package_actions PRIVATE ${HORAVEX_WIN_LINK_OPTIONS})
if(MSI_ARCH STREQUAL x86)
  # The installer finds the entries by their plain names, without the stdcall decoration.
  target_link_options(package_actions PRIVATE -Wl,--kill-at)
endif()

# horavex_msi_package(OUTPUT VERSION): builds OUTPUT, the package of this build at VERSION.
# The product code follows from the version and the bitness, so that the same version's
# package again is the same product (a maintenance run); the components' codes follow from
# the bitness only, as each component stays the same resource from version to version.
function(horavex_msi_package output version)
  set(namespace 3b0f6c1e-7d2a-4e59-9c84-1a6e2f0d5b73)
  string(UUID product_code NAMESPACE ${namespace} NAME "RUZivEr2 ${version} ${MSI_ARCH}" TYPE SHA1 UPPER)
  string(UUID program_component NAMESPACE ${namespace} NAME "RUZivEr2.exe ${MSI_ARCH}" TYPE SHA1 UPPER)
  string(UUID readme_component NAMESPACE ${namespace} NAME "README.md ${MSI_ARCH}" TYPE SHA1 UPPER)
  set(wxs ${CMAKE_SOURCE_DIR}/package/RUZivEr2.wxs)
  # wixl finds the files it packs only by paths relative to where it runs.
  file(RELATIVE_PATH readme ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/README.md)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${HORAVEX_WIXL} -a ${MSI_ARCH} -o ${output}
      -D Version=${version} -D Arch=${MSI_ARCH} -D ProductCode=${product_code}
      -D ProgramComponent=${program_component} -D ReadmeComponent=${readme_component}
      -D Win64=${MSI_WIN64} -D ProgramFilesFolder=${MSI_PROGRAM_FILES}
      -D Program=$<TARGET_FILE_NAME:RUZivEr2> -D PackageActions=$<TARGET_FILE_NAME:package_actions>
      -D Readme=${readme}
      ${wxs}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${wxs} RUZivEr2 package_actions ${CMAKE_SOURCE_DIR}/README.md
    COMMENT "Windows Installer package ${output} (wixl)")
endfunction()

set(HORAVEX_MSI ${CMAKE_BINARY_DIR}/RUZivEr2-${PROJECT_VERSION}-${MSI_ARCH}.msi)
horavex_msi_package(${HORAVEX_MSI} ${PROJECT_VERSION})
add_custom_target(msi_package ALL DEPENDS ${HORAVEX_MSI})

find_program(HORAVEX_MSIINFO msiinfo REQUIRED)
add_test(NAME msi_tables
  COMMAND ${CMAKE_COMMAND} -DMSIINFO=${HORAVEX_MSIINFO} -DMSI=${HORAVEX_MSI} -DARCH=${MSI_ARCH}
    -DVERSION=${PROJECT_VERSION} -P ${CMAKE_SOURCE_DIR}/tests/windows/check_msi_tables.cmake)
# The custom actions run before the reader library is on the machine.
add_test(NAME msi_actions_need_only_system_dlls
  COMMAND ${CMAKE_COMMAND}
    -DOBJDUMP=${CMAKE_OBJDUMP}
    -DBINARY=$<TARGET_FILE:package_actions>
    "-DALLOWED=KERNEL32.dll;ADVAPI32.dll;USER32.dll;msi.dll;msvcrt.dll"
    -P ${CMAKE_SOURCE_DIR}/tests/windows/check_system_imports.cmake)
set_tests_properties(msi_tables msi_actions_need_only_system_dlls PROPERTIES LABELS "windows")

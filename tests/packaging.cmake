# Packaging checks: the desktop entry and the metainfo pass their validators,
# an install puts exactly the expected files in place, and the .deb holds the
# same files with the expected control fields.
set(data ${PROJECT_SOURCE_DIR}/data)
set(check ${PROJECT_SOURCE_DIR}/scripts/check-package.sh)
add_test(NAME Packaging.DesktopEntryValid
  COMMAND desktop-file-validate ${data}/com.dranvik.Quillmere.desktop)
# desktop-file-validate reports warnings but exits 0 for them.
set_tests_properties(Packaging.DesktopEntryValid PROPERTIES
  FAIL_REGULAR_EXPRESSION "error:|warning:")
add_test(NAME Packaging.MetainfoValid
  COMMAND appstreamcli validate --no-net ${data}/com.dranvik.Quillmere.metainfo.xml)
add_test(NAME Packaging.InstallTree COMMAND ${check} install ${PROJECT_BINARY_DIR})
add_test(NAME Packaging.DebPackage
  COMMAND ${check} deb ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})

# Test rig: every build directory owns a Wine prefix (build/wine). The
# install step lays the product out in it as an installation would; CTest
# runs the test programs in it through the wine-run emulator.
set(UKEY_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

set(UKEY_INSTALLED_TARGETS K2Token_VELTA K2Pinpad_VELTA K2CSP_VELTA simkey_engine velta_unified_qvlukey_64 simkey ukey
    K2Svr_VELTA)
add_custom_target(install-prefix
  COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/install-prefix.sh ${CMAKE_BINARY_DIR}
  DEPENDS ${UKEY_INSTALLED_TARGETS}
  COMMENT "Installing into the Wine prefix ${UKEY_WINEPREFIX}"
  USES_TERMINAL)

enable_testing()
# The first test of every run: the prefix exists and holds this build.
add_test(NAME rig.install COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/install-prefix.sh ${CMAKE_BINARY_DIR})
set_tests_properties(rig.install PROPERTIES FIXTURES_SETUP rig)

# Deliverables and test programs import nothing but Windows system DLLs.
add_test(NAME rig.system_imports_only
         COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/check-binaries.sh ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}-i686)

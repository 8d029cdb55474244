# The FTP client against a scripted server and against real servers.
file(GLOB VORLUNE_FTP_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_executable(ftp_tests ${VORLUNE_FTP_TESTS})
target_link_libraries(ftp_tests PRIVATE vorlune_test_support GTest::gtest_main)
vorlune_warnings(ftp_tests)
gtest_discover_tests(ftp_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS ftp)
target_compile_definitions(ftp_tests PRIVATE VORLUNE_FTP_SERVER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/ftp_server.sh")

# The Windows build's client under Wine against the same real servers; needs
# WINEPREFIX in the environment and a Windows build (VORLUNE_WINDOWS_BUILD,
# default build/windows), else it is skipped.
add_test(NAME ftp_wine_upload COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/wine_upload.sh)
set_tests_properties(ftp_wine_upload PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS "ftp;wine")

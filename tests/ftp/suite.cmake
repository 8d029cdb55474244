# The FTP client against a scripted server and against real servers.
file(GLOB VORLUNE_FTP_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_executable(ftp_tests ${VORLUNE_FTP_TESTS})
target_link_libraries(ftp_tests PRIVATE vorlune_test_support GTest::gtest_main)
vorlune_warnings(ftp_tests)
gtest_discover_tests(ftp_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS ftp)

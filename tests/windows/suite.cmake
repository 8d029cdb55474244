# The Windows build under Wine, run from the native build's ctest so that one
# summary covers everything: the Windows unit tests and the end-to-end cases.
# Enabled by configuring with -DVORLUNE_WINDOWS_BUILD_DIR=<the windows build>.
set(VORLUNE_WINDOWS_BUILD_DIR "" CACHE PATH "A Windows build to test under Wine")
set(VORLUNE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "The Wine prefix of this test run")
set(VORLUNE_WINDOWS_ENCODERS "" CACHE PATH "Folder with cjpeg.exe and optipng.exe for the Windows runs")
set(VORLUNE_ARTEFACTS "${CMAKE_BINARY_DIR}/artefacts" CACHE PATH "Screenshots and logs kept for a person to look at")

if(VORLUNE_WINDOWS_BUILD_DIR)
  find_program(VORLUNE_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
  set(e2e ${CMAKE_CURRENT_LIST_DIR}/e2e.py)

  add_test(NAME windows.unit_tests
    COMMAND wine ${VORLUNE_WINDOWS_BUILD_DIR}/tests/unit_tests.exe --gtest_brief=1)
  set_tests_properties(windows.unit_tests PROPERTIES
    ENVIRONMENT "WINEPREFIX=${VORLUNE_WINEPREFIX};WINEDEBUG=-all"
    RESOURCE_LOCK wine TIMEOUT 600 FIXTURES_REQUIRED wineprefix LABELS wine)

  # The prefix is made once per run and reused by every case.
  add_test(NAME windows.prefix
    COMMAND ${VORLUNE_PYTHON3} -c "import sys; sys.path.insert(0, '${CMAKE_CURRENT_LIST_DIR}'); import harness; harness.ensure_prefix('${VORLUNE_WINEPREFIX}')")
  set_tests_properties(windows.prefix PROPERTIES FIXTURES_SETUP wineprefix RESOURCE_LOCK wine TIMEOUT 600 LABELS wine)

  # The Windows encoders as Vorlune runs them: both command lines and the
  # PNG optimiser on bitmaps written the way the program writes them.
  if(VORLUNE_WINDOWS_ENCODERS)
    add_test(NAME windows.encoders COMMAND ${CMAKE_CURRENT_LIST_DIR}/encoders_check.sh ${VORLUNE_WINDOWS_ENCODERS})
    set_tests_properties(windows.encoders PROPERTIES
      ENVIRONMENT "WINEPREFIX=${VORLUNE_WINEPREFIX};WINEDEBUG=-all"
      RESOURCE_LOCK wine TIMEOUT 300 FIXTURES_REQUIRED wineprefix LABELS wine)

    # The README's main job, headless: a capture becomes a link that serves
    # the very bytes chosen.
    add_test(NAME windows.demo COMMAND ${CMAKE_CURRENT_LIST_DIR}/demo_check.sh
             ${VORLUNE_WINDOWS_BUILD_DIR} ${VORLUNE_WINDOWS_ENCODERS} ${VORLUNE_WINEPREFIX})
    set_tests_properties(windows.demo PROPERTIES
      RESOURCE_LOCK wine TIMEOUT 300 FIXTURES_REQUIRED wineprefix LABELS wine)
  endif()

  # The Windows build's FTP client (Winsock) against the real servers, in
  # this run's prefix rather than skipped for want of one.
  if(TEST ftp_wine_upload)
    set_tests_properties(ftp_wine_upload PROPERTIES
      ENVIRONMENT "WINEPREFIX=${VORLUNE_WINEPREFIX};VORLUNE_WINDOWS_BUILD=${VORLUNE_WINDOWS_BUILD_DIR}"
      RESOURCE_LOCK wine FIXTURES_REQUIRED wineprefix)
  endif()

  execute_process(COMMAND ${VORLUNE_PYTHON3} ${e2e} list OUTPUT_VARIABLE cases OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(encoders "")
  if(VORLUNE_WINDOWS_ENCODERS)
    set(encoders --encoders ${VORLUNE_WINDOWS_ENCODERS})
  endif()
  foreach(name ${cases})
    add_test(NAME windows.e2e.${name}
      COMMAND ${VORLUNE_PYTHON3} ${e2e} --build-dir ${VORLUNE_WINDOWS_BUILD_DIR} --prefix ${VORLUNE_WINEPREFIX}
              ${encoders} --artefacts ${VORLUNE_ARTEFACTS} ${name})
    set_tests_properties(windows.e2e.${name} PROPERTIES
      RESOURCE_LOCK wine TIMEOUT 300 FIXTURES_REQUIRED wineprefix LABELS wine)
  endforeach()
endif()

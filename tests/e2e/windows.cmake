# Whole installer flows: run-flows.sh builds installers with the native
# plimo-pack (built next to this configuration by scripts/build.sh; the tests
# are skipped while it is missing) and runs e2e_wintests under Wine on them.
add_executable(e2e_wintests ${CMAKE_CURRENT_LIST_DIR}/WinFlowTest.cpp)
target_link_libraries(e2e_wintests PRIVATE plimo_testsupport gtest_main)
target_link_options(e2e_wintests PRIVATE ${PLIMO_TEST_LINK_OPTIONS})
add_dependencies(e2e_wintests plimo)
foreach(double jvmsearch_java_double plimo_jvm_double)
  if(TARGET ${double})
    add_dependencies(e2e_wintests ${double})
  endif()
endforeach()

set(PLIMO_E2E_PACK ${CMAKE_BINARY_DIR}/../native/bin/plimo-pack)
# plimo_e2e_test(NAME FILTER TIMEOUT [LOCALE CODE_PAGE])
function(plimo_e2e_test name filter timeout)
  add_test(NAME ${name}
           COMMAND sh ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run-flows.sh ${PLIMO_E2E_PACK} ${CMAKE_BINARY_DIR}/bin
                   ${CMAKE_BINARY_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/e2e-${name} ${filter} ${ARGN}
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_${PLIMO_ARCH} TIMEOUT ${timeout}
                       SKIP_RETURN_CODE 77)
endfunction()
# The flows that end within seconds, and the watcher's minute on its own.
plimo_e2e_test(${PLIMO_ARCH}_e2e_flows "Flow.*-Flow.WatcherMinute" 600)
plimo_e2e_test(${PLIMO_ARCH}_e2e_watcher "Flow.WatcherMinute" 300)
# The flows of paths, arguments and texts once more on each other kind of
# system: Wine takes the ANSI code page from the process's locale (Russian
# 1251; the double-byte 932, 936, 949 and 950; UTF-8 65001). The flows pick
# their rows by the code page.
set(PLIMO_E2E_CODE_PAGE_TESTS)
foreach(page_locale 1251:ru_RU.UTF-8 932:ja_JP.UTF-8 936:zh_CN.UTF-8 949:ko_KR.UTF-8 950:zh_TW.UTF-8
                    65001:hi_IN.UTF-8)
  string(REPLACE ":" ";" page_locale ${page_locale})
  list(GET page_locale 0 page)
  list(GET page_locale 1 locale)
  plimo_e2e_test(${PLIMO_ARCH}_e2e_cp${page}
                 "Flow.FoldersAndArgumentsInAnyScript:Flow.NarrowMessagesInTheInstallersCodePage" 300 ${locale} ${page})
  list(APPEND PLIMO_E2E_CODE_PAGE_TESTS ${PLIMO_ARCH}_e2e_cp${page})
endforeach()

# The flows write the prefix's JavaSoft keys, located list, version cache and
# deletion lists, which the search, launcher and provision tests of this
# configuration clear and check too: never run them side by side (ctest -j).
foreach(test ${PLIMO_ARCH}_e2e_flows ${PLIMO_ARCH}_e2e_watcher ${PLIMO_E2E_CODE_PAGE_TESTS} ${PLIMO_ARCH}_launcher
             ${PLIMO_ARCH}_jvmsearch ${PLIMO_ARCH}_provision)
  if(TEST ${test})
    set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK plimo_registry_${PLIMO_ARCH})
  endif()
endforeach()

# discreel_test(NAME name SOURCES ... LIBS ... [FIXTURES] [GUI] [TIMEOUT s])
# One gtest executable per group of related cases. FIXTURES makes the test wait
# for the authored DVDs; GUI runs it on Qt's offscreen platform.
function(discreel_test)
  cmake_parse_arguments(T "FIXTURES;GUI" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE
    DISCREEL_FIXTURE_DIR="${DISCREEL_FIXTURE_DIR}"
    DISCREEL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    DISCREEL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_FIXTURES)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED dvd_fixtures)
  endif()
  if(T_GUI)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endif()
endfunction()

# tarvelle_add_tests(LIBS lib...): every *_test.cpp in the calling folder becomes a GoogleTest
# program of its own (so one broken file does not stop the others), linked with LIBS.
# Tests find the reference material and the built tools through these definitions.
function(tarvelle_add_tests)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src ${test_sources})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    target_compile_definitions(${name} PRIVATE
      TARVELLE_SHARED_DIR="${TARVELLE_SHARED_DIR}"
      TARVELLE_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
      TARVELLE_BINARY_DIR="${CMAKE_BINARY_DIR}"
      TARVELLE_PYTHON="${Python3_EXECUTABLE}")
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "${ARG_LABELS}")
  endforeach()
endfunction()

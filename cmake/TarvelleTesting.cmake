# tarvelle_add_tests(LIBS lib...): every *_test.cpp in the calling folder becomes a GoogleTest
# program of its own (so one broken file does not stop the others), linked with LIBS.
# Tests find the reference material and the built tools through these definitions.
#
# Builds for Windows run their tests under Wine on a Linux machine, where the Linux tools that
# some tests call (python3 and the PST checker, the PST readers, POSIX processes) are not there
# for the Windows program. With TARVELLE_HOST_TOOL_TESTS off (the default when cross-compiling
# for Windows) a test file that uses them is left out of the build; the Linux build keeps all.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(tarvelle_host_tool_tests_default OFF)
else()
  set(tarvelle_host_tool_tests_default ON)
endif()
option(TARVELLE_HOST_TOOL_TESTS "Build the tests that run Linux tools (python3, PST readers)"
  ${tarvelle_host_tool_tests_default})

# What marks a test file as needing the build machine's own tools and processes.
set(TARVELLE_HOST_TOOL_PATTERN
  "TARVELLE_PYTHON|std::system *\\(|popen *\\(|[^_a-z]fork *\\(|waitpid|WIFEXITED|setrlimit|<sys/resource\\.h>|pffexport|readpst|pstwalk")

function(tarvelle_add_tests)
  cmake_parse_arguments(ARG "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src ${test_sources})
    get_filename_component(name ${src} NAME_WE)
    if(NOT TARVELLE_HOST_TOOL_TESTS)
      file(READ ${src} test_text)
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${src})
      # Helpers the test includes from its own folder count as part of it.
      string(REGEX MATCHALL "#include \"[^\"]+\"" includes "${test_text}")
      foreach(include ${includes})
        string(REGEX REPLACE "#include \"([^\"]+)\"" "\\1" header "${include}")
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${header})
          file(READ ${CMAKE_CURRENT_SOURCE_DIR}/${header} header_text)
          string(APPEND test_text "${header_text}")
          set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
            ${CMAKE_CURRENT_SOURCE_DIR}/${header})
        endif()
      endforeach()
      if(test_text MATCHES "${TARVELLE_HOST_TOOL_PATTERN}")
        message(STATUS "${name}: uses the build machine's tools, not built for this target")
        continue()
      endif()
    endif()
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

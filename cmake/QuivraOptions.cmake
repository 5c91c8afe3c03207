# Warning set for our own code: every target of ours links quivra_warnings.
add_library(quivra_warnings INTERFACE)
target_compile_options(quivra_warnings INTERFACE -Wall -Wextra -Wpedantic)
if(QUIVRA_WERROR)
  target_compile_options(quivra_warnings INTERFACE -Werror)
endif()

if(QUIVRA_ASAN AND QUIVRA_TSAN)
  message(FATAL_ERROR "QUIVRA_ASAN and QUIVRA_TSAN cannot be combined")
endif()

# Sanitizers apply to everything built in the tree, libraries and tests alike.
if(QUIVRA_ASAN)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(QUIVRA_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(QUIVRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUIVRA_FUZZ needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  # Libraries get coverage instrumentation; the fuzz targets link the fuzzer driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# quivra_add_gtest(<name> SOURCES ... LIBS ... LABELS ...)
# One GoogleTest executable, registered test by test with CTest under the given labels.
function(quivra_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main quivra_warnings)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE QUIVRA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name}
    PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()

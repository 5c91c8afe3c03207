# The online version check against a local HTTP server. app/version_check.cpp is compiled
# into the test itself, so the suite does not need the rest of the main window.
find_package(Qt6 REQUIRED COMPONENTS Core Network)
quivra_add_gtest(test_version_check
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/version_check_test.cpp
          ${PROJECT_SOURCE_DIR}/app/version_check.cpp
  LIBS quivra_ui Qt6::Network
  LABELS app network)

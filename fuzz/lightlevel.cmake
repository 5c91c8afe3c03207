# Hostile spectrum records for the lux evaluation.
if(TARGET quivra_lightlevel)
  quivra_add_fuzzer(fuzz_lightlevel
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_lightlevel.cpp
    LIBS quivra_lightlevel)
endif()

# Hostile requests against the simulated instrument's request parsing.
if(TARGET quivra_sim)
  quivra_add_fuzzer(fuzz_sim_requests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_sim_requests.cpp
    LIBS quivra_sim)
endif()

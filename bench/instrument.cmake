# Host time of captures through the simulated instrument at time scale 0.
if(TARGET quivra_instrument AND TARGET quivra_sim)
  add_executable(bench_instrument ${CMAKE_CURRENT_SOURCE_DIR}/bench_instrument.cpp)
  target_link_libraries(bench_instrument PRIVATE quivra_instrument quivra_sim benchmark::benchmark quivra_warnings)
endif()

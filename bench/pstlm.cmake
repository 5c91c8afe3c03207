# PstLmCompute on a 180 s record at 4096 Hz, against the plain step-by-step form.
add_executable(bench_pstlm ${CMAKE_CURRENT_LIST_DIR}/bench_pstlm.cpp)
target_link_libraries(bench_pstlm PRIVATE quivra_analysis benchmark::benchmark quivra_warnings)

# Saving and loading the PstLM-sized measurement (737280 samples, about 20 MB of text).
add_executable(bench_files ${CMAKE_CURRENT_LIST_DIR}/bench_files.cpp)
target_link_libraries(bench_files PRIVATE quivra_files benchmark::benchmark quivra_warnings)

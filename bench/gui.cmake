# The workbench's redraw of one capture (ShowCharts + ShowParams, with and without painting)
# and its assessment (ShowAssessment, with and without painting the page) at 16384, 65536
# and 737280 samples, and the program's CPU load while capturing
# continuously; offscreen, against the simulated instrument.
if(TARGET quivra_workbench)
  add_executable(bench_gui ${CMAKE_CURRENT_LIST_DIR}/bench_gui.cpp)
  target_link_libraries(bench_gui PRIVATE quivra_workbench benchmark::benchmark quivra_warnings)
endif()

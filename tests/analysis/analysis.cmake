# The analysis engine: record, spectrum, metrics, FIR, JEITA, figures and number text.
quivra_add_gtest(test_analysis
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/allocation_probe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_record.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_spectrum.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_metrics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_fir.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_jeita.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_numfmt.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_figures.cpp
  LIBS quivra_analysis
  LABELS analysis)

# The standards assessment: the IEEE 1789 limit lines and their band edges, the Ecodesign and
# JA8 limits, the JA8 reduction and the "not assessed" cases.
quivra_add_gtest(test_assessment
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/allocation_probe.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test_assessment.cpp
  LIBS quivra_analysis
  LABELS analysis)

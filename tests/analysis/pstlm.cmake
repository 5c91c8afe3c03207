# The PstLM flickermeter: filters, coefficients, statistics and the whole computation,
# compared with the plain step-by-step form in pstlm_reference.h.
quivra_add_gtest(test_pstlm
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_pstlm.cpp
  LIBS quivra_analysis
  LABELS analysis)

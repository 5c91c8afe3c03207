# The host's reply parsing: opening sequence, four-angle file, capture and dark calibration
# with every instrument answer taken from the fuzz input.
quivra_add_fuzzer(fuzz_instrument SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_instrument.cpp LIBS quivra_instrument)

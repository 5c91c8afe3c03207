# The measurement-file readers: the text parser, and each workbook reader followed by it.
foreach(kind text xls xlsx utf16)
  quivra_add_fuzzer(fuzz_files_${kind}
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_files.cpp
    LIBS quivra_files)
  target_compile_definitions(fuzz_files_${kind} PRIVATE QUIVRA_FUZZ_FILES_${kind}=1)
endforeach()

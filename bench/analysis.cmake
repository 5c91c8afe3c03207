# The analysis engine: whole runs, the transform against FFTW's single-precision plans, the
# SVM curve search against the plain scan, the FIR filter and the file's number text.
# FFTW is a benchmark-only dependency.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FFTW3F REQUIRED IMPORTED_TARGET fftw3f)
add_executable(bench_analysis ${CMAKE_CURRENT_LIST_DIR}/bench_analysis.cpp)
target_link_libraries(bench_analysis PRIVATE quivra_analysis benchmark::benchmark PkgConfig::FFTW3F
                      quivra_warnings)

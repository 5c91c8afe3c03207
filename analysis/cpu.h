// What the processor offers beyond the instruction set the library is compiled for.
#pragma once

// True when the x86 processor (and its operating system) runs AVX2 instructions and their
// use is allowed; false elsewhere. The processor is asked once.
bool CpuHasAvx2() noexcept;

// Allows (the default) or forbids the AVX2 paths, so that tests can run the baseline paths
// on any processor. Every path gives the same results.
void CpuAllowAvx2(bool allowed) noexcept;

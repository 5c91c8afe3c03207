// Runs a parameterised test once with the AVX2 paths allowed (true) and once with only the
// baseline vector paths (false); every path must give the same results.
#pragma once

#include <gtest/gtest.h>

#include "analysis/cpu.h"

class InstructionPaths : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { CpuAllowAvx2(GetParam()); }
  void TearDown() override { CpuAllowAvx2(true); }
};

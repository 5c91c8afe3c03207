// The analysis run of a record with a choice of transform arithmetic: FlickerRun is
// FlickerAnalyse with TransformPrecision::kDouble. kExtended serves as the reference that
// shows the program's arithmetic leaves the figures where they are.
#pragma once

#include <cstdint>

#include "analysis/record.h"
#include "analysis/spectrum.h"

int FlickerAnalyse(FlickerRecord* record, uint32_t testSignal, uint32_t firEnabled,
                   TransformPrecision precision) noexcept;

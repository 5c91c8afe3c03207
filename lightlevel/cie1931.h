// The CIE 1931 2-degree standard colorimetric observer at 1 nm from 360 to 830 nm
// (x-bar, y-bar, z-bar; y-bar(555) = 1). Constant program data.
#pragma once

constexpr int kCie1931StartNm = 360;
constexpr int kCie1931EndNm = 830;
constexpr int kCie1931Count = kCie1931EndNm - kCie1931StartNm + 1;  // 471

extern const float kCie1931X[kCie1931Count];
extern const float kCie1931Y[kCie1931Count];
extern const float kCie1931Z[kCie1931Count];

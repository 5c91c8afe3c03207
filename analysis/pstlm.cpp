#include "analysis/pstlm.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <utility>

namespace {

constexpr double kHuge = 1.7976931348623157e308;  // largest finite double
constexpr double kPi = 3.14159265358979323846;

// Weighting filter per listed rate, in the order of kPstSampleFreqs: b0..b4, a1..a4.
constexpr double kWeighting[11][9] = {
    {0.0503037825478362, -0.179754425154209, 0.238062967519871, -0.138074477175165,
     0.0294621522616675, -3.9058637764145, 5.72035920087035, -3.72306731912444,
     0.908572084684076},
    {0.0460533520014863, -0.173385377350028, 0.24399470291478, -0.152046257806258,
     0.0353835802400202, -3.95250877021382, 5.85822337747796, -3.85891282079413,
     0.953198225690049},
    {0.0438752717702492, -0.170062366136272, 0.246975532954916, -0.159265000950187,
     0.038476562361294, -3.97614575706767, 5.92861217868562, -3.92878612335879,
     0.976319702509935},
    {0.0434353360497828, -0.169386395796226, 0.247572863742896, -0.160727856771139,
     0.0391060527746869, -3.98089903723641, 5.94280913469475, -3.94292066370185,
     0.981010566559291},
    {0.0427727054599747, -0.168365248262095, 0.248469578182615, -0.162934226674717,
     0.0400571912942241, -3.98804535340916, 5.96417986741205, -3.96422355362144,
     0.988089039666914},
    {0.0425510984561306, -0.168022938488021, 0.248768673478792, -0.163672921860919,
     0.0403760884140181, -3.99043185478453, 5.97132361124312, -3.97135159612917,
     0.99045983969041},
    {0.042218000904112, -0.167507658902533, 0.249217494090361, -0.164784014244034,
     0.0408561781520929, -3.99401574863152, 5.98205820774366, -3.98206915443163,
     0.994026695322527},
    {0.0421067848033639, -0.167335413874996, 0.249367148205741, -0.165155193566771,
     0.0410166744326639, -3.99521148739574, 5.98564147905812, -3.98564848816251,
     0.995218496501367},
    {0.0419397882229867, -0.167076590468774, 0.249591673556032, -0.165712728491841,
     0.041257857181595, -3.99700613639912, 5.99102115091712, -3.99102389073927,
     0.997008876221466},
    {0.0418840766684347, -0.166990194287054, 0.249666527103332, -0.16589877796503,
     0.0413383684803167, -3.99760463067368, 5.99281564688269, -3.99281740077251,
     0.997606384563582},
    {0.0418394908413543, -0.166921033482034, 0.249726414171328, -0.166047691234207,
     0.0414028197035591, -3.99808352626087, 5.99425170197651, -3.99425282467273,
     0.99808464895712},
};

int RateIndex(uint32_t sampleFreq) {
  for (int i = 0; i < 11; ++i) {
    if (kPstSampleFreqs[i] == sampleFreq) return i;
  }
  return -1;
}

// One filter run sample by sample: the same sums in the same order as the array form
// (zero initial state, the first m-1 outputs from the samples seen so far). Step does one
// sample; Push, Term and Finish split it so that the sums of several filters can be
// interleaved term by term (their latency chains then overlap).
template <int M>
class IirStage {
 public:
  static constexpr int kTerms = 2 * M - 1;

  IirStage(const double* b, const double* a) {
    for (int j = 0; j < M; ++j) {
      b_[j] = b[j];
      a_[j] = a[j];
    }
  }

  // True once M - 1 samples went through: from then on every sum has all its terms.
  bool Ready() const { return seen_ >= M - 1; }

  double Step(double in) {
    Push(in);
    long double acc = 0.0L;
    if (Ready()) {
      [&]<std::size_t... T>(std::index_sequence<T...>) {
        (Term<T>(acc), ...);
      }(std::make_index_sequence<kTerms>());
    } else {
      for (int j = 0; j <= seen_; ++j) acc += static_cast<long double>(b_[j]) * x_[j];
      for (int j = 1; j <= seen_; ++j) acc -= static_cast<long double>(a_[j]) * y_[j];
      ++seen_;
    }
    return Finish(acc);
  }

  void Push(double in) {
    Shift(x_);
    x_[0] = in;
    // Left to itself the compiler widens the coefficients once and reloads them as 80-bit
    // values, which are slow to load; this makes it read them as doubles in every product.
    __asm__("" : "+m"(b_), "+m"(a_));
  }

  // Term T of the sum: b[T] in[i-T] for T < M, then -a[j] out[i-j] for j = 1 .. M-1.
  template <std::size_t T>
  void Term(long double& acc) const {
    if constexpr (T < M) {
      acc += static_cast<long double>(b_[T]) * x_[T];
    } else if constexpr (T < kTerms) {
      acc -= static_cast<long double>(a_[T - M + 1]) * y_[T - M + 1];
    }
  }

  double Finish(long double acc) {
    const double out = static_cast<double>(acc);
    Shift(y_);
    if constexpr (M > 1) y_[1] = out;  // y_[j] is out[i - j] from the next sample on
    return out;
  }

 private:
  // v[j] = v[j - 1] for j = M-1 down to 1.
  static void Shift(double* v) {
    [&]<std::size_t... K>(std::index_sequence<K...>) {
      ((v[M - 1 - K] = v[M - 2 - K]), ...);
    }(std::make_index_sequence<M - 1>());
  }

  double b_[M], a_[M];  // widened exactly to long double in each product
  double x_[M] = {};    // x_[j] = in[i - j]
  double y_[M] = {};    // y_[j] = out[i - j], j >= 1
  int seen_ = 0;        // samples before the current one, counted up to M - 1
};

template <int M>
void IirRun(const double* b, const double* a, uint32_t n, double* out, const double* in) {
  IirStage<M> stage(b, a);
  for (uint32_t i = 0; i < n; ++i) out[i] = stage.Step(in[i]);
}

// Owning array of doubles that reports allocation failure instead of throwing.
std::unique_ptr<double[]> TryAllocate(uint32_t count) {
  return std::unique_ptr<double[]>(new (std::nothrow) double[count]);
}

bool MeanOf(const float* samples, uint32_t n, double* mean) {
  double sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum += samples[i];
  const double u = sum / n;
  if (!(u > 0) || !std::isfinite(u)) return false;
  *mean = u;
  return true;
}

// The chain from the samples to Pinst in one pass: normalisation, high-pass, fade-in,
// low-pass, weighting, squaring, smoothing and scaling. Each filter rounds its output to
// double exactly as the array form does, so the values are those of running the filters
// one after the other over whole arrays. The filters form a pipeline: in step i the
// high-pass takes sample i, the low-pass sample i-1, the weighting i-2 and the smoothing
// i-3, so the four sums are independent of each other and are evaluated interleaved.
// Pinst of samples from .. n-1 goes to pinst[0 .. n-from-1]; u is the mean of the samples.
void PinstChain(const float* samples, uint32_t n, uint32_t fs, double u, uint32_t from,
                double* pinst) {
  PstCoefficients hp, lp, wt, sm;
  PstLmCoefficients(PstFilterKind::HighPass, fs, &hp);
  PstLmCoefficients(PstFilterKind::LowPass, fs, &lp);
  PstLmCoefficients(PstFilterKind::Weighting, fs, &wt);
  PstLmCoefficients(PstFilterKind::Smoothing, fs, &sm);
  IirStage<2> highPass(hp.b, hp.a);
  IirStage<7> lowPass(lp.b, lp.a);
  IirStage<5> weighting(wt.b, wt.a);
  IirStage<2> smoothing(sm.b, sm.a);
  const uint32_t q = PstFadeInLength(n, fs);

  // Normalised to the mean, then the mean in volts subtracted (the high-pass removes the
  // offset this leaves when the mean is not 1 V).
  const auto detrended = [&](uint32_t i) {
    const double x1 = samples[i] / u;
    return x1 - u;
  };
  const auto fadeIn = [&](uint32_t i, double x) { return i < q ? x * PstFadeInWeight(i, q) : x; };
  const auto emit = [&](uint32_t i, double x) {
    if (i >= from) pinst[i - from] = x * kPinstScale;
  };

  double highOut = 0;  // high-pass output (faded in) of sample i-1
  double lowOut = 0;   // low-pass output of sample i-2
  double weightOut = 0;  // weighting output of sample i-3
  // One pipeline step with every filter on its own; i runs to n + 2 to drain the pipeline.
  const auto plainStep = [&](uint32_t i) {
    if (i >= 3) emit(i - 3, smoothing.Step(weightOut * weightOut));
    if (i >= 2 && i - 2 < n) weightOut = weighting.Step(lowOut);
    if (i >= 1 && i - 1 < n) lowOut = lowPass.Step(highOut);
    if (i < n) highOut = fadeIn(i, highPass.Step(detrended(i)));
  };

  uint32_t i = 0;
  for (; i < n + 3 && !(i >= 3 && i < n && highPass.Ready() && lowPass.Ready() &&
                        weighting.Ready() && smoothing.Ready());
       ++i) {
    plainStep(i);
  }
  for (; i < n; ++i) {
    smoothing.Push(weightOut * weightOut);
    weighting.Push(lowOut);
    lowPass.Push(highOut);
    highPass.Push(detrended(i));
    long double accS = 0.0L, accW = 0.0L, accL = 0.0L, accH = 0.0L;
    [&]<std::size_t... T>(std::index_sequence<T...>) {
      ((lowPass.Term<T>(accL), weighting.Term<T>(accW), highPass.Term<T>(accH),
        smoothing.Term<T>(accS)),
       ...);
    }(std::make_index_sequence<IirStage<7>::kTerms>());
    emit(i - 3, smoothing.Finish(accS));
    weightOut = weighting.Finish(accW);
    lowOut = lowPass.Finish(accL);
    highOut = fadeIn(i, highPass.Finish(accH));
  }
  for (; i < n + 3; ++i) plainStep(i);
}

// Class of v among the non-decreasing edges e[0 .. C+1]: the largest j with e[j] <= v,
// which for non-decreasing edges is the one j with e[j] <= v < e[j+1]; -1 when v is not
// below e[C+1]. guess is tried first (and its neighbours), then a binary search.
int ClassOf(const double* e, double v, int guess) {
  constexpr int C = kPstClassCount;
  for (int j = std::max(guess - 1, 0); j <= std::min(guess + 1, C); ++j) {
    if (e[j] <= v && v < e[j + 1]) return j;
  }
  const int j = static_cast<int>(std::upper_bound(e, e + C + 2, v) - e) - 1;
  return j <= C ? j : -1;
}

}  // namespace

bool PstLmRateSupported(uint32_t sampleFreq) {
  return RateIndex(sampleFreq) >= 0 && sampleFreq <= kPstMaxSampleFreq;
}

bool PstLmApplicable(uint32_t sampleCount, uint32_t sampleFreq) {
  return PstLmRateSupported(sampleFreq) && sampleCount <= kPstMaxSamples &&
         sampleCount > kPstSettlingSeconds * sampleFreq;
}

int PstLmCoefficients(PstFilterKind kind, uint32_t sampleFreq, PstCoefficients* out) {
  const int rate = RateIndex(sampleFreq);
  if (rate < 0 || !out) return -1;
  const double fs = sampleFreq;
  PstCoefficients c;
  switch (kind) {
    case PstFilterKind::HighPass: {
      const double k = std::tan(kPi * 0.05 / fs);
      c.m = 2;
      c.b[0] = 1 / (1 + k);
      c.b[1] = -1 / (1 + k);
      c.a[1] = -(1 - k) / (1 + k);
      break;
    }
    case PstFilterKind::Smoothing: {
      const double fc = 1 / (2 * kPi * 0.3);
      const double k = std::tan(kPi * fc / fs);
      c.m = 2;
      c.b[0] = k / (1 + k);
      c.b[1] = k / (1 + k);
      c.a[1] = -(1 - k) / (1 + k);
      break;
    }
    case PstFilterKind::LowPass: {
      // Three second-order sections of the Butterworth prototype, each bilinear-transformed
      // with the frequency pre-warped at fc, multiplied out into one polynomial.
      const double k = std::tan(kPi * 35.0 / fs);
      c.m = 7;
      c.a[0] = 1;
      int degree = 0;
      for (int section = 1; section <= 3; ++section) {
        const double damping = std::sin(kPi * (2 * section - 1) / 12.0);
        const double d0 = 1 + 2 * damping * k + k * k;
        const double d1 = (2 * k * k - 2) / d0;
        const double d2 = (1 - 2 * damping * k + k * k) / d0;
        double next[7] = {};
        for (int i = 0; i <= degree; ++i) {
          next[i] += c.a[i];
          next[i + 1] += c.a[i] * d1;
          next[i + 2] += c.a[i] * d2;
        }
        degree += 2;
        std::copy(next, next + 7, c.a);
      }
      double sum = 0;
      for (double v : c.a) sum += v;
      const double g = sum / 64;
      constexpr double binomial[7] = {1, 6, 15, 20, 15, 6, 1};
      for (int i = 0; i < 7; ++i) c.b[i] = g * binomial[i];
      break;
    }
    case PstFilterKind::Weighting: {
      c.m = 5;
      c.a[0] = 1;
      for (int i = 0; i < 5; ++i) c.b[i] = kWeighting[rate][i];
      for (int i = 1; i < 5; ++i) c.a[i] = kWeighting[rate][4 + i];
      break;
    }
    default:
      return -1;
  }
  c.a[0] = 1;
  *out = c;
  return 0;
}

void IirFilter(const double* b, const double* a, uint32_t n, double* out, const double* in,
               int m) {
  switch (m) {
    case 1: IirRun<1>(b, a, n, out, in); return;
    case 2: IirRun<2>(b, a, n, out, in); return;
    case 3: IirRun<3>(b, a, n, out, in); return;
    case 4: IirRun<4>(b, a, n, out, in); return;
    case 5: IirRun<5>(b, a, n, out, in); return;
    case 6: IirRun<6>(b, a, n, out, in); return;
    case 7: IirRun<7>(b, a, n, out, in); return;
    default: break;
  }
  for (uint32_t i = 0; i < n; ++i) {
    const int top = i < static_cast<uint32_t>(m - 1) ? static_cast<int>(i) : m - 1;
    long double acc = 0.0L;
    for (int j = 0; j <= top; ++j) acc += static_cast<long double>(b[j]) * in[i - j];
    for (int j = 1; j <= top; ++j) acc -= static_cast<long double>(a[j]) * out[i - j];
    out[i] = static_cast<double>(acc);
  }
}

uint32_t PstFadeInLength(uint32_t sampleCount, uint32_t sampleFreq) {
  const double v = sampleFreq * 0.1 + 0.5;
  return sampleCount < v ? sampleCount : static_cast<uint32_t>(v);
}

int PstLmPinst(const float* samples, uint32_t sampleCount, uint32_t sampleFreq, double* pinst) {
  if (!samples || !pinst || sampleCount == 0 || sampleCount > kPstMaxSamples ||
      !PstLmRateSupported(sampleFreq)) {
    return -1;
  }
  double u = 0;
  if (!MeanOf(samples, sampleCount, &u)) return -1;
  PinstChain(samples, sampleCount, sampleFreq, u, 0, pinst);
  return 0;
}

int PstLmStatistics(const double* pinst, uint32_t count, double* pst) {
  constexpr int C = kPstClassCount;
  if (!pinst || !pst || count == 0) return -1;

  double lo = kHuge, hi = -kHuge;
  bool finite = true;
  for (uint32_t i = 0; i < count; ++i) {
    const double v = pinst[i];
    finite = finite && std::isfinite(v);
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  if (!finite || !std::isfinite(hi - lo)) return -1;

  // Classifier block: levels and edges in double, counts, centres and exceedance.
  struct Block {
    double edge[C + 2];
    int32_t count[C + 1];
    float centre[C];
    float exceed[C];
  };
  const std::unique_ptr<Block> block(new (std::nothrow) Block);
  if (!block) return -1;
  double* e = block->edge;
  int32_t* cnt = block->count;
  float* centre = block->centre;
  float* exceed = block->exceed;

  // Levels lo + j * width with the top one exactly hi. They never decrease: j * width and
  // lo + t are monotone under rounding, and lo + (C - 1) * width lies a whole class below
  // hi. The edges are the levels with -huge below and +huge above.
  const double width = (hi - lo) / C;
  e[0] = -kHuge;
  for (int j = 0; j < C; ++j) {
    const double level = lo + j * width;
    centre[j] = static_cast<float>(level + width * 0.5);
    if (j > 0) e[j] = level;
  }
  e[C] = hi;
  e[C + 1] = kHuge;

  // One pass: each value's class, found from its position between lo and hi and confirmed
  // against the edges. The extra class C holds the values equal to hi.
  std::fill(cnt, cnt + C + 1, 0);
  const bool spread = width > 0;
  for (uint32_t i = 0; i < count; ++i) {
    const double v = pinst[i];
    int guess = C;
    if (spread) {
      const double position = (v - lo) / width;
      guess = position < C ? static_cast<int>(position) : C;
    }
    const int j = ClassOf(e, v, guess);
    if (j >= 0) ++cnt[j];
  }
  cnt[C - 1] += cnt[C];

  int64_t total = 0;
  for (int j = 0; j < C; ++j) total += cnt[j];
  if (total == 0) return -1;
  int64_t cum = 0;
  for (int j = 0; j < C; ++j) {
    cum += cnt[j];
    const double below = static_cast<double>(cum) / static_cast<double>(total);
    exceed[j] = static_cast<float>((1.0 - below) * 100.0);
  }

  // Percentile: centre of the class whose exceedance is nearest to p (lowest class on ties).
  const auto percentile = [&](double p) -> double {
    const float pf = static_cast<float>(p);
    int best = 0;
    float bestD = std::fabs(exceed[0] - pf);
    for (int j = 1; j < C; ++j) {
      const float d = std::fabs(exceed[j] - pf);
      if (d < bestD) {
        bestD = d;
        best = j;
      }
    }
    return centre[best];
  };
  const double p01 = percentile(0.1), p07 = percentile(0.7), p1 = percentile(1),
               p15 = percentile(1.5), p22 = percentile(2.2), p3 = percentile(3),
               p4 = percentile(4), p6 = percentile(6), p8 = percentile(8),
               p10 = percentile(10), p13 = percentile(13), p17 = percentile(17),
               p30 = percentile(30), p50 = percentile(50), p80 = percentile(80);

  constexpr long double third = 1.0L / 3.0L;
  const double p1s = static_cast<double>((static_cast<long double>(p07) + p1 + p15) * third);
  const double p3s = static_cast<double>((static_cast<long double>(p22) + p3 + p4) * third);
  const double p10s = static_cast<double>(
      (static_cast<long double>(p6) + p8 + p10 + p13 + p17) * 0.2L);
  const double p50s = static_cast<double>((static_cast<long double>(p30) + p50 + p80) * third);

  const double severity =
      std::sqrt(0.0314 * p01 + 0.0525 * p1s + 0.0657 * p3s + 0.28 * p10s + 0.08 * p50s);
  // Class centres are floats: Pinst beyond their range gives an infinite severity.
  if (!std::isfinite(severity)) return -1;
  *pst = severity;
  return 0;
}

int PstLmCompute(const float* samples, uint32_t sampleCount, uint32_t sampleFreq,
                 PstResult* result) {
  if (!samples || !result || sampleFreq < kPstMinSampleFreq ||
      !PstLmApplicable(sampleCount, sampleFreq)) {
    return -1;
  }
  double u = 0;
  if (!MeanOf(samples, sampleCount, &u)) return -1;
  // Only the Pinst values after settling are kept.
  const uint32_t settle = kPstSettlingSeconds * sampleFreq;
  const uint32_t tailCount = sampleCount - settle;
  const auto tail = TryAllocate(tailCount);
  if (!tail) return -1;
  PinstChain(samples, sampleCount, sampleFreq, u, settle, tail.get());

  double pinstMax = -kHuge;
  for (uint32_t i = 0; i < tailCount; ++i) {
    if (tail[i] > pinstMax) pinstMax = tail[i];
  }
  double pst = 0;
  if (PstLmStatistics(tail.get(), tailCount, &pst) != 0) return -1;
  result->pst = pst;
  result->pinstMax = pinstMax;
  return 0;
}

#include "files/measurement_text.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cstring>

#include "analysis/numfmt.h"
#include "files/text_scan.h"

std::size_t FormatValue(float value, char* out) { return FormatFixed6(value, out, '.'); }

std::string FormatValue(float value) {
  char text[kMaxValueText];
  return std::string(text, FormatValue(value, text));
}

bool IsNumber(std::string_view text) {
  if (text.empty()) return false;
  std::size_t i = 0;
  if (text[0] == '-') {
    if (text.size() < 2 || !IsDigit(text.back())) return false;
    i = 1;
  }
  bool mark = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) continue;
    if ((c == '.' || c == ',') && !mark) {
      mark = true;
      continue;
    }
    return false;
  }
  return true;
}

float ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  float sign = 1.0f;
  if (!text.empty() && text[0] == '-') {
    sign = -1.0f;
    i = 1;
  }
  double integer = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    if (integer < 1e39) integer = integer * 10 + (text[i] - '0');
  }
  float fraction = 0;
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    const std::size_t first = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    for (std::size_t k = i; k > first; --k) {
      fraction = (static_cast<float>(text[k - 1] - '0') + fraction) * 0.1f;
    }
  }
  const float whole = integer > FLT_MAX ? FLT_MAX : static_cast<float>(integer);
  return sign * (whole + fraction);
}

bool FindValue(std::string_view text, std::string_view key, std::size_t from, float* value,
               std::size_t* next) {
  if (key.empty() || from >= text.size()) return false;
  std::size_t pos = from;
  while (pos < text.size()) {
    const std::size_t hit = text.find(key, pos);
    if (hit == std::string_view::npos) return false;
    const std::size_t tab = hit + key.size();
    const bool lineStart = hit == from || IsLineEnd(text[hit - 1]);
    if (!lineStart || tab >= text.size() || text[tab] != '\t') {
      pos = hit + 1;
      continue;
    }
    const std::size_t end = LineEnd(text, tab);
    const std::size_t following = NextLine(text, end);
    std::size_t w = tab + 1;
    while (w < end && IsBlank(text[w])) ++w;
    std::size_t e = w;
    while (e < end && !IsSpace(text[e])) ++e;
    const std::string_view word = text.substr(w, e - w);
    if (word.size() <= 31 && IsNumber(word)) {
      *value = ParseDecimal(word);
      *next = following;
      return true;
    }
    pos = following;
  }
  return false;
}

namespace {

// Appends to one growing block: callers reserve room for a row, then write without checks.
class TextBlock {
 public:
  explicit TextBlock(std::string* out, std::size_t estimate) : out_(out) {
    out_->resize(estimate);
  }
  void Reserve(std::size_t n) {
    if (len_ + n > out_->size()) out_->resize(std::max(out_->size() * 2, len_ + n));
  }
  void Put(std::string_view s) {
    Reserve(s.size());
    std::memcpy(out_->data() + len_, s.data(), s.size());
    len_ += s.size();
  }
  // Unchecked appends: Reserve first.
  void Char(char c) { (*out_)[len_++] = c; }
  void Value(float v) { len_ += FormatValue(v, out_->data() + len_); }
  void Integer(int64_t v) {
    Reserve(24);
    len_ = static_cast<std::size_t>(
        std::to_chars(out_->data() + len_, out_->data() + out_->size(), v).ptr - out_->data());
  }
  void Crlf() {
    (*out_)[len_++] = '\r';
    (*out_)[len_++] = '\n';
  }
  void Finish() { out_->resize(len_); }

 private:
  std::string* out_;
  std::size_t len_ = 0;
};

constexpr std::size_t kRowRoom = 2 * kMaxValueText + 4;

void TextLine(TextBlock& b, std::string_view name, std::string_view text) {
  b.Put(name);
  b.Put("\t");
  b.Put(text);
  b.Put("\r\n");
}

void ValueLine(TextBlock& b, std::string_view name, float v) {
  b.Put(name);
  b.Reserve(kRowRoom);
  b.Char('\t');
  b.Value(v);
  b.Crlf();
}

void IntegerLine(TextBlock& b, std::string_view name, int64_t v) {
  b.Put(name);
  b.Put("\t");
  b.Integer(v);
  b.Put("\r\n");
}

}  // namespace

void ComposeMeasurementText(const FlickerRecord& r, const MeasurementIdentity& identity,
                            std::string* out) {
  const std::size_t rows = std::min<std::size_t>(r.sampleCount, r.volts.size());
  std::size_t spectrumRows = 0;
  if (r.spectrum) {
    spectrumRows = std::min<std::size_t>(
        {r.sampleCount / 2, r.spectrum->frequency.size(), r.spectrum->amplitude.size()});
  }
  const float dc = r.spectrum && !r.spectrum->amplitude.empty() ? r.spectrum->amplitude[0] : 0.0f;

  // Typical rows are about 20 characters; the block grows if values are wider.
  TextBlock b(out, 2048 + identity.modelName.size() + identity.serialNumber.size() +
                       identity.captureTime.size() + (rows + spectrumRows) * 22);
  TextLine(b, "Model Name", identity.modelName);
  TextLine(b, "Serial Number", identity.serialNumber);
  TextLine(b, "Time", identity.captureTime);
  IntegerLine(b, "Sample Number", r.sampleCount);
  IntegerLine(b, "Sample Frequency", r.sampleFreq);
  ValueLine(b, "Frequnecy", r.frequency);
  ValueLine(b, "RMS %", r.rmsRatio * 100.0f);
  ValueLine(b, "RMS dB", r.rmsDb);
  ValueLine(b, "JEITA %", r.jeitaRatio * 100.0f);
  ValueLine(b, "JEITA dB", r.jeitaDb);
  ValueLine(b, "VESA FMA", r.fma * 100.0f);
  ValueLine(b, "VESA %", r.vesaRatio * 100.0f);
  ValueLine(b, "VESA dB", r.vesaDb);
  ValueLine(b, "DC", dc);
  ValueLine(b, "contrast", r.contrast * 100.0f);
  ValueLine(b, "contrast dB", r.contrastDb);
  ValueLine(b, "Min", r.minVolts);
  ValueLine(b, "Max", r.maxVolts);
  ValueLine(b, "Max-Min", r.maxVolts - r.minVolts);
  ValueLine(b, "Percentage(IES)", r.percentFlicker * 100.0f);
  ValueLine(b, "Index(IES)", r.flickerIndex);
  ValueLine(b, "Average", r.average);
  ValueLine(b, "SVM", r.svm);
  ValueLine(b, "AC/DC", r.acDcRatio);
  IntegerLine(b, "gain", int64_t{r.gainIndex} + 1);
  b.Put("\r\nTime(sec)\tVoltage\r\n");

  const double rate = r.sampleFreq;
  for (std::size_t i = 0; i < rows; ++i) {
    const float t = r.sampleFreq ? static_cast<float>(static_cast<double>(i) / rate) : 0.0f;
    b.Reserve(kRowRoom);
    b.Value(t);
    b.Char('\t');
    b.Value(r.volts[i]);
    b.Crlf();
  }
  b.Put("\r\nHz\tAmplitude\r\n");
  for (std::size_t k = 0; k < spectrumRows; ++k) {
    b.Reserve(kRowRoom);
    b.Value(r.spectrum->frequency[k]);
    b.Char('\t');
    b.Value(r.spectrum->amplitude[k]);
    b.Crlf();
  }
  b.Finish();
}

// `quivra-cli analyze`, run as a process on files saved by the files layer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "analysis/figures.h"
#include "analysis/pstlm.h"
#include "analysis/record.h"
#include "files/load_save.h"
#include "instrument/device.h"
#include "tests/files/file_helpers.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exit = -1;
  std::string out, err;
};

class Analyze : public FilesTest {
 protected:
  Outcome Cli(const std::string& args) const {
    const std::string command = std::string("'") + QUIVRA_CLI + "' " + args + " >'" +
                                (dir / "out").string() + "' 2>'" + (dir / "err").string() + "'";
    const int status = std::system(command.c_str());
    Outcome o;
    o.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = ReadAll(dir / "out");
    o.err = ReadAll(dir / "err");
    return o;
  }

  // A 100 Hz ripple of 30 % around 1 V with a 20 Hz flicker of 5 % (what JEITA weighs), analysed as a capture would be, saved with gain 2.
  FlickerRecordPtr Saved(uint32_t count, uint32_t freq, const fs::path& path) const {
    FlickerRecordPtr r = MakeFlickerRecord(count, freq, 100, 1000);
    for (uint32_t i = 0; i < count; ++i) {
      r->volts[i] = 1.0f + 0.3f * static_cast<float>(std::sin(2 * M_PI * 100.0 * i / freq)) +
                    0.05f * static_cast<float>(std::sin(2 * M_PI * 20.0 * i / freq));
    }
    FlickerRun(r.get(), 0, 0);
    r->gainIndex = 1;
    EXPECT_TRUE(SaveRecordToFile(*r, &device, path));
    return r;
  }

};

TEST_F(Analyze, PrintsTheFiguresTheMeasurementHadBeforeSaving) {
  const fs::path file = dir / "lamp.xls";
  FlickerRecordPtr original = Saved(16384, 32768, file);

  const Outcome table = Cli("analyze '" + file.string() + "'");
  ASSERT_EQ(table.exit, 0) << table.err;
  for (const FigureInfo& f : FigureTable()) {
    const std::string text = FigureText(original.get(), f.name);
    const std::size_t at = table.out.find("\n" + std::string(f.name) + " ");
    ASSERT_NE(at, std::string::npos) << f.name << "\n" << table.out;
    const std::size_t end = table.out.find('\n', at + 1);
    const std::string row = table.out.substr(at + 1, end - at - 1);
    EXPECT_EQ(row.substr(row.find_last_of(' ') + 1), text) << row;
  }
  EXPECT_EQ(table.out.find("\nPstLM "), std::string::npos);  // 0.5 s is too short for it

  const Outcome json = Cli("analyze '" + file.string() + "' --json");
  ASSERT_EQ(json.exit, 0) << json.err;
  const nlohmann::json j = nlohmann::json::parse(json.out);
  EXPECT_EQ(j["sampleCount"], 16384);
  EXPECT_EQ(j["sampleFreq"], 32768);
  EXPECT_EQ(j["gain"], 2);
  for (const FigureInfo& f : FigureTable()) {
    const float want = FigureValueOf(*original, f);
    ASSERT_TRUE(j["figures"].contains(std::string(f.name))) << f.name;
    EXPECT_NEAR(j["figures"][std::string(f.name)].get<double>(), want,
                1e-4 * std::max(1.0f, std::fabs(want)))
        << f.name;
  }
  EXPECT_FALSE(j.contains("PstLM"));
  EXPECT_EQ(j["assessment"]["ecodesignPstLM"]["reason"], "no PstLM run");

  // With the FIR filter: the figures of the same samples filtered.
  FlickerRecordPtr filtered = MakeFlickerRecord(16384, 32768, 100, 1000);
  filtered->volts = original->volts;
  FlickerRun(filtered.get(), 0, 1);
  const Outcome fir = Cli("analyze '" + file.string() + "' --fir --json");
  ASSERT_EQ(fir.exit, 0) << fir.err;
  const nlohmann::json jf = nlohmann::json::parse(fir.out);
  EXPECT_NEAR(jf["figures"]["Max"].get<double>(), filtered->maxVolts, 1e-4);
  EXPECT_NE(jf["figures"]["Max"].get<double>(), j["figures"]["Max"].get<double>());
}

TEST_F(Analyze, LongMeasurementsGetPstLm) {
  const fs::path file = dir / "long.xls";
  FlickerRecordPtr original = Saved(25 * 4096, 4096, file);
  PstResult want;
  ASSERT_EQ(PstLmCompute(original->volts.data(), original->sampleCount, 4096, &want), 0);

  const Outcome json = Cli("analyze '" + file.string() + "' --json");
  ASSERT_EQ(json.exit, 0) << json.err;
  const nlohmann::json j = nlohmann::json::parse(json.out);
  ASSERT_TRUE(j.contains("PstLM")) << json.out;
  EXPECT_NEAR(j["PstLM"].get<double>(), want.pst, 1e-3 * std::max(1.0, want.pst));
  EXPECT_NEAR(j["PinstMax"].get<double>(), want.pinstMax, 1e-3 * std::max(1.0, want.pinstMax));
  // The assessment judges the same PstLM.
  EXPECT_NEAR(j["assessment"]["ecodesignPstLM"]["value"].get<double>(), j["PstLM"].get<double>(), 1e-9);
  EXPECT_EQ(j["assessment"]["ecodesignPstLM"]["state"], j["PstLM"].get<double>() <= 1.0 ? "pass" : "fail");

  const Outcome table = Cli("analyze '" + file.string() + "'");
  ASSERT_EQ(table.exit, 0) << table.err;
  EXPECT_NE(table.out.find("\nPstLM "), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("\nPinstMax "), std::string::npos) << table.out;
}

TEST_F(Analyze, RefusalsAndUsage) {
  const fs::path notes = dir / "notes.txt";
  std::ofstream(notes) << "a lamp in the hall\r\n";
  const Outcome bad = Cli("analyze '" + notes.string() + "'");
  EXPECT_EQ(bad.exit, 1);
  EXPECT_EQ(bad.err, notes.string() + " not a correct format for quivra\n");
  EXPECT_TRUE(bad.out.empty());

  const Outcome missing = Cli("analyze '" + (dir / "missing.xls").string() + "'");
  EXPECT_EQ(missing.exit, 1);
  EXPECT_NE(missing.err.find("missing.xls"), std::string::npos);
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);

  EXPECT_EQ(Cli("analyze").exit, 2);
  EXPECT_EQ(Cli("analyze '" + notes.string() + "' --cutoff 0").exit, 2);
  const Outcome help = Cli("analyze --help");
  EXPECT_EQ(help.exit, 0);
  EXPECT_NE(help.out.find("--cutoff"), std::string::npos);
}

}  // namespace

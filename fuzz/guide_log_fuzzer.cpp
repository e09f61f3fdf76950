// Fuzzes reading and analysing a guide log as corvane-log does: any bytes read as a log, each run
// analysed with the settings a user may give (each within the range the command line accepts),
// printed as text and JSON, exported as a PHD2 log and (one input in eight: a picture is slow
// under the sanitizers) drawn. Checked on every input:
// - reading either gives the runs or refuses with a LogError naming the line;
// - the analysis ends (libFuzzer's -timeout catches a search that does not) without a sanitizer
//   report (overflow, a read out of bounds);
// - the text printed and the PHD2 log hold no "nan" or "inf" where a number belongs;
// - the JSON printed is valid JSON (parsed back).
// The bytes at the end of the input choose the settings; the rest is the log.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "guidelog/LogFile.h"
#include "logtools/Analysis.h"
#include "logtools/Export.h"
#include "logtools/Output.h"
#include "logtools/Plot.h"

namespace {

using namespace corvane;

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "guide log: %s\n%s\n", what, detail.c_str());
  std::abort();
}

// A word of the text that is a printed non-finite number.
void CheckFinite(const std::string& text) {
  std::string word;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    const bool separator = c == ' ' || c == ',' || c == '(' || c == ')' || c == '\n' || c == ':' ||
                           c == ';' || c == '"' || c == '/';
    if (!separator) {
      word += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      continue;
    }
    if (word == "nan" || word == "-nan" || word == "inf" || word == "-inf") {
      Fail("a number printed as nan or inf", text);
    }
    word.clear();
  }
}

logtools::RunSettings Settings(FuzzedDataProvider& in) {
  logtools::RunSettings s;
  auto maybe = [&](std::optional<double>& value, double low, double high) {
    if (in.ConsumeBool()) value = in.ConsumeFloatingPointInRange<double>(low, high);
  };
  maybe(s.exposure, 1e-3, 3600.0);
  if (in.ConsumeBool()) s.download = in.ConsumeFloatingPointInRange<double>(0.0, 600.0);
  maybe(s.minSN, 0.0, 10000.0);
  if (in.ConsumeBool()) s.minStars = in.ConsumeIntegralInRange<int>(1, 10);
  maybe(s.angleDeg, -360.0, 360.0);
  maybe(s.xSpeed, 1e-6, 10000.0);
  maybe(s.ySpeed, 1e-6, 10000.0);
  if (in.ConsumeBool()) s.reverseX = in.ConsumeBool();
  maybe(s.declinationDeg, -89.999, 89.999);
  maybe(s.scale, 1e-6, 1000.0);
  maybe(s.minMove, -60.0, 60.0);
  maybe(s.maxMove, -60.0, 60.0);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const logtools::RunSettings settings = Settings(in);
  const bool draw = in.ConsumeIntegralInRange<int>(0, 7) == 0;
  const std::string text = in.ConsumeRemainingBytesAsString();
  guidelog::LogFile file;
  try {
    file = guidelog::ParseLog(text);
  } catch (const guidelog::LogError& e) {
    if (std::string(e.what()).empty()) Fail("a refusal without a reason", text);
    return 0;
  }
  int index = 0;
  for (const guidelog::LogRun& run : file.runs) {
    const logtools::RunFigures figures = logtools::Analyse(run, settings);
    CheckFinite(logtools::StatsText(run, ++index, figures, settings));
    const std::string json = logtools::JsonLine(logtools::StatsJson(run, index, figures));
    if (!nlohmann::json::accept(json)) Fail("invalid JSON", json);
    logtools::Phd2Settings phd2;
    phd2.exposure = settings.exposure.value_or(2.0);
    phd2.download = settings.download;
    phd2.minSN = settings.minSN;
    phd2.minStars = settings.minStars;
    phd2.calibrations.push_back(logtools::CalibrationFor(settings, figures.fit));
    CheckFinite(logtools::ExportPhd2({&run}, phd2));
    if (draw) logtools::DrawRun(run, nullptr, "fuzz");
  }
  return 0;
}

// A simulated run's record against the model's truth: when each exposure and pulse happened,
// the pulses as the mount received them, each star's state and SN as the sky gave them, the
// host's guider settings and how the run ended.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>

#include "sim/run/Simulation.h"

namespace corvane::sim {
namespace {

using Fields = std::vector<std::string>;

// The record's lines as fields, by kind (the texts' quotes kept: none of the fields read here
// is a text).
std::multimap<std::string, Fields> ByKind(const std::string& record) {
  std::multimap<std::string, Fields> lines;
  std::istringstream in(record);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Fields fields;
    std::istringstream items(line);
    std::string item;
    while (std::getline(items, item, ',')) fields.push_back(item);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    lines.emplace(fields.at(0), fields);
  }
  return lines;
}

std::vector<Fields> Kind(const std::multimap<std::string, Fields>& lines, const std::string& kind) {
  std::vector<Fields> of;
  const auto [begin, end] = lines.equal_range(kind);
  for (auto it = begin; it != end; ++it) of.push_back(it->second);
  return of;
}

std::int64_t Ms(const std::string& field) {
  return std::stoll(field);
}

ScriptedEvent Cloud(int star, int afterCycles, double transmission) {
  ScriptedEvent cloud;
  cloud.kind = ScriptedEvent::Kind::Cloud;
  cloud.afterCycles = afterCycles;
  cloud.durationSeconds = 30.0;
  cloud.transmission = transmission;
  cloud.stars = {star};
  return cloud;
}

TEST(Record, ASimulatedRunsRecordAgreesWithTheModelsTruth) {
  SimulationSettings s;
  ScriptedEvent stop;
  stop.afterCycles = 40;
  s.observatory.events = {stop, Cloud(0, 10, 0.02), Cloud(1, 15, 0.0005)};
  // Five stars, MinSN 30 and MinStars 2: the dimmed brightest star falls below the minimum SN,
  // the darkened second is lost, and the other three guide on.
  s.dialogs.guideSetup = {{"5", "30", "2", "2", "0.01", "2.00", "15"}};
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("corvane-record-test-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  s.recordFolder = folder.string();
  const RunOutcome run = RunSimulation(s);
  ASSERT_FALSE(run.failed) << run.failure;
  ASSERT_EQ(run.cycles.size(), 40u);

  // On disk as in memory, named by the start time.
  EXPECT_EQ(run.recordPath, (folder / "2024-01-01 22-00-00.csv").string());
  std::ifstream file(run.recordPath, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), run.record);
  std::filesystem::remove_all(folder);

  const auto lines = ByKind(run.record);
  EXPECT_EQ(Kind(lines, "corvane-record").at(0)[4], "\"2024-01-01 22:00:00\"");

  // Each guide star is the field star nearest where it was picked.
  const Observatory model(s.observatory);
  const double download = s.observatory.camera.downloadSeconds;
  std::vector<std::size_t> fieldStar;
  for (const Fields& star : Kind(lines, "star")) {
    const double x = std::stod(star[5]), y = std::stod(star[6]);
    std::size_t nearest = 0;
    for (std::size_t i = 1; i < model.Field().size(); ++i) {
      const auto& p = model.Field()[i].position;
      const auto& q = model.Field()[nearest].position;
      if (std::hypot(p.x - x, p.y - y) < std::hypot(q.x - x, q.y - y)) nearest = i;
    }
    fieldStar.push_back(nearest);
  }
  ASSERT_EQ(fieldStar.size(), 5u);
  EXPECT_EQ(fieldStar[0], 0u);  // the user clicks the brightest stars first
  EXPECT_EQ(fieldStar[1], 1u);

  const std::vector<Fields> cycles = Kind(lines, "cycle");
  const std::vector<Fields> pulses = Kind(lines, "pulse");
  ASSERT_EQ(cycles.size(), run.cycles.size());
  std::size_t pulse = 0;
  std::map<std::string, int> states;
  for (std::size_t c = 0; c < cycles.size(); ++c) {
    SCOPED_TRACE("cycle " + std::to_string(c + 1));
    const Fields& line = cycles[c];
    const CycleTruth& truth = run.cycles[c];
    ASSERT_EQ(line.size(), 13u + 5u * 6u);
    EXPECT_EQ(line[2], std::to_string(c + 1));
    // The exposure was asked for when it started and seen to end at the first poll after its
    // download (the run polls every 100 ms).
    EXPECT_EQ(Ms(line[3]), std::llround(truth.start * 1000.0));
    const double ended = (truth.end + download) * 1000.0;
    EXPECT_GE(Ms(line[4]), std::floor(ended));
    EXPECT_LE(Ms(line[4]), std::ceil(ended) + 100);
    // Each star as the sky showed it: its SN, and its state from it.
    for (std::size_t n = 0; n < 5; ++n) {
      const double trueSN = truth.starSN.at(fieldStar[n]);
      const std::string& state = line[13 + 6 * n + 5];
      ++states[state];
      if (trueSN >= 3.0) {
        EXPECT_NEAR(std::stod(line[13 + 6 * n + 4]), trueSN, 1e-5 * trueSN) << n;
        EXPECT_EQ(state, trueSN >= 30.0 ? "used" : "below-min-sn") << n;
      } else {
        EXPECT_EQ(state, "not-found") << n;
      }
    }
    // The pulses the mount received after this exposure, as recorded.
    for (const Pulse& received : truth.pulses) {
      ASSERT_LT(pulse, pulses.size());
      const Fields& sent = pulses[pulse++];
      EXPECT_EQ(sent[2], line[2]);
      EXPECT_EQ(std::stoi(sent[3]), received.direction);
      EXPECT_NEAR(std::stod(sent[4]), received.seconds, 1e-6 * received.seconds);
      EXPECT_EQ(Ms(sent[1]), std::llround(received.start * 1000.0));
      const double end = (received.start + received.seconds) * 1000.0;
      EXPECT_GE(Ms(sent[5]), std::floor(end));
      EXPECT_LE(Ms(sent[5]), std::ceil(end) + 100);
    }
  }
  EXPECT_EQ(pulse, pulses.size());
  EXPECT_GT(states["used"], 100);
  EXPECT_GT(states["below-min-sn"], 5);
  EXPECT_GT(states["not-found"], 5);

  // The host's guider settings as the first cycle read them are the model's calibration.
  const GuiderCalibration calibration =
      CalibrationFor(s.observatory.camera, s.observatory.mount, s.observatory.aggressiveness);
  std::map<std::string, double> first;
  for (const Fields& setting : Kind(lines, "setting")) {
    EXPECT_EQ(setting[2], "1");  // nothing changed later
    first[setting[3]] = std::stod(setting[4]);
  }
  EXPECT_EQ(first,
            (std::map<std::string, double>{{"GuiderAngle", calibration.angleDeg},
                                           {"GuiderDeclination", calibration.declinationDeg},
                                           {"GuiderReverseX", calibration.reverseX ? 1.0 : 0.0},
                                           {"GuiderAggressiveness", calibration.aggressiveness},
                                           {"GuiderXSpeed", calibration.xSpeed},
                                           {"GuiderYSpeed", calibration.ySpeed},
                                           {"GuiderOutputEnables", calibration.outputEnables}}));
  const Fields end = Kind(lines, "end").at(0);
  EXPECT_EQ(end[2], "stopped-by-camera-event");
  EXPECT_EQ(end[3], "40");
  const Fields sensor = Kind(lines, "sensor").at(0);
  EXPECT_EQ(sensor[2], std::to_string(s.observatory.camera.width));
  EXPECT_EQ(sensor[3], std::to_string(s.observatory.camera.height));
}

}  // namespace
}  // namespace corvane::sim

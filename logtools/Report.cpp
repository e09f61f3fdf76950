#include "logtools/Report.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "logtools/Assets.h"
#include "logtools/Spectrum.h"

namespace corvane::logtools {
namespace {

// A star's offset about the mean in thousandths of a pixel; kNotUsed where the star was not used.
constexpr double kScatterQuantum = 0.001;
constexpr std::int16_t kNotUsed = std::numeric_limits<std::int16_t>::min();

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// The bytes of a column of numbers (little-endian, as every browser's typed arrays here) in
// base64, for the page's script to take as a typed array.
template <class T>
std::string Base64(const std::vector<T>& values) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<unsigned char> bytes(values.size() * sizeof(T));
  if (!bytes.empty()) std::memcpy(bytes.data(), values.data(), bytes.size());
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
    out += kDigits[v >> 18 & 63];
    out += kDigits[v >> 12 & 63];
    out += kDigits[v >> 6 & 63];
    out += kDigits[v & 63];
  }
  if (i < bytes.size()) {
    const unsigned v = bytes[i] << 16 | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0u);
    out += kDigits[v >> 18 & 63];
    out += kDigits[v >> 12 & 63];
    out += i + 1 < bytes.size() ? kDigits[v >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

// Lengths in the report's unit: arcseconds where the scale is known, else pixels.
struct Unit {
  bool arcsec = false;
  double scale = 1.0;
  std::string Name() const { return arcsec ? "arcsec" : "px"; }
  std::string Symbol() const { return arcsec ? "\u2033" : " px"; }
  int Decimals() const { return arcsec ? 2 : 3; }
};

// A figure as shown: the element a script or test reads by its name, and its printed text.
std::string Figure(const std::string& name, const std::string& text) {
  return "<span class=\"figure\" data-figure=\"" + name + "\">" + Escape(text) + "</span>";
}

bool Known(const Json& value) {
  return value.is_number();
}

std::string Number(const std::string& name, const Json& value, int decimals, double factor = 1.0) {
  if (!Known(value)) return "<span class=\"unknown\">unknown</span>";
  return Figure(name, Fixed(value.get<double>() * factor, decimals));
}

std::string Whole(const std::string& name, const Json& value) {
  if (!value.is_number_integer()) return "<span class=\"unknown\">unknown</span>";
  return Figure(name, std::to_string(value.get<long long>()));
}

// A length of the stats' JSON (pixels) in the report's unit, named NAME-arcsec or NAME-px.
std::string Length(const Unit& unit, const std::string& name, const Json& px) {
  if (!Known(px)) return "<span class=\"unknown\">unknown</span>";
  return Figure(name + "-" + unit.Name(), Fixed(px.get<double>() * unit.scale, unit.Decimals())) +
         Escape(unit.Symbol());
}

const Json& At(const Json& object, const char* key) {
  static const Json none;
  const auto found = object.find(key);
  return found == object.end() ? none : *found;
}

std::string Summary(const Json& stats, const Unit& unit, const RunFigures& f, int lost,
                    int unreadable, const std::string& ending) {
  std::string h = "<section id=\"summary\"><h2>Summary</h2><div class=\"cards\">";
  h += "<div class=\"card\"><div class=\"label\">Cycles</div><div class=\"value\">" +
       Whole("cycles", At(stats, "cycles")) + "</div><div class=\"sub\">" +
       Figure("cycles-lost", std::to_string(lost)) + " lost for want of stars, " +
       Figure("cycles-unreadable", std::to_string(unreadable)) + " unreadable</div></div>";
  h += "<div class=\"card\"><div class=\"label\">Duration</div><div class=\"value\">";
  if (f.seconds > 0.0) {
    h += Number("duration-min", At(stats, "seconds"), 1, 1.0 / 60.0) + " min";
  } else {
    h += "<span class=\"unknown\">unknown</span></div><div class=\"sub\">needs the guide "
         "exposure (--exposure)";
  }
  h += "</div></div>";
  h += "<div class=\"card\"><div class=\"label\">Stars</div><div class=\"value\">" +
       Whole("stars", At(stats, "stars")) + "</div></div>";
  h += "<div class=\"card wide\"><div class=\"label\">How it ended</div><div class=\"value "
       "small\">" +
       Figure("end", ending) + "</div></div></div>";

  const bool mount = At(stats, "ra").is_object();
  const char* first = mount ? "ra" : "x";
  const char* second = mount ? "dec" : "y";
  h += "<table class=\"figures\"><thead><tr><th></th><th>RMS</th><th>Peak</th></tr></thead><tbody>";
  auto row = [&](const std::string& label, const std::string& name, const Json& axis) {
    h += "<tr><th>" + label + "</th><td>" + Length(unit, name + "-rms", At(axis, "rms")) +
         "</td><td>" + Length(unit, name + "-peak", At(axis, "peak")) + "</td></tr>";
  };
  row(mount ? "RA" : "X", first, At(stats, first));
  row(mount ? "Dec" : "Y", second, At(stats, second));
  row("Total", "total", At(stats, "total"));
  h += "</tbody></table>";
  const Json& pulses = At(stats, "pulses");
  h += "<p>Pulses: " + std::string(mount ? "RA (X) " : "X ") + Whole("pulses-x", At(pulses, "x")) +
       ", mean " + Number("pulses-x-mean-s", At(pulses, "x_mean"), 3) + " s; " +
       (mount ? "Dec (Y) " : "Y ") + Whole("pulses-y", At(pulses, "y")) + ", mean " +
       Number("pulses-y-mean-s", At(pulses, "y_mean"), 3) + " s.</p>";
  h += "<p class=\"explain\">RMS and peak are taken about the mean offset (the peak is the largest "
       "distance from it) over the guided cycles; lost and unreadable cycles enter no figure. ";
  if (f.axes) {
    h += "RA and Dec are the offsets turned by the guider angle " +
         Figure("axes-angle-deg", Fixed(f.axes->angleDeg, 1)) + "\u00b0" +
         (f.axes->reverseX ? " with X reversed" : "") +
         (f.axes->estimated ? " (as the pulses acted: --angle not given)" : " (given)") + ". ";
  } else {
    h += "X and Y are the sensor's axes (the guider angle is not known). ";
  }
  h += unit.arcsec ? "Arcseconds at " + Figure("scale-arcsec-per-px", Fixed(unit.scale, 3)) +
                         "\u2033 per pixel."
                   : "In pixels: the scale (--scale) turns them into arcseconds.";
  h += "</p></section>";
  return h;
}

std::string Graph(const Unit& unit, bool mount) {
  const std::string a = mount ? "ra" : "x", b = mount ? "dec" : "y";
  const std::string A = mount ? "RA" : "X", B = mount ? "Dec" : "Y";
  auto span = [&](const std::string& name) {
    return "<span class=\"figure\" data-figure=\"span-" + name + "-" + unit.Name() + "\"></span>" +
           Escape(unit.Symbol());
  };
  std::string h = "<section id=\"graph\"><h2>Guide graph</h2>";
  h += "<p class=\"help no-print\">Drag across the graph to zoom in, turn the mouse wheel to zoom "
       "about the pointer, Shift+drag (or drag with the middle button) to pan, double-click to "
       "show the whole night. Keys, once the graph has the focus (click it or Tab to it): "
       "\u2190 \u2192 pan, + \u2212 zoom, 0 or Home the whole night.</p>";
  h += "<div id=\"guide-chart\" class=\"chart\" tabindex=\"0\" role=\"img\" aria-label=\"Guide "
       "graph: " +
       A + " and " + B + " offsets and the pulses of every cycle\"></div>";
  h += "<div class=\"span\" aria-live=\"polite\"><div class=\"label\">The span on screen</div>"
       "<div>Cycles <span class=\"figure\" data-figure=\"span-first-cycle\"></span> to <span "
       "class=\"figure\" data-figure=\"span-last-cycle\"></span> (<span class=\"figure\" "
       "data-figure=\"span-guided-cycles\"></span> guided), <span class=\"figure\" "
       "data-figure=\"span-from\"></span> to <span class=\"figure\" "
       "data-figure=\"span-to\"></span></div>";
  h += "<table class=\"figures\"><thead><tr><th></th><th>RMS</th><th>Peak</th></tr></thead><tbody>";
  const std::pair<std::string, std::string> rows[] = {{A, a}, {B, b}, {"Total", "total"}};
  for (const auto& [label, name] : rows) {
    h += "<tr><th>" + label + "</th><td>" + span(name + "-rms") + "</td><td>" +
         span(name + "-peak") + "</td></tr>";
  }
  h += "</tbody></table></div></section>";
  return h;
}

std::string Stars(const Json& stats, const Unit& unit, int starCount, double minSN) {
  std::string h = "<section id=\"stars\"><h2>Stars</h2>";
  h += "<table class=\"figures stars\"><thead><tr><th>Star</th><th>Mean SN</th><th>Lowest SN</th>"
       "<th>Cycles not used (SN below " +
       Fixed(minSN, 1) + ")</th><th>Own noise X</th><th>Own noise Y</th></tr></thead><tbody>";
  const Json& stars = At(stats, "star");
  const bool split = At(At(stats, "split"), "available") == true;
  for (int i = 0; i < starCount && i < static_cast<int>(stars.size()); ++i) {
    const Json& s = stars[static_cast<std::size_t>(i)];
    const std::string n = "star-" + std::to_string(i + 1);
    h += "<tr><th>" + std::to_string(i + 1) + "</th><td>" +
         Number(n + "-mean-sn", At(s, "mean_sn"), 1) + "</td><td>" +
         Number(n + "-lowest-sn", At(s, "lowest_sn"), 1) + "</td><td>" +
         Whole(n + "-cycles-below-min-sn", At(s, "cycles_below_min_sn")) + "</td><td>" +
         (split ? Length(unit, n + "-noise-x", At(s, "noise_x")) : "\u2013") + "</td><td>" +
         (split ? Length(unit, n + "-noise-y", At(s, "noise_y")) : "\u2013") + "</td></tr>";
  }
  h += "</tbody></table>";
  const Json& sp = At(stats, "split");
  h += "<h3>What averaging gained</h3>";
  if (split) {
    h += "<p>Each star's own noise (its seeing and its centroid's noise) is " +
         Length(unit, "split-one-star", At(sp, "one_star")) + " per axis; in the mean of the " +
         std::to_string(starCount) + " stars it falls to " +
         Length(unit, "split-mean-of-n", At(sp, "mean_of_n")) +
         ". The motion the stars share (the mount and the seeing common to all) is " +
         Length(unit, "split-common", At(sp, "common")) +
         ": no number of stars takes it away. "
         "Noisiest star: " +
         Whole("split-noisiest", At(sp, "noisiest")) +
         "; stars worth having (one more would improve the mean by less than 5 %): " +
         Whole("split-worth-stars", At(sp, "worth_stars")) + ".</p>";
  } else {
    h += "<p>The split needs two stars or more in at least 10 cycles.</p>";
  }
  h += "<p class=\"explain\">For each star: its SN over the night (the cycles it was not used "
       "marked, the minimum SN as a line) and its scatter about the mean of the stars (its "
       "offset less the cycle's mean offset, about its own mean).</p>";
  h += "<div id=\"star-charts\">";
  for (int i = 1; i <= starCount; ++i) {
    h += "<div class=\"star-row\"><h3>Star " + std::to_string(i) +
         "</h3><div class=\"sn-chart chart\" data-star=\"" + std::to_string(i) +
         "\"></div><div class=\"scatter-chart chart\" data-star=\"" + std::to_string(i) +
         "\"></div></div>";
  }
  h += "</div></section>";
  return h;
}

std::string Periodic(const Json& stats, const Unit& unit) {
  const Json& m = At(stats, "motion");
  const bool seconds = At(m, "time_unit") == "s";
  std::string h = "<section id=\"periodic\"><h2>Periodic error</h2>";
  const Json& period = At(m, "periodic_period");
  if (Known(period) && period.get<double>() > 0.0) {
    h += "<p>The dominant period is " +
         Number(seconds ? "pe-period-s" : "pe-period-cycles", period, seconds ? 0 : 1) +
         (seconds ? " s" : " cycles") + ", with a peak to peak of " +
         Length(unit, "pe-peak-to-peak", At(m, "periodic_pp_ra")) + " in RA.</p>";
  } else {
    h += "<p>No periodic error stands out of the noise in this run.</p>";
  }
  h += "<p class=\"explain\">The spectrum of the mount's own motion in RA (the RA offset with the "
       "pulses' effect added back), as the amplitude of a sine at each period";
  h += seconds ? "." : " (periods in cycles: the guide exposure, --exposure, gives seconds).";
  h += "</p><div id=\"spectrum-chart\" class=\"chart\"></div></section>";
  return h;
}

std::string Calibration(const Json& stats) {
  const Json& c = At(stats, "calibration");
  std::string h = "<section id=\"calibration\"><h2>Calibration check</h2>";
  if (At(c, "available") != true) {
    return h + "<p>The pulses' effect needs at least 20 cycles.</p></section>";
  }
  h += "<p class=\"explain\">How the pulses acted on the stars, measured over the run, with "
       "standard errors.</p><table class=\"figures\"><tbody>";
  h += "<tr><th>Guider angle</th><td>" + Number("cal-angle-deg", At(c, "angle"), 1) +
       "\u00b0 \u00b1 " + Number("cal-angle-error-deg", At(c, "angle_error"), 1) +
       "\u00b0</td></tr>";
  h += "<tr><th>X speed (at the run's declination)</th><td>" +
       Number("cal-x-speed", At(c, "x_speed"), 2) + " \u00b1 " +
       Number("cal-x-speed-error", At(c, "x_speed_error"), 2) + " px/s</td></tr>";
  h += "<tr><th>Y speed</th><td>" + Number("cal-y-speed", At(c, "y_speed"), 2) + " \u00b1 " +
       Number("cal-y-speed-error", At(c, "y_speed_error"), 2) + " px/s</td></tr>";
  h += "<tr><th>Reverse X</th><td>" +
       Figure("cal-reverse-x", At(c, "reverse_x") == true ? "yes" : "no") + "</td></tr>";
  h += "<tr><th>Cycles for the angle within 2\u00b0 and the speeds within 5 %</th><td>" +
       Whole("cal-cycles-needed", At(c, "cycles_needed")) + "</td></tr></tbody></table>";
  if (At(c, "x_wrong_way") == true) {
    h += "<p class=\"warning\">The X corrections pushed the stars further: GuiderReverseX is the "
         "wrong way round.</p>";
  }
  if (At(c, "y_wrong_way") == true) {
    h += "<p class=\"warning\">The Y corrections pushed the stars further: the Dec outputs act "
         "the wrong way round.</p>";
  }
  return h + "</section>";
}

std::string AdviceSection(const Json& advice) {
  std::string h = "<section id=\"advice\"><h2>Advice</h2>";
  if (advice.is_null()) {
    return h +
           "<p>Not asked for: <code>corvane-log report LOG --advise</code> fits the simulated "
           "observatory to the run and recommends aggressiveness, minimum move and guide "
           "exposure.</p></section>";
  }
  if (advice.contains("error")) {
    return h + "<p>" + Figure("advice-refused", advice["error"].get<std::string>()) +
           "</p></section>";
  }
  const bool arcsec = At(advice, "unit") == "arcsec";
  const std::string unit = arcsec ? "\u2033" : " px";
  h += "<p class=\"explain\">" + Whole("advice-simulations", At(advice, "simulations")) +
       " simulated runs of the model fitted to this run.</p><table class=\"figures\"><thead><tr>"
       "<th></th><th>Aggressiveness</th><th>Minimum move</th><th>Guide exposure</th>"
       "<th>Predicted RMS</th></tr></thead><tbody>";
  for (const char* which : {"current", "recommended"}) {
    const Json& c = At(advice, which);
    const std::string n = std::string("advice-") + which;
    h += "<tr><th>" + std::string(which[0] == 'c' ? "Current" : "Recommended") + "</th><td>" +
         Number(n + "-aggressiveness", At(c, "aggressiveness"), 0) + "</td><td>" +
         Number(n + "-min-move-s", At(c, "min_move"), 2) + " s</td><td>" +
         Number(n + "-exposure-s", At(c, "exposure"), 1) + " s</td><td>" +
         Number(n + "-rms-" + (arcsec ? "arcsec" : "px"), At(c, "predicted_rms"), 3) +
         (Known(At(c, "predicted_rms")) ? unit : "") + "</td></tr>";
  }
  h += "</tbody></table>";
  // What the advice rests on, and where it keeps the settings, why.
  if (const Json& check = At(advice, "model_check"); check.is_object()) {
    h += "<p class=\"explain\">Model check: the settings in use, guided in the model, show "
         "offsets of RMS " +
         Number("advice-model-rms", At(check, "model_rms"), 3) + unit + "; the log shows " +
         Number("advice-log-rms", At(check, "log_rms"), 3) + unit + ".</p>";
  }
  if (At(advice, "verdict").is_string() && At(advice, "verdict") != "change") {
    const Json& reason = At(advice, "reason");
    h += "<p>" +
         Figure(
             "advice-verdict",
             std::string(At(advice, "verdict") == "keep" ? "Keep your settings: " : "No advice: ") +
                 (reason.is_string() ? reason.get<std::string>() : "")) +
         "</p>";
  }
  // "Predict periodic error": would it help, or what it gained where the run had it ticked.
  if (const Json& p = At(advice, "prediction"); p.is_object()) {
    const bool ticked = At(p, "ticked") == true;
    h += std::string("<p>Predict periodic error") + (ticked ? " (ticked in this run)" : "") + ": ";
    if (At(p, "verdict") == "withheld") {
      const Json& reason = At(p, "reason");
      h += "no figure: " +
           Figure("advice-prediction-reason", reason.is_string() ? reason.get<std::string>() : "");
    } else if (!Known(At(p, "period"))) {
      h += Figure("advice-prediction-verdict", ticked ? "it gained nothing" : "would not help") +
           ", no periodic error in the log";
    } else {
      const bool helps = At(p, "verdict") == "helps";
      h += Figure("advice-prediction-verdict", ticked ? (helps ? "it gained" : "it gained little")
                                                      : (helps ? "would help" : "would not help")) +
           ": RA RMS " + Number("advice-prediction-without-arcsec", At(p, "ra_rms_without"), 2) +
           "\u2033 without, " + Number("advice-prediction-with-arcsec", At(p, "ra_rms_with"), 2) +
           "\u2033 with (periodic error " +
           Number("advice-prediction-peak-to-peak-arcsec", At(p, "peak_to_peak"), 1) +
           "\u2033 p-p, period " + Number("advice-prediction-period-s", At(p, "period"), 0) + " s)";
    }
    h += "</p>";
  }
  for (const auto& note : At(advice, "notes")) {
    h += "<p class=\"note\">" + Escape(note.get<std::string>()) + "</p>";
  }
  return h + "</section>";
}

std::string Notes(const Json& stats) {
  const Json& notes = At(stats, "notes");
  if (!notes.is_array() || notes.empty()) return {};
  std::string h = "<section id=\"notes\"><h2>Notes</h2><ul>";
  for (const auto& note : notes) h += "<li>" + Escape(note.get<std::string>()) + "</li>";
  return h + "</ul></section>";
}

// The page's data for its script: every cycle's time, offsets, pulses and use, each star's SN and
// scatter, the spectrum, and the figures (the stats' JSON) the graph's marks come from.
Json PageData(const guidelog::LogRun& run, const RunSettings& settings, const RunFigures& f,
              const std::vector<CycleUse>& uses, const Json& stats, const ReportSource& source) {
  const std::size_t k = run.rows.size();
  std::vector<double> time = CycleTimes(run, settings);
  const bool seconds = !time.empty();
  if (!seconds) {
    for (std::size_t i = 0; i < k; ++i) time.push_back(static_cast<double>(i + 1));
  }
  std::vector<double> xoff(k), yoff(k);
  std::vector<float> xtim(k), ytim(k);
  std::vector<std::uint8_t> use(k);
  for (std::size_t i = 0; i < k; ++i) {
    const guidelog::LogRow& r = run.rows[i];
    xoff[i] = r.xoff;
    yoff[i] = r.yoff;
    xtim[i] = static_cast<float>(r.xtim);
    ytim[i] = static_cast<float>(r.ytim);
    use[i] = static_cast<std::uint8_t>(uses[i]);
  }
  Json data = {{"file", source.file},
               {"run", source.run},
               {"runs", source.runs},
               {"time", seconds ? "seconds" : "cycles"},
               {"scale", settings.scale ? Json(*settings.scale) : Json(nullptr)},
               {"minSN", settings.minSN.value_or(3.0)},
               {"uses", {"guided", "lost", "unreadable"}}};
  if (f.axes) {
    data["axes"] = {{"angle", f.axes->angleDeg}, {"reverseX", f.axes->reverseX}};
  } else {
    data["axes"] = nullptr;
  }
  data["cycles"] = {{"t", Base64(time)},    {"xoff", Base64(xoff)}, {"yoff", Base64(yoff)},
                    {"xtim", Base64(xtim)}, {"ytim", Base64(ytim)}, {"use", Base64(use)}};
  const double minSN = settings.minSN.value_or(3.0);
  Json stars = Json::array();
  for (std::size_t s = 0; s < static_cast<std::size_t>(run.stars); ++s) {
    std::vector<std::uint16_t> sn(k);
    std::vector<double> dx(k, 0.0), dy(k, 0.0);
    std::vector<bool> used(k, false);
    double mx = 0.0, my = 0.0;
    int count = 0;
    for (std::size_t i = 0; i < k; ++i) {
      const guidelog::LogRow& r = run.rows[i];
      const double value = r.stars[s].sn;
      sn[i] = static_cast<std::uint16_t>(
          std::isfinite(value) ? std::clamp(value, 0.0, 6553.5) * 10.0 + 0.5 : 0.0);
      if (uses[i] == CycleUse::Unreadable || !(value >= minSN)) continue;
      used[i] = true;
      dx[i] = r.stars[s].xoff - r.xoff;
      dy[i] = r.stars[s].yoff - r.yoff;
      mx += dx[i];
      my += dy[i];
      ++count;
    }
    if (count > 0) {
      mx /= count;
      my /= count;
    }
    std::vector<std::int16_t> qx(k, kNotUsed), qy(k, kNotUsed);
    auto quantum = [](double v) {
      return static_cast<std::int16_t>(
          std::lround(std::clamp(v / kScatterQuantum, -32767.0, 32767.0)));
    };
    for (std::size_t i = 0; i < k; ++i) {
      if (!used[i]) continue;
      qx[i] = quantum(dx[i] - mx);
      qy[i] = quantum(dy[i] - my);
    }
    stars.push_back({{"sn", Base64(sn)}, {"dx", Base64(qx)}, {"dy", Base64(qy)}});
  }
  data["stars"] = stars;
  data["scatterQuantum"] = kScatterQuantum;
  const Spectrum spectrum = RaMotionSpectrum(run, settings, f);
  data["spectrum"] = {{"period", Base64(spectrum.period)},
                      {"amplitude", Base64(spectrum.amplitude)},
                      {"seconds", spectrum.inSeconds}};
  data["stats"] = stats;
  return data;
}

// The run's end as the log tells it (a guide log does not say why a run ended).
std::string Ending(const guidelog::LogRun& run) {
  if (run.cutShort) return "The log's last line is cut short: the run ended in a crash.";
  if (run.rows.empty()) return "The run ended before its first guide cycle.";
  return "After its last cycle (the guide log does not say why a run ended).";
}

}  // namespace

std::string ReportPage(const guidelog::LogRun& run, const RunSettings& settings,
                       const ReportSource& source, const Json& advice) {
  const RunFigures f = Analyse(run, settings);
  const Json stats = StatsJson(run, source.run, f);
  const std::vector<CycleUse> uses = CycleUses(run, settings);
  const int lost = static_cast<int>(std::count(uses.begin(), uses.end(), CycleUse::Lost));
  const int unreadable =
      static_cast<int>(std::count(uses.begin(), uses.end(), CycleUse::Unreadable));
  Unit unit;
  if (settings.scale) {
    unit.arcsec = true;
    unit.scale = *settings.scale;
  }
  const std::string title = "Corvane guide report: " + source.file +
                            (source.runs > 1 ? " (run " + std::to_string(source.run) + " of " +
                                                   std::to_string(source.runs) + ")"
                                             : "");
  std::string body = "<header><h1>" + Escape(title) +
                     "</h1><div class=\"tools no-print\"><button type=\"button\" id=\"theme\" "
                     "aria-pressed=\"false\">Night</button><button type=\"button\" "
                     "id=\"print\">Print</button></div></header><main>";
  body += Summary(stats, unit, f, lost, unreadable, Ending(run));
  body += Graph(unit, f.axes.has_value());
  body += Stars(stats, unit, run.stars, settings.minSN.value_or(3.0));
  body += Periodic(stats, unit);
  body += Calibration(stats);
  body += AdviceSection(advice);
  body += Notes(stats);
  body +=
      "</main><footer>" + Escape(source.generator) + " \u00b7 " + Escape(source.file) + "</footer>";
  // "</" may not appear inside the script element that holds the data.
  std::string data = PageData(run, settings, f, uses, stats, source)
                         .dump(-1, ' ', false, Json::error_handler_t::replace);
  for (std::size_t at = data.find("</"); at != std::string::npos; at = data.find("</", at + 2)) {
    data.replace(at, 2, "<\\/");
  }

  const std::string_view page = assets::PageTemplate();
  std::string out;
  out.reserve(page.size() + body.size() + data.size() + assets::UplotScript().size() + 65536);
  std::size_t from = 0;
  while (true) {
    const std::size_t open = page.find("{{", from);
    if (open == std::string_view::npos) break;
    const std::size_t close = page.find("}}", open);
    out.append(page.substr(from, open - from));
    const std::string_view name = page.substr(open + 2, close - open - 2);
    if (name == "TITLE") out += Escape(title);
    if (name == "UPLOT_STYLE") out.append(assets::UplotStyle());
    if (name == "STYLE") out.append(assets::PageStyle());
    if (name == "BODY") out += body;
    if (name == "DATA") out += data;
    if (name == "UPLOT_SCRIPT") out.append(assets::UplotScript());
    if (name == "SCRIPT") out.append(assets::PageScript());
    from = close + 2;
  }
  out.append(page.substr(from));
  return out;
}

}  // namespace corvane::logtools

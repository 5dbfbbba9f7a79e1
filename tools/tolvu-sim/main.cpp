// tolvu-sim: drives one car of a Tolvu model type on simple ground and prints a CSV trace.
//
//   tolvu-sim [--type N] [--data FILE | --store FILE] [--time SECONDS] [--dt SECONDS]
//             [--slope DEGREES] [--mu VALUE] [--rolling VALUE] [--schedule FILE]
//             [--at "TIME name=value,..."]... [--var NAME]... [--every N] [--out FILE]
//             [--write-store FILE] [--shift RPM[:TOPGEAR]]
//
// Inputs are named as in the model's input list (steer, throttle, brake, clutch, gear, park_brake)
// and keep their value until the schedule changes them. --shift selects the next gear when the
// engine speed exceeds RPM, up to TOPGEAR (default 5), on top of the schedule, and shifts again
// only once the engine speed has fallen below RPM in the new gear (or after a second).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/tolvu-sim/sim.h"

namespace {

void usage(FILE* to = stderr) {
  std::fprintf(to,
               "usage: tolvu-sim [--type N] [--data FILE | --store FILE] [--time SECONDS] [--dt SECONDS]\n"
               "                 [--slope DEGREES] [--mu VALUE] [--rolling VALUE] [--schedule FILE]\n"
               "                 [--at \"TIME name=value,...\"]... [--var NAME]... [--every N]\n"
               "                 [--out FILE] [--write-store FILE] [--shift RPM[:TOPGEAR]]\n"
               "schedule lines: TIME name=value ... (inputs: steer throttle brake clutch gear park_brake)\n");
}

// An option whose value is out of range: says which and why; exit status 2.
int badOption(const char* option, const char* why) {
  std::fprintf(stderr, "tolvu-sim: %s: %s\n", option, why);
  return 2;
}

bool parseNumber(const char* s, double& v) {
  char* end = nullptr;
  v = std::strtod(s, &end);
  return end != s && *end == '\0' && std::isfinite(v);
}

}  // namespace

int main(int argc, char** argv) {
  int type = 1;
  std::string dataFile, storeFile, scheduleFile, outFile, writeStore;
  std::vector<std::string> atLines, extraVars;
  double duration = 10.0, dt = 0.0, slopeDeg = 0.0, mu = 1.0, rolling = 0.01;
  long every = 1;
  double shiftRpm = 0.0, topGear = 5.0;

  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char*& out) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "tolvu-sim: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      out = argv[++i];
    };
    auto number = [&](double& out) {
      const char* s;
      value(s);
      if (!parseNumber(s, out)) {
        std::fprintf(stderr, "tolvu-sim: bad number for %s: %s\n", a.c_str(), s);
        std::exit(2);
      }
    };
    const char* s = nullptr;
    double d = 0.0;
    if (a == "--type") {
      number(d);
      if (d != std::floor(d) || d < 0 || d > 1000 || !tolvusim::findType(static_cast<int>(d)))
        return badOption("--type", "needs a model type the simulator knows: 1 (CAR_1) or 2 (CAR_2)");
      type = static_cast<int>(d);
    }
    else if (a == "--data") { value(s); dataFile = s; }
    else if (a == "--store") { value(s); storeFile = s; }
    else if (a == "--time") number(duration);
    else if (a == "--dt") number(dt);
    else if (a == "--slope") number(slopeDeg);
    else if (a == "--mu") number(mu);
    else if (a == "--rolling") number(rolling);
    else if (a == "--schedule") { value(s); scheduleFile = s; }
    else if (a == "--at") { value(s); atLines.push_back(s); }
    else if (a == "--var") { value(s); extraVars.push_back(s); }
    else if (a == "--every") {
      number(d);
      if (d < 1 || d > 1e9 || d != std::floor(d)) return badOption("--every", "needs a whole number of steps from 1 to 1000000000");
      every = static_cast<long>(d);
    }
    else if (a == "--out") { value(s); outFile = s; }
    else if (a == "--write-store") { value(s); writeStore = s; }
    else if (a == "--shift") {
      value(s);
      const std::string shiftArg = s;
      const size_t colon = shiftArg.find(':');
      if (!parseNumber(shiftArg.substr(0, colon).c_str(), shiftRpm) || shiftRpm <= 0.0 ||
          (colon != std::string::npos && !parseNumber(shiftArg.substr(colon + 1).c_str(), topGear))) {
        std::fprintf(stderr, "tolvu-sim: bad --shift %s\n", s);
        return 2;
      }
    }
    else if (a == "--help" || a == "-h") { usage(stdout); return 0; }
    else { std::fprintf(stderr, "tolvu-sim: unknown option %s\n", a.c_str()); usage(); return 2; }
  }
  if (!dataFile.empty() && !storeFile.empty()) {
    std::fprintf(stderr, "tolvu-sim: give --data or --store, not both\n");
    return 2;
  }
  if (!(duration >= 0.0) || duration > 1e6) return badOption("--time", "needs a number of seconds from 0 to 1000000");
  if (!(std::fabs(slopeDeg) < 90.0)) return badOption("--slope", "needs an angle in degrees above -90 and below 90");
  if (!(mu >= 0.0) || mu > 10.0) return badOption("--mu", "needs a friction coefficient from 0 to 10");
  if (!(rolling >= 0.0) || rolling > 1.0) return badOption("--rolling", "needs a rolling coefficient from 0 to 1");
  if (shiftRpm > 1e5) return badOption("--shift", "needs an engine speed above 0 and at most 100000 rpm");
  if (topGear < 1 || topGear > 6 || topGear != std::floor(topGear))
    return badOption("--shift", "needs a top gear (after the colon) that is a whole number from 1 to 6");

  tolvusim::ground().slope = slopeDeg * 3.14159265358979323846 / 180.0;
  tolvusim::ground().friction = mu;
  tolvusim::ground().rolling = rolling;

  if (!dataFile.empty()) {
    std::string why;
    if (!tolvusim::checkDataFile(dataFile.c_str(), why)) {
      std::fprintf(stderr, "tolvu-sim: %s\n", why.c_str());
      return 1;
    }
  }

  if (!storeFile.empty()) {
    std::error_code ec;
    std::ifstream probe(storeFile, std::ios::binary);
    if (!probe || !std::filesystem::is_regular_file(storeFile, ec)) {
      std::fprintf(stderr, "tolvu-sim: cannot read the store image %s (%s)\n", storeFile.c_str(),
                   std::filesystem::is_directory(storeFile, ec) ? "it is a folder" : "missing or unreadable");
      return 1;
    }
  }

  tolvusim::Sim sim;
  if (!sim.init(type, dataFile.empty() ? nullptr : dataFile.c_str(),
                storeFile.empty() ? nullptr : storeFile.c_str())) {
    std::fprintf(stderr, "tolvu-sim: %s\n", sim.error.c_str());
    return 1;
  }
  if (dt < 0.0 || (dt > 0.0 && (dt < 1e-6 || dt > 1.0)))
    return badOption("--dt", "needs a step in seconds from 0.000001 to 1");
  if (dt > 0.0) sim.dt = dt;
  if (duration / sim.dt > 1e9) return badOption("--time", "makes more than 1000000000 steps at this --dt");

  std::vector<tolvusim::Event> events;
  std::string err;
  if (!scheduleFile.empty()) {
    std::ifstream in(scheduleFile);
    if (!in || std::filesystem::is_directory(scheduleFile)) {
      std::fprintf(stderr, "tolvu-sim: cannot read the schedule %s\n", scheduleFile.c_str());
      return 1;
    }
    std::string line;
    while (std::getline(in, line))
      if (!tolvusim::parseScheduleLine(sim, line, events, err)) {
        std::fprintf(stderr, "tolvu-sim: %s\n", err.c_str());
        return 2;
      }
    if (in.bad()) {
      std::fprintf(stderr, "tolvu-sim: cannot read the schedule %s\n", scheduleFile.c_str());
      return 1;
    }
  }
  for (const std::string& line : atLines)
    if (!tolvusim::parseScheduleLine(sim, line, events, err)) {
      std::fprintf(stderr, "tolvu-sim: %s\n", err.c_str());
      return 2;
    }
  tolvusim::sortEvents(events);

  const tolvusim::TypeInfo& ti = *sim.info;
  struct Column {
    std::string title;
    int index;
  };
  std::vector<Column> cols;
  auto addColumn = [&](const std::string& title, const std::string& name) {
    cols.push_back({title, name.empty() ? -1 : sim.find(name.c_str())});
  };
  const int pos = sim.find(ti.position);
  cols.push_back({"x", pos});
  cols.push_back({"y", pos < 0 ? -1 : pos + 1});
  cols.push_back({"z", pos < 0 ? -1 : pos + 2});
  addColumn("speed", ti.speed);
  addColumn("yaw_rate", ti.yawRate);
  addColumn("engine_rpm", ti.engineRpm);
  addColumn("gear", ti.gearSelected);
  addColumn("gear_ratio", ti.gearRatio);
  for (int w = 0; w < 4; ++w) addColumn("load" + std::to_string(w + 1), ti.wheelLoads[w]);
  for (const std::string& v : extraVars) {
    const int k = sim.find(v.c_str());
    if (k < 0) {
      std::fprintf(stderr, "tolvu-sim: model %s has no variable %s\n", ti.name, v.c_str());
      return 2;
    }
    cols.push_back({v, k});
  }

  FILE* out = stdout;
  if (!outFile.empty()) {
    out = std::fopen(outFile.c_str(), "w");
    if (!out) {
      std::fprintf(stderr, "tolvu-sim: cannot write %s\n", outFile.c_str());
      return 1;
    }
  }
  std::fprintf(out, "t");
  for (const Column& c : cols) std::fprintf(out, ",%s", c.title.c_str());
  std::fprintf(out, "\n");
  auto row = [&]() {
    std::fprintf(out, "%.4f", sim.time);
    for (const Column& c : cols) {
      if (c.index < 0) std::fprintf(out, ",");
      else std::fprintf(out, ",%.6g", sim.store[c.index]);
    }
    std::fprintf(out, "\n");
  };

  const int rpmIndex = sim.find(ti.engineRpm);
  const int gearInput = sim.inputIndex("gear");
  if (shiftRpm > 0.0 && (rpmIndex < 0 || gearInput < 0)) {
    std::fprintf(stderr, "tolvu-sim: model %s has no engine speed or gear input to shift with\n", ti.name);
    return 2;
  }

  tolvusim::Shifter shifter;
  shifter.rpm = shiftRpm;
  shifter.topGear = topGear;
  size_t next = 0;
  tolvusim::applyEvents(sim, events, next);
  row();
  const long steps = static_cast<long>(std::llround(duration / sim.dt));
  int rc = 0;
  for (long n = 1; n <= steps; ++n) {
    tolvusim::applyEvents(sim, events, next);
    if (shiftRpm > 0.0) shifter.update(sim.time, sim.store[rpmIndex], sim.inputs()[gearInput]);
    if (!sim.step()) {
      std::fprintf(stderr, "tolvu-sim: %s\n", sim.error.c_str());
      rc = 1;
      break;
    }
    if (n % every == 0 || n == steps) row();
  }
  if (out != stdout && std::fclose(out) != 0) {
    std::fprintf(stderr, "tolvu-sim: error writing %s\n", outFile.c_str());
    rc = 1;
  }
  if (!writeStore.empty() && !sim.writeStoreImage(writeStore)) {
    std::fprintf(stderr, "tolvu-sim: cannot write %s\n", writeStore.c_str());
    rc = 1;
  }
  return rc;
}

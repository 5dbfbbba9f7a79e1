// The model simulator's core: one car of any model type of the Tolvu library, integrated with the
// program's two-phase scheme on a simple ground (flat, or flat with a slope), driven by a schedule
// of inputs. Header-only so that tests and benchmarks run the same integration in-process.
//
// Two-phase step (as the program's vehicle models do it): keep the derivatives of the last step,
// evaluate mode 1 (derivatives from the states), mode 2 (chassis accelerations from those forces),
// advance the inertia states with the two-step Adams-Bashforth formula, evaluate mode 1 again and
// advance the other states with the new derivatives.
#pragma once

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/include/tolvu.h"

namespace tolvusim {

// What the simulator needs to know of a model type beyond what the library reports.
struct TypeInfo {
  int type;
  const char* name;
  double dt;                 // integration step in seconds
  int inputCount;            // length of the input block
  int outputCount;           // length of the output block
  const char* inputs[6];     // input names in input-block order (lower case)
  // Trace columns: store variable names (empty for "not available").
  const char* position;      // first of three: position of the centre of gravity
  const char* speed;         // forward speed in the body frame
  const char* yawRate;       // body rate about the vertical axis
  const char* engineRpm;
  const char* gearSelected;  // the gear the model sees
  const char* gearRatio;     // the overall gear ratio state
  const char* wheelLoads[4];
  const char* velocity;      // first of three: velocity of the centre of gravity, ground frame
};

// Per-type table. Model types not listed here cannot be simulated.
inline const TypeInfo kTypes[] = {
    {1, "CAR_1", 0.01, 6, 120,
     {"steer", "throttle", "brake", "clutch", "gear", "park_brake"},
     "RG100(1)", "VL100(1)", "OL100(3)", "RPM1600", "GEAR", "GEAR_RAT",
     {"FZA2100", "FZA2200", "FZA2300", "FZA2400"}, "VG100(1)"},
    {2, "CAR_2", 0.005, 6, 120,
     {"steer", "throttle", "brake", "clutch", "gear", "park_brake"},
     "RG100(1)", "VL100(1)", "OL100(3)", "RPM1600", "GEAR", "GEAR_RAT",
     {"FZA2100", "FZA2200", "FZA2300", "FZA2400"}, "VG100(1)"},
};

inline const TypeInfo* findType(int type) {
  for (const TypeInfo& t : kTypes)
    if (t.type == type) return &t;
  return nullptr;
}

// The ground the simulator answers the model's queries with. Model axes: x forward, z down.
// A slope rises along +x: height above the reference h = x tan(slope), so the road's z is -h.
struct Ground {
  double slope = 0.0;       // radians
  double friction = 1.0;    // out[6]
  double rolling = 0.01;    // out[7]
  long queries = 0;         // number of queries answered
};

inline Ground& ground() {
  static Ground g;
  return g;
}

inline void groundQuery(double* out, const double* point, const double* /*aux*/, double /*wheel*/) {
  Ground& g = ground();
  ++g.queries;
  const double s = std::sin(g.slope), c = std::cos(g.slope);
  out[0] = point[0];
  out[1] = point[1];
  out[2] = -point[0] * std::tan(g.slope);
  out[3] = -s;
  out[4] = 0.0;
  out[5] = -c;
  out[6] = g.friction;
  out[7] = g.rolling;
}

// One timed input change: from time t on, input k holds value v.
struct Event {
  double t;
  int input;
  double value;
};

class Sim {
 public:
  const TypeInfo* info = nullptr;
  std::vector<double> store;
  int len = 0, nv = 0, ns = 0, ni = 0;
  double time = 0.0;
  double dt = 0.0;
  std::vector<double> prevDerivatives;
  std::string error;

  // Sets the model up: defaults (no file), a text data file read over the defaults, or a store
  // image (exactly the store length in little-endian doubles); then the first-call evaluation.
  bool init(int type, const char* dataFile = nullptr, const char* storeImage = nullptr) {
    info = findType(type);
    if (!info) return fail("model type not known to the simulator");
    len = tolvu_GetModelDefinitionSize(type);
    ns = tolvu_GetNumberOfStates(type);
    ni = tolvu_GetNumberOfInertiaStates(type);
    nv = len - 2 * ns - info->inputCount - info->outputCount;
    if (len <= 0 || ns <= 0 || ni < 0 || ni > ns || nv <= ns) return fail("library reports no usable sizes");
    store.assign(len, 0.0);
    prevDerivatives.assign(ns, 0.0);
    dt = info->dt;
    time = 0.0;
    if (storeImage) {
      if (!readStoreImage(storeImage)) return false;
    } else if (!tolvu_InitializeModel(type, store.data(), len, dataFile ? dataFile : " ")) {
      return fail("tolvu_InitializeModel failed");
    }
    tolvu_SetEarthDataFunction(&groundQuery);
    tolvu_CallModel(type, 1, 0, 0.0, store.data(), len);
    return true;
  }

  // 0-based store position of a variable (with indices, "RG100(2)"), or -1.
  int find(const char* name) const {
    if (!info || !name || !*name) return -1;
    const int k = tolvu_GetVarIndex(info->type, name);
    return k >= 1 && k <= nv ? k - 1 : -1;
  }
  double* var(const char* name) {
    const int k = find(name);
    return k < 0 ? nullptr : &store[k];
  }
  double get(const char* name) const {
    const int k = find(name);
    return k < 0 ? std::nan("") : store[k];
  }
  // Sets a state variable and its copy in the state block (the next evaluation copies the block
  // over the variables).
  bool setState(const char* name, double v) {
    const int k = find(name);
    if (k < 0) return false;
    store[k] = v;
    if (k < ns) store[nv + k] = v;
    return true;
  }

  double* states() { return &store[nv]; }
  double* derivatives() { return &store[nv + ns]; }
  double* inputs() { return &store[nv + 2 * ns]; }
  double* outputs() { return &store[nv + 2 * ns + info->inputCount]; }

  int inputIndex(const std::string& name) const {
    std::string n = name;
    for (char& ch : n) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (int k = 0; k < info->inputCount && k < 6; ++k)
      if (info->inputs[k] && n == info->inputs[k]) return k;
    return -1;
  }
  void setInput(int k, double v) {
    if (k >= 0 && k < info->inputCount) inputs()[k] = v;
  }

  // Writes the whole store as a store image (little-endian doubles, no header), through a
  // temporary file that replaces the target only once it is complete.
  bool writeStoreImage(const std::string& path) const {
    const std::string tmp = path + ".tmp";
    FILE* fp = std::fopen(tmp.c_str(), "wb");
    if (!fp) return false;
    bool ok = true;
    for (double d : store) {
      unsigned char b[8];
      uint64_t u;
      std::memcpy(&u, &d, 8);
      for (int k = 0; k < 8; ++k) b[k] = static_cast<unsigned char>(u >> (8 * k));
      ok = ok && std::fwrite(b, 1, 8, fp) == 8;
    }
    ok = (std::fclose(fp) == 0) && ok;
    if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(tmp.c_str());
    return ok;
  }

  // One two-phase step of dt. False when a state becomes non-finite or larger than 1e10 in
  // magnitude (the state is then left as it was and error names it).
  bool step() {
    const int type = info->type;
    double* f = derivatives();
    double* x = states();
    std::copy(f, f + ns, prevDerivatives.begin());
    tolvu_CallModel(type, 0, 1, time, store.data(), len);
    tolvu_CallModel(type, 0, 2, time, store.data(), len);
    for (int i = 0; i < ni; ++i)
      if (!advance(x, f, i)) return false;
    tolvu_CallModel(type, 0, 1, time, store.data(), len);
    for (int i = ni; i < ns; ++i)
      if (!advance(x, f, i)) return false;
    time += dt;
    return true;
  }

 private:
  bool fail(const char* why) {
    error = why;
    return false;
  }
  bool advance(double* x, const double* f, int i) {
    if (!(std::fabs(x[i]) <= 1e10)) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "instability in model %d, state %d at t=%.3f", info->type, i + 1, time);
      error = buf;
      return false;
    }
    x[i] += (3.0 * f[i] - prevDerivatives[i]) * dt * 0.5;
    return true;
  }
  bool readStoreImage(const char* path) {
    FILE* fp = std::fopen(path, "rb");
    if (!fp) return fail("cannot open the store image");
    std::vector<unsigned char> bytes(static_cast<size_t>(len) * 8 + 1);
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), fp);
    std::fclose(fp);
    if (got != static_cast<size_t>(len) * 8) return fail("store image has the wrong size for this model type");
    for (int k = 0; k < len; ++k) {
      uint64_t u = 0;
      for (int b = 7; b >= 0; --b) u = (u << 8) | bytes[static_cast<size_t>(k) * 8 + b];
      std::memcpy(&store[k], &u, 8);
    }
    return true;
  }
};

// Applies the events whose time has come (events sorted by time; next is the first not yet applied).
inline void applyEvents(Sim& sim, const std::vector<Event>& events, size_t& next) {
  while (next < events.size() && events[next].t <= sim.time + 1e-9) {
    sim.setInput(events[next].input, events[next].value);
    ++next;
  }
}

// The range a driver's input can take: pedals and the parking brake from released (0) to fully
// applied (1); the steering-wheel angle in radians, up to two turns either way (the model limits
// the wheels' angle itself); the gear a whole number from -1 (reverse) through 0 (neutral) to the highest of the 8-row ratio
// table (6).
struct InputRange {
  const char* name;
  double min, max;
  bool whole;
};
inline const InputRange kInputRanges[] = {
    {"steer", -12.566371, 12.566371, false}, {"throttle", 0.0, 1.0, false},
    {"brake", 0.0, 1.0, false},              {"clutch", 0.0, 1.0, false},
    {"gear", -1.0, 6.0, true},               {"park_brake", 0.0, 1.0, false},
};

// True when v lies in the input's range; otherwise err names the input and its range.
inline bool checkInputValue(const char* input, double v, std::string& err) {
  for (const InputRange& r : kInputRanges) {
    if (std::strcmp(r.name, input) != 0) continue;
    if (v >= r.min && v <= r.max && (!r.whole || v == std::floor(v))) return true;
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s=%g is out of range: %s takes %s from %g to %g", input, v, input,
                  r.whole ? "a whole number" : "a value", r.min, r.max);
    err = buf;
    return false;
  }
  return true;
}

// Checks that a model data file can be handed to the library: an existing, readable regular file
// of text (the library itself reads any path and silently keeps its defaults when it cannot).
// False with a message otherwise.
inline bool checkDataFile(const char* path, std::string& err) {
  FILE* fp = std::fopen(path, "rb");
  if (!fp) {
    err = std::string("cannot read the data file ") + path + ": " + std::strerror(errno);
    return false;
  }
  unsigned char buf[4096];
  size_t got;
  bool text = true;
  while (text && (got = std::fread(buf, 1, sizeof buf, fp)) > 0) {
    for (size_t i = 0; i < got; ++i)
      if (buf[i] == 0 || (buf[i] < 32 && buf[i] != '\n' && buf[i] != '\r' && buf[i] != '\t' && buf[i] != '\f')) {
        text = false;
        break;
      }
  }
  const bool readError = std::ferror(fp) != 0;
  std::fclose(fp);
  if (readError) {
    err = std::string("cannot read the data file ") + path + " (is it a folder?)";
    return false;
  }
  if (!text) {
    err = std::string("the data file ") + path + " is not a text file";
    return false;
  }
  return true;
}

// Parses one schedule line "TIME name=value [name=value ...]" (commas or blanks between pairs);
// blank lines and lines starting with '#' give no events. False with a message on a bad line.
inline bool parseScheduleLine(const Sim& sim, const std::string& line, std::vector<Event>& out, std::string& err) {
  std::string s = line;
  for (char& ch : s)
    if (ch == ',' || ch == '\t' || ch == '\r') ch = ' ';
  size_t p = s.find_first_not_of(' ');
  if (p == std::string::npos || s[p] == '#') return true;
  char* end = nullptr;
  const double t = std::strtod(s.c_str() + p, &end);
  if (end == s.c_str() + p || !std::isfinite(t) || t < 0) {
    err = "bad time in schedule line: " + line;
    return false;
  }
  p = static_cast<size_t>(end - s.c_str());
  while (true) {
    p = s.find_first_not_of(' ', p);
    if (p == std::string::npos) break;
    const size_t q = s.find(' ', p);
    const std::string pair = s.substr(p, q == std::string::npos ? std::string::npos : q - p);
    p = q == std::string::npos ? s.size() : q;
    const size_t eq = pair.find('=');
    if (eq == std::string::npos) {
      err = "expected name=value in schedule line: " + line;
      return false;
    }
    const int k = sim.inputIndex(pair.substr(0, eq));
    const std::string val = pair.substr(eq + 1);
    char* vend = nullptr;
    const double v = std::strtod(val.c_str(), &vend);
    if (k < 0 || val.empty() || *vend != '\0' || !std::isfinite(v)) {
      err = "bad input or value '" + pair + "' in schedule line: " + line;
      return false;
    }
    if (!checkInputValue(sim.info->inputs[k], v, err)) {
      err += " in schedule line: " + line;
      return false;
    }
    out.push_back({t, k, v});
  }
  return true;
}

inline void sortEvents(std::vector<Event>& events) {
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.t < b.t; });
}

}  // namespace tolvusim

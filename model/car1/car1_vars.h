// Store offsets of every CAR_1 variable the equations read or write.
//
// The equations address the store only through these offsets, which are resolved at compile time
// from the model's generated name records (so the numbers live in one place: the table, and the
// compiler turns every access into a fixed displacement). Offsets are 0-based positions in the
// caller's store (1-based variable index minus 1). Per-corner names come in fours, w = 0..3 for
// the corners 1100, 1200 (front, steered), 1300, 1400 (rear): hub and contact-frame names count
// from 2096/2099 (2096, 2196, 2296, 2396), wheel, corner and display-point names from
// 2100/1100/2101. Tyre data come in pairs, a = 0 for the front set (900) and a = 1 for the rear set
// (950). A name the table lacks stops the build (static_assert on kIndex.complete).
#pragma once

#include <cstddef>

#include "model/tables/car1_index.h"

namespace car1 {

// Store blocks of the CAR_1 model.
constexpr int kNumVars = 1799;
constexpr int kNumStates = 19;

// Scalars and the first element of arrays, by their exact names.
#define CAR1_SCALARS(X)                                                                         \
  X(VG100) X(OL100) X(RG100) X(EUL100) X(BEW2100) X(GEAR_RAT) X(EBR2950) X(INT1) X(TSTOP)       \
  X(CGRAV) X(PI) X(TWOPI) X(PIDEG) X(RAD2DEG) X(DEG2RAD) X(ZERO) X(HALF) X(ONE) X(TWO) X(THREE) \
  X(FOUR) X(FIVE) X(SIX) X(NINE) X(TEN) X(SMALL) X(HALFPI) X(ZERO_VEC) X(CMDUM) X(CM0)          \
  X(XALPHA) X(DAMPING) X(TAU_SLIP) X(STATUS) X(M_FUEL) X(TOL)                                   \
  X(M_CAR) X(X_COG) X(DX_AXLES) X(DY_AXLES) X(Y_STUB) X(R_WHEEL) X(Z_AXLE) X(M_AXLE) X(X_REAR)  \
  X(X_FRONT) X(Z_ROOF) X(CAR_LENG) X(PRELOAD_F) X(PRELOAD_R) X(Y_AXLE) X(M_C_BODY) X(M_TOTAL)   \
  X(FGR_CAR) X(K_ROLL) X(K_PITCH) X(K_YAW) X(SPRL_FRONT) X(DMPI_FRONT) X(SPRL_REAR)             \
  X(DMPI_REAR) X(M100) X(CXY100) X(CXZ100) X(CYZ100) X(MM100) X(MI100) X(FGR100) X(DLT100)      \
  X(COR100) X(SGM100) X(CM100) X(VL100) X(RP1000) X(OL1000) X(VL1000) X(RG1000) X(CM1000)       \
  X(ANG_MAX) X(STEER_RAT) X(AST_MAX) X(Z_AX_FRNT) X(Z_AX_REAR) X(DAMP_FRN) X(DAMP_REA)          \
  X(EZT_LOW) X(EZT_STP) X(EZT_HIGH) X(ZAX_NULL) X(ZAX_EXTRA) X(VX_INIT) X(OWL_INIT)             \
  X(ENG_TC_MX) X(ENG_RP_MX) X(ENG_TR_CM) X(ENG_TR_VS) X(ENG_RP_CM) X(ENG_TH_MN) X(ENG_PW_RR)    \
  X(ENG_TC_TB) X(ENG_PW_RC) X(ENG_PW_FR) X(SPEED) X(RPF1600) X(OEN_VELOC) X(TE_PP1600) X(GEARS) \
  X(GEAR_MAX) X(GEAR_TAU) X(BRAKE_MAX) X(BRAKE_STF) X(BRAKE_DMP) X(ROT_2_LIN) X(BRAKE_LST)      \
  X(BRAKE_LDM) X(CBR2700) X(RBR2700) X(RHO_AIR) X(AREA_CAR) X(CW_CAR) X(FCT_SHAPE) X(F_WIND)    \
  X(YAW_RATE) X(POW_WIND) X(RAD_CURVE) X(F_CLN100) X(T_CLN100) X(INP_VARS) X(STEER)             \
  X(PARK_BRAKE) X(BRAKE) X(GEAR) X(THROTTLE) X(CLUTCH) X(I_TOTAL) X(I100) X(ANG_SCOR)           \
  X(ANG_WHEEL) X(OEN_THROT) X(OEN1600) X(RPM1600) X(RPN1600) X(NETV1600) X(NET1600) X(TCT1600)  \
  X(CAE1600) X(TCO_NULL) X(TCO1600) X(TFR1600) X(F_ENG_NUL) X(GEAR_IND) X(GEAR_DSC)             \
  X(GEAR_DLT) X(BRAKE_INP) X(BRAKE_PIN) X(IM100) X(II100) X(IOM100) X(SLIP_REAR) X(SLIP_FRONT)  \
  X(CAR_SSLIP) X(CAR_U_STR) X(FZ_REAR) X(FXM_REAR) X(F_DRIVE_R) X(DFZ_REAR) X(FZ_TOTAL)         \
  X(FZ_FRONT) X(FXM_FRONT) X(F_DRIVE_F) X(BRAKE_FRC) X(EBM2950) X(DEB2950) X(FBL2950)           \
  X(FRB2950) X(FZP_FRONT) X(FZP_REAR) X(DFZ_FRONT) X(OUT_VARS) X(FL_WIND) X(FL1000) X(FP1000)   \
  X(TL1000) X(FG100) X(TP1000) X(TL100) X(AG100) X(AL100) X(DL100) X(DM100) X(AL1000)           \
  X(DL1000) X(DM1000) X(RFR900) X(RFR950)

// Per-corner names: the format's %d is w + base (base 0 for hub/contact-frame names, 1 otherwise).
#define CAR1_CORNERS(W)                                                                          \
  W(YSTB1x00, "YSTB1%d00", 1) W(RP1x00, "RP1%d00", 1) W(RG1x00, "RG1%d00", 1)                    \
  W(CMP1x00, "CMP1%d00", 1) W(VL1x00, "VL1%d00", 1) W(OL1x00, "OL1%d00", 1)                      \
  W(CM1x00, "CM1%d00", 1) W(RP2x96, "RP2%d96", 0) W(CMP2x96, "CMP2%d96", 0)                      \
  W(RG2x96, "RG2%d96", 0) W(VL2x96, "VL2%d96", 0) W(OL2x96, "OL2%d96", 0)                        \
  W(CM2x96, "CM2%d96", 0) W(RL_CW2x00, "RL_CW2%d00", 1) W(CAW2x00, "CAW2%d00", 1)                \
  W(RPQ2x99, "RPQ2%d99", 0) W(RYN2x99, "RYN2%d99", 0) W(RFR2x00, "RFR2%d00", 1)                  \
  W(EZN2x00, "EZN2%d00", 1) W(XZS2x00, "XZS2%d00", 1) W(EZM2x00, "EZM2%d00", 1)                  \
  W(SIZT2x00, "SIZT2%d00", 1) W(NZ_WL2x00, "NZ_WL2%d00", 1) W(RG_CW2x00, "RG_CW2%d00", 1)        \
  W(PR_CR2x00, "PR_CR2%d00", 1) W(MURD_2x00, "MURD_2%d00", 1) W(RRES_2x00, "RRES_2%d00", 1)      \
  W(NRD2x00, "NRD2%d00", 1) W(NRL2x99, "NRL2%d99", 0) W(RXN2x99, "RXN2%d99", 0)                  \
  W(CM2x99, "CM2%d99", 0) W(VAX2x99, "VAX2%d99", 0) W(CMB2x00, "CMB2%d00", 1)                    \
  W(CCM2x00, "CCM2%d00", 1) W(CWR2x00, "CWR2%d00", 1) W(GAM2x00, "GAM2%d00", 1)                  \
  W(CRW2x00, "CRW2%d00", 1) W(VX2x00, "VX2%d00", 1) W(CAM2x00, "CAM2%d00", 1)                    \
  W(RG2x00, "RG2%d00", 1) W(CM2x00, "CM2%d00", 1) W(VXC2x00, "VXC2%d00", 1)                      \
  W(MUC2x00, "MUC2%d00", 1) W(MUN2x00, "MUN2%d00", 1) W(RRS2x00, "RRS2%d00", 1)                  \
  W(BYT2x00, "BYT2%d00", 1) W(REF2x00, "REF2%d00", 1) W(RG_CR2x00, "RG_CR2%d00", 1)              \
  W(ORL2x00, "ORL2%d00", 1) W(OWD2x00, "OWD2%d00", 1) W(VRL2x00, "VRL2%d00", 1)                  \
  W(VSX2x00, "VSX2%d00", 1) W(RCL2x00, "RCL2%d00", 1) W(RCP2x00, "RCP2%d00", 1)                  \
  W(VSY2x00, "VSY2%d00", 1) W(VZT2x00, "VZT2%d00", 1) W(EZT2x00, "EZT2%d00", 1)                  \
  W(XRZ2x00, "XRZ2%d00", 1) W(RZT2x00, "RZT2%d00", 1) W(FRT2x00, "FRT2%d00", 1)                  \
  W(ALPS2x00, "ALPS2%d00", 1) W(ARGY2x00, "ARGY2%d00", 1) W(CZT2x00, "CZT2%d00", 1)              \
  W(FCT2x00, "FCT2%d00", 1) W(FZD2x00, "FZD2%d00", 1) W(FZU2x00, "FZU2%d00", 1)                  \
  W(FZA2x00, "FZA2%d00", 1) W(EZA2x01, "EZA2%d01", 1) W(RP2x01, "RP2%d01", 1)                    \
  W(RG2x01, "RG2%d01", 1) W(FXTY2x00, "FXTY2%d00", 1) W(FXTC2x00, "FXTC2%d00", 1)                \
  W(FX_DL2x00, "FX_DL2%d00", 1) W(SC_XY2x00, "SC_XY2%d00", 1) W(FY_DL2x00, "FY_DL2%d00", 1)      \
  W(FTY2x00, "FTY2%d00", 1) W(OWL2x00, "OWL2%d00", 1) W(BEW2x00, "BEW2%d00", 1)                  \
  W(FP2x00, "FP2%d00", 1) W(TP2x00, "TP2%d00", 1) W(FP2x99, "FP2%d99", 0)                        \
  W(FL2x96, "FL2%d96", 0) W(TWD2x00, "TWD2%d00", 1) W(TWL2x00, "TWL2%d00", 1)                    \
  W(TA2x00, "TA2%d00", 1) W(TP2x99, "TP2%d99", 0) W(TL2x96, "TL2%d96", 0)                        \
  W(FP2x96, "FP2%d96", 0) W(FL1x00, "FL1%d00", 1) W(TP2x96, "TP2%d96", 0)                        \
  W(TL1x00, "TL1%d00", 1) W(FP1x00, "FP1%d00", 1) W(TP1x00, "TP1%d00", 1)                        \
  W(AL1x00, "AL1%d00", 1) W(DL1x00, "DL1%d00", 1) W(DM1x00, "DM1%d00", 1)                        \
  W(AL2x96, "AL2%d96", 0) W(DL2x96, "DL2%d96", 0) W(DM2x96, "DM2%d96", 0)

// Tyre data per axle: %d is 0 (front, 900) or 5 (rear, 950).
#define CAR1_AXLES(A)                                                                            \
  A(FZN9x0, "FZN9%d0") A(CZT9x0, "CZT9%d0") A(VXM9x0, "VXM9%d0") A(SYL9x0, "SYL9%d0")            \
  A(CYS9x0, "CYS9%d0") A(EYS9x0, "EYS9%d0") A(FTM9x0, "FTM9%d0")

struct Index {
#define CAR1_DECL_S(n) int n = -1;
#define CAR1_DECL_W(n, f, b) int n[4] = {-1, -1, -1, -1};
#define CAR1_DECL_A(n, f) int n[2] = {-1, -1};
  CAR1_SCALARS(CAR1_DECL_S)
  CAR1_CORNERS(CAR1_DECL_W)
  CAR1_AXLES(CAR1_DECL_A)
#undef CAR1_DECL_S
#undef CAR1_DECL_W
#undef CAR1_DECL_A
  int GAM1x00[2] = {-1, -1};  // only the steered front corners carry a steering angle
  int splineControl = -1;      // unnamed element before TE_PP1600: control of the spline preparation
  int lookupControl = -1;      // unnamed element after TE_PP1600: control of the torque lookup
  int pickRows = -1;           // the two unnamed elements after GEAR_TAU: size of the gear-ratio pick
  int pickCols = -1;
  int nv = kNumVars;           // variable count
  int ns = kNumStates;         // state count
  bool complete = false;       // every name above was found
  const char* missing = nullptr;  // first name that was not found (for diagnostics and tests)
};

namespace detail {

// The generated records, for the compile-time resolution only (the library's name table is
// kCar1NameRecords).
inline constexpr char kRecords[][13] = {
#include "model/tables/car1_records.inc"
};
inline constexpr int kRecordCount = static_cast<int>(sizeof kRecords / sizeof kRecords[0]);

constexpr std::size_t textLength(const char* s) {
  std::size_t n = 0;
  while (s[n] != '\0') ++n;
  return n;
}

// 1-based record of a variable name (a blank-padded 10-character field), or 0.
constexpr int recordOf(const char* name) {
  const std::size_t n = textLength(name);
  if (n == 0 || n > 10) return 0;
  for (int k = 0; k < kRecordCount; ++k) {
    const char* r = kRecords[k];
    std::size_t i = 0;
    while (i < n && r[i] == name[i]) ++i;
    if (i < n) continue;
    while (i < 10 && r[i] == ' ') ++i;
    if (i == 10) return k + 1;
  }
  return 0;
}

// True when record k (1-based) has no name of its own.
constexpr bool unnamed(int k) {
  if (k < 1 || k > kRecordCount) return false;
  for (int i = 0; i < 10; ++i)
    if (kRecords[k - 1][i] != ' ') return false;
  return true;
}

// The name of a family: the format with its one "%d" replaced by the digit d (0..9).
struct FamilyName {
  char text[16] = {};
};
constexpr FamilyName familyName(const char* format, int d) {
  FamilyName out;
  std::size_t j = 0;
  for (std::size_t i = 0; format[i] != '\0' && j + 1 < sizeof out.text; ++i) {
    if (format[i] == '%' && format[i + 1] == 'd') {
      out.text[j++] = static_cast<char>('0' + d);
      ++i;
    } else {
      out.text[j++] = format[i];
    }
  }
  return out;
}

struct Resolver {
  Index& o;
  constexpr void miss(const char* name) {
    if (!o.missing) o.missing = name;
    o.complete = false;
  }
  constexpr void scalar(int& slot, const char* name) {
    const int k = recordOf(name);
    slot = k - 1;
    if (k == 0) miss(name);
  }
  // Hub and contact-frame families count their first corner as 0 (2096 .. 2396, 2099 .. 2399).
  constexpr void corner(int (&slot)[4], const char* format, int base) {
    for (int w = 0; w < 4; ++w) {
      const int k = recordOf(familyName(format, w + base).text);
      slot[w] = k - 1;
      if (k == 0) miss(format);
    }
  }
  constexpr void axle(int (&slot)[2], const char* format) {
    for (int a = 0; a < 2; ++a) {
      const int k = recordOf(familyName(format, a == 0 ? 0 : 5).text);
      slot[a] = k - 1;
      if (k == 0) miss(format);
    }
  }
  // An unnamed integer control `delta` records after a named variable's first record.
  constexpr void beside(int& slot, int named, int delta, const char* what) {
    const int k = named + 1 + delta;  // 1-based
    if (named < 0 || !unnamed(k)) miss(what);
    slot = k - 1;
  }
};

constexpr Index resolve() {
  Index o;
  o.complete = true;
  Resolver r{o};
#define CAR1_RESOLVE_S(n) r.scalar(o.n, #n);
#define CAR1_RESOLVE_W(n, f, b) r.corner(o.n, f, b);
#define CAR1_RESOLVE_A(n, f) r.axle(o.n, f);
  CAR1_SCALARS(CAR1_RESOLVE_S)
  CAR1_CORNERS(CAR1_RESOLVE_W)
  CAR1_AXLES(CAR1_RESOLVE_A)
#undef CAR1_RESOLVE_S
#undef CAR1_RESOLVE_W
#undef CAR1_RESOLVE_A
  r.scalar(o.GAM1x00[0], "GAM1100");
  r.scalar(o.GAM1x00[1], "GAM1200");
  // The unnamed integer controls beside the engine table and the gear ratios.
  r.beside(o.splineControl, o.TE_PP1600, -1, "spline control");
  r.beside(o.lookupControl, o.TE_PP1600, 32, "lookup control");
  r.beside(o.pickRows, o.GEAR_TAU, 1, "pick rows");
  r.beside(o.pickCols, o.GEAR_TAU, 2, "pick columns");
  if (o.NETV1600 < 0 || !unnamed(o.NETV1600 + 2)) r.miss("NETV1600 segment");
  return o;
}

}  // namespace detail

// Every offset of the equations, known to the compiler.
inline constexpr Index kIndex = detail::resolve();

static_assert(detail::kRecordCount == kNumVars && NUM_VARIABLES == kNumVars, "CAR_1 name table size");
static_assert(kIndex.complete, "the CAR_1 name table lacks a variable of the equations");
// Each scalar offset agrees with the generated 1-based index constant of its name.
#define CAR1_CHECK_S(n) static_assert(kIndex.n == n - 1, #n);
CAR1_SCALARS(CAR1_CHECK_S)
#undef CAR1_CHECK_S

}  // namespace car1

// Name table and sizes of the CAR_2 model. Record k (12 bytes: name, descriptor, type) names
// store slot k. Arrays carry their dimensions in base-25 letter digits after the first record;
// name lists keep their text in the name fields of their records.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "model/car2/car2.h"
#include "model/car2/car2_vars.h"

namespace car2 {
namespace {

struct Entry {
    int first;
    const char* name;
    int rows;
    int cols;
    char type;
};

const Entry kEntries[] = {
#include "model/car2/car2_table.inc"
};

constexpr int kRecLen = 12;

void PutName(char* rec, const char* name) {
    size_t n = std::strlen(name);
    if (n > 10) n = 10;
    std::memcpy(rec, name, n);
}

// Writes the text of a name list ("$"-terminated items) into the name fields of the records
// after the first: a header of the item count and character count, then 10-character pieces.
void PutList(char* table, int first, int count, const char* text) {
    char header[16];
    int items = 0;
    for (const char* p = text; *p; ++p) items += (*p == '$');
    std::snprintf(header, sizeof header, "%3d%3d", items, static_cast<int>(std::strlen(text)));
    std::memcpy(table + first * kRecLen, header, 6);
    int len = static_cast<int>(std::strlen(text));
    for (int r = 2, pos = 0; r < count && pos < len; ++r, pos += 10) {
        int piece = len - pos < 10 ? len - pos : 10;
        std::memcpy(table + (first - 1 + r) * kRecLen, text + pos, piece);
    }
}

void PutArray(char* table, int n, const Entry& e) {
    int total = e.rows * e.cols;
    char* rec = table + (e.first - 1) * kRecLen;
    PutName(rec, e.name);
    for (int k = 0; k < total && e.first + k <= n; ++k) rec[k * kRecLen + 11] = e.type;
    if (total == 1) return;
    if (total == 2) {
        rec[10] = e.rows == 2 ? '-' : '+';
        if (e.first + 1 <= n) rec[kRecLen + 10] = '.';
        return;
    }
    int big = e.rows > e.cols ? e.rows : e.cols;
    int digits = big < 25 ? 1 : (big < 625 ? 2 : 3);
    rec[10] = static_cast<char>('0' + digits);
    int r = e.rows, c = e.cols;
    for (int d = 0; d < digits; ++d) {
        int k1 = 1 + 2 * d, k2 = 2 + 2 * d;
        if (k1 < total && e.first + k1 <= n) rec[k1 * kRecLen + 10] = static_cast<char>('a' + r % 25);
        if (k2 < total && e.first + k2 <= n) rec[k2 * kRecLen + 10] = static_cast<char>('a' + c % 25);
        r /= 25;
        c /= 25;
    }
    for (int k = 1 + 2 * digits; k < total && e.first + k <= n; ++k) rec[k * kRecLen + 10] = '.';
}

void PutElementName(char* table, int n, int slot, const char* name) {
    if (slot <= n) PutName(table + (slot - 1) * kRecLen, name);
}

void PutTyreSet(char* table, int n, int first, const char* num) {
    static const char* const kNames[] = {"RRM", "WRM", nullptr, nullptr, nullptr, "FZN", "CZT", "RZT",
                                         "VXM", "FZL", "FZH", "MUL", "MUH", "SXL", "SXH", "CXS",
                                         "EXS", "SYL", "SYH", "CYS", "EYS", "TAU", "RRS", "SLX",
                                         "SLY", "DMX", "DMY", "FTM"};
    char buf[16];
    std::snprintf(buf, sizeof buf, "TYP%s", num);
    PutElementName(table, n, first + 1, buf);
    std::snprintf(buf, sizeof buf, "RFR%s", num);
    PutElementName(table, n, first + 6, buf);
    std::snprintf(buf, sizeof buf, "WTY%s", num);
    PutElementName(table, n, first + 7, buf);
    for (int i = 0; i < 28; ++i) {
        int slot = first + 8 + i;
        if (!kNames[i]) continue;
        std::snprintf(buf, sizeof buf, "%s%s", kNames[i], num);
        PutElementName(table, n, slot, buf);
        if (slot <= n) table[(slot - 1) * kRecLen + 11] = 'P';
    }
}

}  // namespace

int Size_Car_2(int& nvars, int& nstates, int& ninertia, int& ninputs, int& nextra) {
    nvars = kNumVars;
    nstates = kNumStates;
    ninertia = kNumInertia;
    ninputs = kNumInputs;
    nextra = kNumExtra;
    return 0;
}

int Names_Car_2(char* table, int n) {
    if (!table || n <= 0) return 0;
    std::memset(table, ' ', static_cast<size_t>(n) * kRecLen);
    for (const Entry& e : kEntries) {
        if (e.first > n) break;
        PutArray(table, n, e);
    }
    if (n < kNumVars) return 0;  // a short table holds the plain names only
    PutList(table, INP_VARS, 8, "STEER$THROTTLE$BRAKE$CLUTCH$GEAR$PARK_BRAKE$");
    PutList(table, OUT_VARS, 120,
            "RG1000$CM1000$RG1100$CM1100$RG1200$CM1200$RG1300$CM1300$RG1400$CM1400$"
            "RG2100$CM2100$RG2200$CM2200$RG2300$CM2300$RG2400$CM2400$RG1500$CM1500$");
    for (int s : {SIZT2100, SIZT2200, SIZT2300, SIZT2400}) PutList(table, s, 3, "_TIRE$");

    // Field names of the record layouts: element k + 1 holds field k.
    static const char* const kP3D[] = {"X", "Y", "Z", "ALP", "BET", "GAM", "&*"};
    for (int i = 0; i < 7; ++i) PutElementName(table, n, P_3D + 1 + i, kP3D[i]);
    static const char* const kCTyr[] = {"NAME", "HEAD", "TYPE", "FILE", "LENG", "TASK", "ORIGIN",
                                        nullptr, nullptr, nullptr, "TYMAKE", "TYTYPE", "DATE"};
    for (int i = 0; i < 13; ++i)
        if (kCTyr[i]) PutElementName(table, n, C_TYR + 1 + i, kCTyr[i]);
    static const char* const kRTyr[] = {"IUSED", "FITTYP", "ROADTP", "PRESS", "MEASDT", "LONGVL",
                                        "RFREE", "WDTYRE", "RZRIM", "WDRIM", "BREFF", "DREFF",
                                        "FREFF", "FNOMIN", "CZTYRE", "RZTYRE"};
    for (int i = 0; i < 16; ++i) PutElementName(table, n, R_TYR + 1 + i, kRTyr[i]);

    PutTyreSet(table, n, TYR900, "900");
    PutTyreSet(table, n, TYR950, "950");

    // Unused elements 2 and 3 of the contact-frame velocities.
    for (int v : {VAX2099, VAX2199, VAX2299, VAX2399}) {
        table[v * kRecLen + 11] = 'U';
        table[(v + 1) * kRecLen + 11] = 'U';
    }
    return 0;
}

}  // namespace car2

// Size routines and name routines of the three models.
#include <cstring>

#include "model/core/tolvu_model.h"
#include "model/tables/name_records.h"

namespace {

void fill_names(char* table, int recordLength, int count, const char (*records)[13], int nrecords) {
  if (table == nullptr || count <= 0) return;
  const int len = recordLength > 0 ? recordLength : tolvu::NAME_RECORD_LENGTH;
  std::memset(table, ' ', static_cast<size_t>(count) * static_cast<size_t>(len));
  const int n = nrecords < count ? nrecords : count;
  const int copy = len < tolvu::NAME_RECORD_LENGTH ? len : tolvu::NAME_RECORD_LENGTH;
  for (int k = 0; k < n; ++k) std::memcpy(table + static_cast<size_t>(k) * len, records[k], static_cast<size_t>(copy));
}

}  // namespace

int Sizes_Car_1(int& nvars, int& nstates, int& ninertia, int& ninputs, int& nextra) {
  nvars = 1799;
  nstates = 19;
  ninertia = 6;
  ninputs = 6;
  nextra = 120;
  return 0;
}

int Size_Car_2(int& nvars, int& nstates, int& ninertia, int& ninputs, int& nextra) {
  nvars = 2523;
  nstates = 47;
  ninertia = 16;
  ninputs = 6;
  nextra = 120;
  return 0;
}

int Size_Car_R(int& nvars, int& nstates, int& ninertia, int& ninputs, int& nextra) {
  nvars = 292;
  nstates = 0;
  ninertia = 0;
  ninputs = 78;
  nextra = 0;
  return 0;
}

void Names_Car_1(char* table, int recordLength, int count) {
  fill_names(table, recordLength, count, kCar1NameRecords, kCar1NameRecordCount);
}

void Names_Car_2(char* table, int recordLength, int count) {
  fill_names(table, recordLength, count, kCar2NameRecords, kCar2NameRecordCount);
}

void Names_Car_R(char* table, int recordLength, int count) {
  fill_names(table, recordLength, count, kCarrNameRecords, kCarrNameRecordCount);
}

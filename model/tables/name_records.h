// The generated name-record tables of the three models (model/tables/*_names.cpp, made by
// tools/tolvu_tables/gen_tables.py from the checked *.vars files beside them). Record k (1-based)
// describes store element k: 10 characters of name, the shape character, the type letter, and a
// terminating zero that is not part of the record.
#pragma once

extern const char kCar1NameRecords[][13];
extern const int kCar1NameRecordCount;
extern const char kCar2NameRecords[][13];
extern const int kCar2NameRecordCount;
extern const char kCarrNameRecords[][13];
extern const int kCarrNameRecordCount;

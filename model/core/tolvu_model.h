// Internal interface of the Tolvu model library: what the car models (model/car1, model/car2,
// model/carr) and the management layer share. Nothing here is exported from the shared library.
//
// Conventions: store indices are 1-based (element k is store[k - 1]); matrices are column-major
// with the row count as leading dimension; every routine runs on the caller's one thread.
#pragma once

#include <cstddef>

namespace tolvu {

// Model types.
inline constexpr int MODEL_CAR_1 = 1;
inline constexpr int MODEL_CAR_2 = 2;
inline constexpr int MODEL_CAR_R = 3;
inline constexpr int MODEL_COUNT = 3;

// Largest number of named variables of any model (the size of the name table).
inline constexpr int MAX_NAMES = 6000;
// Bytes of one name record: 10 of name, the shape character, the type letter.
inline constexpr int NAME_RECORD_LENGTH = 12;

}  // namespace tolvu

// ---- Sizes -------------------------------------------------------------------------------------
// The five counts of a model, in this order: variables, states, inertia states, inputs, output block.
// Store layout: variables 1..NV, state block NV+1..NV+NS, derivative block NV+NS+1..NV+2NS,
// input block NV+2NS+1..NV+2NS+NIN, output block after it (NO doubles).
int Sizes_Car_1(int& nvars, int& nstates, int& ninertia, int& ninputs, int& nextra);
int Size_Car_2(int& nvars, int& nstates, int& ninertia, int& ninputs, int& nextra);
int Size_Car_R(int& nvars, int& nstates, int& ninertia, int& ninputs, int& nextra);

// Every count 0 and the name blank, then the counts of type 1..3; `name` receives 10 characters
// (not terminated). An unknown type leaves the counts 0.
int Size_Model(const int& type, char name[10], int& nvars, int& nstates, int& ninertia, int& ninputs,
               int& nextra);

// ---- Name tables and defaults ------------------------------------------------------------------
// Fill `count` records of 12 bytes with blanks, then write the model's records 1..NV (never more
// than `count`).
void Names_Car_1(char* table, int recordLength, int count);
void Names_Car_2(char* table, int recordLength, int count);
void Names_Car_R(char* table, int recordLength, int count);
// Set store elements 1..count to 0.0, then write the model's default values (within count).
int Defaults_Car_1(double* store, int count);
int Defaults_Car_2(double* store, int count);
int Defaults_Car_R(double* store, int count);

// ---- Evaluation entries (CALL_MODEL dispatches here) -------------------------------------------
// first: 1 runs the first-call set-up; mode: 1 derivatives only, 2 accelerations and output only,
// other: both. time is written into store element 35 in modes other than 2. length is the caller's
// store length (informational). Return 0. Each model's entry is defined once, in its own folder: a
// library built without a model fails to link instead of silently evaluating nothing.
int Call_Car_1(const int& first, const int& mode, const double& time, double* store, const int& length);
int Call_Car_2(const int& first, const int& mode, const double& time, double* store, const int& length);
int Call_Car_R(const int& first, const int& mode, const double& time, double* store, const int& length);

// ---- Management (the exports pass through these) -----------------------------------------------
int CALL_MODEL(const int& type, const int& first, const int& mode, const double& time, double* store,
               const int& length);
void INI_NAM_MODEL(const int& type, char* table, int recordLength, int count);
void INI_VAR_MODEL(const int& type, double* store, int count);
int Init_Model_CPP(const int& type, double* store, const int& length, const char* dataFile, int fileLength);
int Init_Data(const int& type, double* store, const int& length, const char* dataFile, int fileLength);
int Get_Var_Index(const int& type, const char* name, int nameLength);
int Dump_Model(const int& type, const double& writeFormat, const double* store, const int& count);

// ---- Ground query ------------------------------------------------------------------------------
// Calls the program's registered function with the same arguments, or writes flat ground:
// out = (point[0], point[1], 0, 0, 0, -1, 1, 0.01).
void GetEarthData(double out[8], const double point[3], const double aux[3], double wheel);

// ---- Diagnostics -------------------------------------------------------------------------------
// The message sink: receives every composed diagnostic and discards it.
void OutputMessage(const char* text, int length);
// Composes "code**t1**t2**t3**" (each text cut after its last non-blank) and hands it to the sink
// unless the information/warning filter drops it. Pass " " for an unused text; null is taken as " ".
void ReportMessage(const char* code, const char* text1, const char* text2, const char* text3);
// Stops the process after a fatal dispatch error: prints "Stop - Program terminated." and exits.
[[noreturn]] void TOLVU_STOP();

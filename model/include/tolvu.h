// Tolvu: the vehicle-dynamics model library. Public interface of the shared library.
//
// The library offers three car models, identified by a model type: 1 "CAR_1", 2 "CAR_2",
// 3 "CAR_R". It keeps no per-car state: every car's variables, states and inputs live in a store
// of doubles that the caller owns and passes in on every call. Store element k (1-based, as the
// indices of tolvu_GetVarIndex count) is store[k - 1].
//
// Evaluations are thread-safe per store: tolvu_CallModelWithGround may run on several threads at
// once, each on its own store. Everything else (set-up, data files, name lookups, dumps and the
// registration of the ground query) keeps shared state and must come from one thread at a time,
// never while an evaluation runs.
//
// Exports are bound by name or by ordinal (tolvu_ExportTable: ordinal n is entry n - 1).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TOLVU_API __attribute__((visibility("default")))
#else
#define TOLVU_API
#endif

// The ground query the program answers for each wheel in every evaluation of a model's equations.
// out: 0-1 the query point's horizontal coordinates, 2 the ground's vertical coordinate (model axes,
// z down), 3-5 the ground's unit normal, 6 the friction coefficient, 7 the rolling-resistance
// coefficient. point: the wheel's reference point; aux: the wheel's radius vector; wheel: 1.0 .. 4.0.
typedef void (*TolvuEarthDataFunction)(double out[8], const double point[3], const double aux[3], double wheel);

// Ordinal 1: registers the ground-query function (null: the library answers with flat ground).
TOLVU_API void tolvu_SetEarthDataFunction(TolvuEarthDataFunction function);
// Ordinal 2: the number of model types, 3.
TOLVU_API int tolvu_GetNumberOfModelDefinitions(void);
// Ordinal 3: the store length in doubles for a model type (1963, 2743, 370; 0 for any other type).
TOLVU_API int tolvu_GetModelDefinitionSize(int modelType);
// Ordinal 4: writes defaults, reads the text data file (unless its name is null or begins with a
// blank) and copies the INP_VARS block into the input area. 1 on success, 0 when the store is too
// short (the store is then untouched) or the type is unknown.
TOLVU_API int tolvu_InitializeModel(int modelType, double* store, int storeLength, const char* dataFile);
// Ordinal 5: reads a further data file over an initialised store and copies the INP_VARS block
// again. Returns 1. An unknown model type stops the process.
TOLVU_API int tolvu_InitializeData(int modelType, double* store, int storeLength, const char* dataFile);
// Ordinal 6: one evaluation. first 1 runs the model's first-call set-up; mode 1 evaluates the
// derivatives, mode 2 the accelerations from the last forces, any other mode both. Returns 0.
// An unknown model type stops the process.
TOLVU_API int tolvu_CallModel(int modelType, int firstCall, int mode, double time, double* store, int storeLength);
// Ordinal 7: the 1-based store index of a variable or element ("NAME", "NAME(i)", "NAME(i,j)");
// 0 for a blank or unknown name, -1 for an unknown model type.
TOLVU_API int tolvu_GetVarIndex(int modelType, const char* name);
// Ordinal 8: writes the first `count` variables of the store by name to "My_States.mdl". Returns 0.
TOLVU_API int tolvu_Dump(int modelType, double writeFormat, double* store, int count);
// Ordinal 9: the number of integrated states (19, 47, 0; 0 for any other type).
TOLVU_API int tolvu_GetNumberOfStates(int modelType);
// Ordinal 10: the number of inertia states, the first states (6, 16, 0; 0 for any other type).
TOLVU_API int tolvu_GetNumberOfInertiaStates(int modelType);

// Not in the ordinal table: one evaluation as tolvu_CallModel, whose ground queries go to
// ground(context, ...) instead of the registered function (ground null: the registered function).
// The context is the caller's and is passed through untouched, so a program that evaluates many
// cars needs no record of which car is being evaluated.
typedef void (*TolvuGroundFunction)(void* context, double out[8], const double point[3], const double aux[3],
                                    double wheel);
TOLVU_API int tolvu_CallModelWithGround(int modelType, int firstCall, int mode, double time, double* store,
                                        int storeLength, TolvuGroundFunction ground, void* context);

// The ordinal table: entry n - 1 is the export of ordinal n, as an untyped function address.
#define TOLVU_EXPORT_COUNT 10
TOLVU_API extern void* const tolvu_ExportTable[TOLVU_EXPORT_COUNT];

#ifdef __cplusplus
}
#endif

// Library identification string, kept in the binary for `strings libTolvu.so`.
extern "C" const char tolvu_library_id[] __attribute__((visibility("default"))) = "Tolvu vehicle dynamics model library";

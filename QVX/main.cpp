// Pindrel: the game program.
#include "QVX/shell/Program.h"

int main(int argc, char** argv) { return RunProgram(argc, argv); }

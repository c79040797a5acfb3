#include "app/Startup.h"

int main(int argc, char** argv) { return sorvane::runProgram(argc, argv); }

#include <iostream>

#include "cli.h"

int main(int argc, char** argv) { return orvasim::runCli(argc, argv, std::cout, std::cerr); }

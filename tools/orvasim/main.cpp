#include <unistd.h>

#include <iostream>

#include "cli.h"
#include "files.h"

int main(int argc, char** argv) {
  // The standard output through a buffer that keeps the reason a write failed.
  orvasim::FdBuffer buffer(STDOUT_FILENO);
  std::ostream out(&buffer);
  return orvasim::runCli(argc, argv, out, std::cerr);
}

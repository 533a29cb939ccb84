// vvhost: the stand-in scripting host. See host/Cli.h for its command line.
#include <iostream>
#include <string>
#include <vector>

#include "host/Cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = vvhost::RunHost(args, vvhost::DefaultPlugInPath(argv[0]), std::cout, std::cerr);
  std::cout.flush();
  return status;
}

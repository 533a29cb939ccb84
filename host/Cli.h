// The command line of vvhost, the stand-in scripting host:
//
//   vvhost [--plugin PATH] info
//   vvhost [--plugin PATH] exec [--var NAME=VALUE]... ACTION [PARAM]...
//   vvhost [--plugin PATH] run [--trace] SCRIPT
//   vvhost [--plugin PATH] edit ACTION [--slot TEXT]...
//
// Exit status: 0 when the mode ran (whatever an action answered), 1 when the
// plug-in cannot be loaded or a script cannot be read or is malformed, 2 for
// a usage error. Messages go to `err`.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vvhost {

// Runs vvhost with `args` (the arguments after the program name).
// `defaultPlugIn` is loaded when no --plugin is given.
int RunHost(const std::vector<std::string>& args, const std::string& defaultPlugIn, std::ostream& out,
            std::ostream& err);

// libveVazevid.so in the directory of the running executable.
std::string DefaultPlugInPath(const char* argv0);

}  // namespace vvhost

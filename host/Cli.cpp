#include "host/Cli.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "host/HostSession.h"
#include "host/PlugInLibrary.h"
#include "host/Script.h"
#include "host/Text.h"

namespace vvhost {
namespace {

constexpr char kUsage[] =
    "usage: vvhost [--plugin PATH] info\n"
    "       vvhost [--plugin PATH] exec [--var NAME=VALUE]... ACTION [PARAM]...\n"
    "       vvhost [--plugin PATH] run [--trace] SCRIPT\n"
    "       vvhost [--plugin PATH] edit ACTION [--slot TEXT]...\n"
    "ACTION is a registered action name or a numeric id; NAME is a variable\n"
    "name such as [veVazevidVar] (the brackets are added when missing).\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure while running a mode (exit status 1).
class RunError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string VariableName(const std::string& name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') return name;
  return "[" + name + "]";
}

// An action given by number is used as is (even when unregistered); a name
// must be registered.
int ResolveAction(const HostSession& session, const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  int id = 0;
  const auto [end, ec] = std::from_chars(first, last, id);
  if (!text.empty() && end == last) {
    if (ec != std::errc()) throw UsageError("action id out of range: " + text);
    return id;
  }
  if (const RegisteredAction* action = session.FindAction(text)) return action->Id;
  throw UsageError("unknown action: " + text);
}

void PrintExecOutcome(const HostSession::ExecOutcome& outcome, std::ostream& out, const char* prefix) {
  out << prefix << "result=" << (outcome.Result ? "true" : "false") << '\n';
  for (const auto& [name, value] : outcome.Set) out << prefix << name << '=' << EscapeValue(value) << '\n';
}

int Info(HostSession& session, const std::vector<std::string>& args, size_t i, std::ostream& out) {
  if (i != args.size()) throw UsageError("info takes no arguments");
  out << "title=" << EscapeValue(Cp1251ToUtf8(session.Title())) << '\n';
  out << "author=" << EscapeValue(Cp1251ToUtf8(session.Author())) << '\n';
  out << "description=" << EscapeValue(Cp1251ToUtf8(session.Description())) << '\n';
  for (const RegisteredAction& action : session.Actions()) {
    out << "action id=" << action.Id << " name=" << EscapeValue(action.Name)
        << " params=" << action.ParamCount << " kinds=";
    for (size_t k = 0; k < action.Kinds.size(); ++k)
      out << (k ? "," : "") << static_cast<int>(action.Kinds[k]);
    out << " hint=" << EscapeValue(Cp1251ToUtf8(action.Hint)) << '\n';
  }
  return 0;
}

int Exec(HostSession& session, const std::vector<std::string>& args, size_t i, std::ostream& out) {
  while (i < args.size()) {
    std::string preset;
    if (args[i] == "--var") {
      if (i + 1 >= args.size()) throw UsageError("--var needs NAME=VALUE");
      preset = args[i + 1];
      i += 2;
    } else if (args[i].rfind("--var=", 0) == 0) {
      preset = args[i].substr(6);
      ++i;
    } else if (args[i] == "--") {
      ++i;
      break;
    } else {
      break;
    }
    const size_t eq = preset.find('=');
    if (eq == std::string::npos || eq == 0) throw UsageError("--var needs NAME=VALUE, got: " + preset);
    session.SetVariable(VariableName(preset.substr(0, eq)), preset.substr(eq + 1));
  }
  if (i >= args.size()) throw UsageError("exec needs an ACTION");
  const int id = ResolveAction(session, args[i++]);
  std::vector<OptionalText> params(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  PrintExecOutcome(session.Exec(id, params), out, "");
  return 0;
}

int Edit(HostSession& session, const std::vector<std::string>& args, size_t i, std::ostream& out) {
  if (i >= args.size()) throw UsageError("edit needs an ACTION");
  const int id = ResolveAction(session, args[i++]);
  std::vector<OptionalText> slots;
  while (i < args.size()) {
    if (args[i] == "--slot") {
      if (i + 1 >= args.size()) throw UsageError("--slot needs a TEXT");
      slots.emplace_back(args[i + 1]);
      i += 2;
    } else if (args[i].rfind("--slot=", 0) == 0) {
      slots.emplace_back(args[i].substr(7));
      ++i;
    } else {
      throw UsageError("unexpected argument: " + args[i]);
    }
  }
  const HostSession::EditOutcome outcome = session.Edit(id, slots);
  out << "result=" << (outcome.Result ? "true" : "false") << '\n';
  for (size_t k = 0; k < outcome.Slots.size(); ++k) {
    out << "slot" << k + 1 << '=' << EscapeValue(outcome.Slots[k].value_or("")) << '\n';
  }
  return 0;
}

int Run(HostSession& session, const std::vector<std::string>& args, size_t i, std::ostream& out) {
  bool trace = false;
  if (i < args.size() && args[i] == "--trace") {
    trace = true;
    ++i;
  }
  if (i + 1 != args.size()) throw UsageError("run needs exactly one SCRIPT");
  const std::string& path = args[i];
  std::ifstream file(path, std::ios::binary);
  if (!file) throw RunError("cannot read the script " + path);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

  int errorLine = 0;
  std::string error;
  const std::vector<ScriptCommand> commands = ParseScript(text, errorLine, error);
  auto fail = [&path](int line, const std::string& message) {
    return RunError(path + ":" + std::to_string(line) + ": " + message);
  };
  if (errorLine != 0) throw fail(errorLine, error);
  // Check every line before running any, so a bad script does nothing.
  for (const ScriptCommand& command : commands) {
    if (command.Name == "SetVar") {
      if (command.Params.size() != 2)
        throw fail(command.Line, "SetVar takes 2 parameters: \"[name]\" \"value\"");
      if (command.Params[0].empty() || command.Params[0] == "[]")
        throw fail(command.Line, "SetVar needs a name");
    } else if (command.Name == "Print") {
      if (command.Params.size() != 1) throw fail(command.Line, "Print takes 1 parameter");
    } else if (const RegisteredAction* action = session.FindAction(command.Name)) {
      if (command.Params.size() > static_cast<size_t>(std::max(action->ParamCount, 0))) {
        throw fail(command.Line, command.Name + " takes " + std::to_string(action->ParamCount) +
                                     " parameters, " + std::to_string(command.Params.size()) + " given");
      }
    } else {
      throw fail(command.Line, "unknown command or action: " + command.Name);
    }
  }
  for (const ScriptCommand& command : commands) {
    if (command.Name == "SetVar") {
      session.SetVariable(VariableName(command.Params[0]),
                          ExpandVariables(command.Params[1], session.Variables()));
    } else if (command.Name == "Print") {
      out << ExpandVariables(command.Params[0], session.Variables()) << '\n';
    } else {
      std::vector<OptionalText> params;
      for (const std::string& p : command.Params)
        params.emplace_back(ExpandVariables(p, session.Variables()));
      const HostSession::ExecOutcome outcome = session.Exec(session.FindAction(command.Name)->Id, params);
      if (trace) {
        out << "> line " << command.Line << ": " << command.Name << '\n';
        PrintExecOutcome(outcome, out, "> ");
      }
    }
  }
  return 0;
}

}  // namespace

int RunHost(const std::vector<std::string>& args, const std::string& defaultPlugIn, std::ostream& out,
            std::ostream& err) {
  try {
    std::string plugIn = defaultPlugIn;
    size_t i = 0;
    for (; i < args.size() && args[i].rfind("-", 0) == 0; ++i) {
      if (args[i] == "--help" || args[i] == "-h") {
        out << kUsage;
        return 0;
      }
      if (args[i] == "--plugin") {
        if (i + 1 >= args.size()) throw UsageError("--plugin needs a PATH");
        plugIn = args[++i];
      } else if (args[i].rfind("--plugin=", 0) == 0) {
        plugIn = args[i].substr(9);
      } else {
        throw UsageError("unknown option: " + args[i]);
      }
    }
    if (i >= args.size()) throw UsageError("no mode given");
    const std::string mode = args[i++];
    if (mode != "info" && mode != "exec" && mode != "run" && mode != "edit") {
      throw UsageError("unknown mode: " + mode);
    }

    std::string error;
    const std::unique_ptr<PlugInLibrary> library = PlugInLibrary::Open(plugIn, error);
    if (!library) throw RunError(error);
    HostSession session(library->Api());
    session.Start();
    if (mode == "info") return Info(session, args, i, out);
    if (mode == "exec") return Exec(session, args, i, out);
    if (mode == "edit") return Edit(session, args, i, out);
    return Run(session, args, i, out);
  } catch (const UsageError& e) {
    err << "vvhost: " << e.what() << '\n' << kUsage;
    return 2;
  } catch (const std::exception& e) {
    err << "vvhost: " << e.what() << '\n';
    return 1;
  }
}

std::string DefaultPlugInPath(const char* argv0) {
  std::string exe;
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n > 0) {
    exe.assign(buffer, static_cast<size_t>(n));
  } else if (argv0 != nullptr) {
    exe = argv0;
  }
  const size_t slash = exe.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : exe.substr(0, slash);
  return dir + "/libveVazevid.so";
}

}  // namespace vvhost

// Shows the password input box with the window backend and prints the answer
// as "<1 or 0> <text>"; driven by input_box_window_test.sh.
#include <cstdio>
#include <string>

#include "platform/Dialogs.h"

int main() {
  std::string value = "old";
  const bool ok = platform::Dialogs().InputQuery("Password for \"a.txt\"", "Enter password: ", value);
  std::printf("%d %s\n", ok ? 1 : 0, value.c_str());
  return 0;
}

// Starting the wizard's window: the check that a display is there, the
// application and its event loop.
#pragma once

#include <iosfwd>
#include <string>

namespace corvid {

// Whether the user-interface platform Qt would start here can work: a
// platform without a display server (offscreen, minimal, ...) chosen with
// QT_QPA_PLATFORM, or an X11 or Wayland server that accepts a connection.
// Qt ends the process when its platform cannot start, so this is asked
// before the application object is made. When false, Why says what is
// missing.
bool WizardDisplayAvailable(std::string& Why);

// Runs the wizard's window until it closes and returns the exit status.
// Without a usable display, writes the reason and the usage to Err and
// returns 2.
int RunWizardWindow(int Argc, char** Argv, std::ostream& Err);

}  // namespace corvid

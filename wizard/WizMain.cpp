// The window's start-up.
#include "corvid/wizard/WizMain.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <sstream>
#include <vector>

#include "corvid/wizard/CodeGenBatch.h"
#include "corvid/wizard/WizForm.h"

namespace corvid {

namespace {

std::string Env(const char* Name) {
  const char* v = std::getenv(Name);
  return v != nullptr ? v : "";
}

// Connects to a Unix socket by path, or in the abstract namespace when
// Abstract is set; true when a server accepts.
bool UnixSocketAnswers(const std::string& Path, bool Abstract) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::size_t offset = Abstract ? 1 : 0;
  if (Path.size() + offset >= sizeof(addr.sun_path)) return false;
  std::memcpy(addr.sun_path + offset, Path.data(), Path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + Path.size() +
                                          (Abstract ? 0 : 1));
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len) == 0;
  ::close(fd);
  return ok;
}

// Connects to Host:Port over TCP, waiting at most two seconds.
bool TcpAnswers(const std::string& Host, int Port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(Host.c_str(), std::to_string(Port).c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    const int fd =
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int err = 0;
      socklen_t errLen = sizeof(err);
      ok = ::poll(&p, 1, 2000) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) == 0 &&
           err == 0;
    }
    ::close(fd);
  }
  ::freeaddrinfo(found);
  return ok;
}

// DISPLAY is [host]:number[.screen]; without a host (or with "unix") the
// server listens on a local socket, otherwise on TCP port 6000 + number.
bool XServerAnswers(const std::string& Display) {
  const std::size_t colon = Display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = Display.substr(0, colon);
  std::string number = Display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  if (!host.empty() && host.front() == '/') return UnixSocketAnswers(Display, false);
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + number;
    return UnixSocketAnswers(path, true) || UnixSocketAnswers(path, false);
  }
  return TcpAnswers(host, 6000 + std::atoi(number.c_str()));
}

bool WaylandServerAnswers(const std::string& Name) {
  if (Name.empty()) return false;
  if (Name.front() == '/') return UnixSocketAnswers(Name, false);
  const std::string dir = Env("XDG_RUNTIME_DIR");
  return !dir.empty() && UnixSocketAnswers(dir + "/" + Name, false);
}

}  // namespace

bool WizardDisplayAvailable(std::string& Why) {
  const std::string display = Env("DISPLAY"), wayland = Env("WAYLAND_DISPLAY");
  const std::string platforms = Env("QT_QPA_PLATFORM");
  const auto x11 = [&] { return !display.empty() && XServerAnswers(display); };
  const auto way = [&] { return !wayland.empty() && WaylandServerAnswers(wayland); };

  if (platforms.empty()) {
    // Qt's own choice: Wayland in a Wayland session, X11 otherwise.
    if (x11() || (Env("XDG_SESSION_TYPE") == "wayland" && way())) return true;
    if (display.empty() && wayland.empty()) {
      Why = "DISPLAY and WAYLAND_DISPLAY are not set";
    } else {
      Why = "the display " + (display.empty() ? "$WAYLAND_DISPLAY " + wayland : display) +
            " does not answer";
    }
    return false;
  }
  // A list of platforms to try in turn, each with optional ":options".
  std::istringstream list(platforms);
  for (std::string entry; std::getline(list, entry, ';');) {
    const std::string name = entry.substr(0, entry.find(':'));
    if (name == "xcb") {
      if (x11()) return true;
    } else if (name.rfind("wayland", 0) == 0) {
      if (way()) return true;
    } else if (!name.empty()) {
      return true;  // needs no display server (offscreen, minimal, vnc, ...)
    }
  }
  Why = "the platform \"" + platforms + "\" has no display (DISPLAY " +
        (display.empty() ? "unset" : display) + ", WAYLAND_DISPLAY " +
        (wayland.empty() ? "unset" : wayland) + ")";
  return false;
}

int RunWizardWindow(int Argc, char** Argv, std::ostream& Err) {
  std::string why;
  if (!WizardDisplayAvailable(why)) {
    Err << "unitwright: cannot open the wizard's window: " << why
        << ".\nSet DISPLAY, or write a unit in batch mode with --model.\n\n"
        << UnitwrightUsage();
    return kExitBadInput;
  }
  QApplication app(Argc, Argv);
  QApplication::setApplicationName("unitwright");
  QApplication::setApplicationDisplayName(SWizardAppTitle);
  TWizardForm form;
  form.show();
  return QApplication::exec();
}

}  // namespace corvid

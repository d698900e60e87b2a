// Whether Qt can show windows here, asked before the process's application object is
// made: Qt ends the process (abort) when its platform cannot start, so a program that
// would rather fall back or say why asks this first.
#pragma once

#include <string>

namespace tbln::qt {

// Why no Qt application can start in this process's environment, in one line naming
// the platform Qt was to use and what Qt said; empty when one can.
//
// A child process (forked, nothing else run in it) makes the application object and
// reports: so the answer is Qt's own, with its choice of platform (QT_QPA_PLATFORM, a
// list of fallbacks, the session type, DISPLAY and WAYLAND_DISPLAY), its plugins and
// their libraries, and the server's answer to the connection. A child that does not
// answer within a minute (a server that takes the connection and never replies) is
// ended and reported.
std::string DisplayProblem();

}  // namespace tbln::qt

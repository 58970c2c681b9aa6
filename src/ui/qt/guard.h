// Every call from a Qt event into the program's logic goes through here: an
// exception must not unwind through the event loop, which would end the
// program with the user's week half written.
#pragma once

#include <functional>
#include <string>

namespace uiqt {

// Runs `f`; an exception is reported (a message box unless a reporter is set).
// False when one was caught.
bool guarded(const std::function<void()>& f);
// Tests record the errors instead of answering a message box.
void setGuardReporter(std::function<void(const std::string&)> reporter);

}  // namespace uiqt

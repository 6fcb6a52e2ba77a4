#pragma once
// The application's central exception handler. Exceptions that leave a
// handler of the event loop (a timer, a button), an error while opening a
// port after loading, and an exception from a notification message are all
// handed here. The program installs the handler that shows its error box;
// until then (and in tests that install none) one line goes to the
// diagnostic stream.

#include <exception>
#include <functional>

// source: the object the exception came from (a component), or null.
using TExceptionHandler = std::function<void(const std::exception& E, const void* Source)>;

// Hands E to the installed handler. Never throws: an exception that leaves
// the handler itself is reported on the diagnostic stream.
void HandleException(const std::exception& E, const void* Source = nullptr);

// Inside a catch block: hands the exception being handled to
// HandleException; one that is not a std::exception is described as
// "Unknown exception".
void HandleCurrentException(const void* Source = nullptr);

// Installs the handler; an empty function restores the default. Returns the
// handler that was installed before, so a test can put it back.
TExceptionHandler SetExceptionHandler(TExceptionHandler Handler);

// Where every unexpected exception of Setup ends: the error report, which
// writes the report, shows it and ends the process. The program routes it
// to the diagnostics' report; tests route it to a recorder.
#pragma once

#include <exception>
#include <functional>
#include <string>

// errorType names the stage ("Setup Thread", "Verification Stage"; empty
// elsewhere).
using TErrorReportRoute = std::function<void(const std::string& errorText, const std::string& errorType)>;

void SetErrorReportRoute(TErrorReportRoute route);

// Hands the error to the route. Without a route the process ends at once
// with exit code 1; a route that returns (a test's) returns here too.
void ReportUnexpectedError(const std::string& errorText, const std::string& errorType);

// The message of an exception caught as std::exception, or a fixed text for
// anything else, so that no failure leaves a thread or handler silently.
std::string ExceptionText(const std::exception_ptr& error);

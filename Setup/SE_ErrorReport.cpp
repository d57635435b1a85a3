#include "Setup/SE_ErrorReport.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

namespace {

TErrorReportRoute& Route() {
  static TErrorReportRoute route;
  return route;
}

}  // namespace

void SetErrorReportRoute(TErrorReportRoute route) { Route() = std::move(route); }

void ReportUnexpectedError(const std::string& errorText, const std::string& errorType) {
  if (Route()) return Route()(errorText, errorType);
  std::fprintf(stderr, "%s: %s\n", errorType.c_str(), errorText.c_str());
  std::_Exit(1);
}

std::string ExceptionText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown Error";
  }
}

// Host stand-in: a native process has no Windows console, so the packer
// always runs in its plain-lines mode here.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Console.h"
#include "platform/Text.h"

namespace platform {

ConsoleScreen::ConsoleScreen() = default;
ConsoleScreen::~ConsoleScreen() = default;
bool ConsoleScreen::Setup(int16_t&, int16_t&) { return false; }
bool ConsoleScreen::Write(const ConsoleCell*, int16_t, int16_t, const ConsoleRect&) { return false; }
bool ConsoleScreen::KeyPressed() { return false; }
void ConsoleScreen::Restore() {}
void ConsoleScreen::SetTitle(const std::string&) {}

void WriteErrorLine(const std::u16string& text) { WriteErrorLine(WideToAnsi(text)); }

std::string SystemErrorText() { return std::strerror(errno); }

void PumpMessages() {}

}  // namespace platform

// The fixed secrets built into the programs and the digit-key scrambling
// that uses them. Stored files depend on every digit here: uninstall logs
// written by an installer are read back by its uninstaller, and compiled
// scripts carry passwords scrambled by the compiler for the installer.
// These values were chosen once and must never change.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// Key A scrambles every string of the uninstall log.
constexpr std::string_view kDigitKeyA =
    "9542555034910654912103503446637956309454633826060586516750199"
    "2045380580335586082144097499213557760143279622490807516561405"
    "3235269159564190697844368214483266536703015925953876809098172"
    "9008406430742246029105241857554532695294075613664442787795589";

// Key B scrambles the password parameter of the archive-update commands in
// the compiled script.
constexpr std::string_view kDigitKeyB =
    "4091102086046928441201701523975921741678858717757819979053745"
    "5885227783756237224032809970701343067145871323186459836591285"
    "2815423751807837523463202687496510079068808605066007073053902"
    "5037406095569113610867705461441980125382551567115066475320885";

// The code that lets a script mark a game archive official. It is compared
// with the script's code lower-cased, so it is lower case itself.
constexpr std::string_view kOfficialAccessCode = "04nkth1";

// A key that is empty or holds anything but the digits 0 to 9.
class EDigitKey : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Adds (encode) or subtracts (decode) the key's digit values to the text's
// bytes modulo 256, the key restarting at its first digit for every call and
// wrapping after its last. The result has as many bytes as the text, any of
// them possibly 0, so it is stored with a length, never zero-terminated.
// Both raise EDigitKey for a bad key.
std::string DigitKeyEncode(std::string_view key, std::string_view text);
std::string DigitKeyDecode(std::string_view key, std::string_view text);

namespace digit_key_detail {
constexpr bool AllDigits(std::string_view key) {
  if (key.empty()) return false;
  for (char c : key)
    if (c < '0' || c > '9') return false;
  return true;
}
}  // namespace digit_key_detail

static_assert(kDigitKeyA.size() == 244 && digit_key_detail::AllDigits(kDigitKeyA));
static_assert(kDigitKeyB.size() == 244 && digit_key_detail::AllDigits(kDigitKeyB));
static_assert(kOfficialAccessCode.size() == 7);

// Colour values of the windowing layer: $00BBGGRR for a red, green, blue
// colour, or a system colour code (top bit set, the system colour index in
// the low byte) that follows the user's colour scheme.
#pragma once

#include <cstdint>

namespace gui {

using TColor = int32_t;

constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) { return static_cast<TColor>(r | (g << 8) | (b << 16)); }
constexpr uint8_t RedOf(uint32_t rgb) { return static_cast<uint8_t>(rgb); }
constexpr uint8_t GreenOf(uint32_t rgb) { return static_cast<uint8_t>(rgb >> 8); }
constexpr uint8_t BlueOf(uint32_t rgb) { return static_cast<uint8_t>(rgb >> 16); }

constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index)); }
constexpr bool IsSystemColor(TColor c) { return c < 0; }

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clNone = 0x1FFFFFFF;  // "no colour": nothing is painted
// System colour indexes, as the windowing system numbers them.
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnHighlight = SystemColor(20);

// The colour as $00BBGGRR; a system colour code is resolved through the
// current colour scheme.
uint32_t ColorToRGB(TColor color);

}  // namespace gui

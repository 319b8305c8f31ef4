#pragma once
#include <cstdint>

// A color is 0x00BBGGRR: red in the low byte.
using TColor = uint32_t;

inline constexpr uint8_t GetRValue(TColor C) { return uint8_t(C); }
inline constexpr uint8_t GetGValue(TColor C) { return uint8_t(C >> 8); }
inline constexpr uint8_t GetBValue(TColor C) { return uint8_t(C >> 16); }

inline constexpr void SplitColor(TColor C, int& R, int& G, int& B) {
  R = C & 0xFF;
  G = (C >> 8) & 0xFF;
  B = (C >> 16) & 0xFF;
}

inline constexpr TColor RGBColor(uint8_t R, uint8_t G, uint8_t B) {
  return TColor(R) | (TColor(G) << 8) | (TColor(B) << 16);
}

inline constexpr uint8_t ClampByte(int V) { return uint8_t(V < 0 ? 0 : V > 255 ? 255 : V); }

inline constexpr TColor RGBClamped(int R, int G, int B) { return RGBColor(ClampByte(R), ClampByte(G), ClampByte(B)); }

// Gray level of a color with the weights used everywhere in the program.
inline constexpr int Luminance(TColor C) {
  return (int(GetRValue(C)) * 307 + int(GetGValue(C)) * 604 + int(GetBValue(C)) * 113) >> 10;
}
inline constexpr int Luminance(int R, int G, int B) { return (R * 307 + G * 604 + B * 113) >> 10; }

// Alpha 0 gives B, alpha 255 gives A.
inline constexpr int BlendValue(int A, int B, int Alpha) { return A * Alpha / 255 + (255 - Alpha) * B / 255; }
inline constexpr TColor Blend(TColor A, TColor B, int Alpha) {
  return RGBColor(uint8_t(BlendValue(GetRValue(A), GetRValue(B), Alpha)),
                  uint8_t(BlendValue(GetGValue(A), GetGValue(B), Alpha)),
                  uint8_t(BlendValue(GetBValue(A), GetBValue(B), Alpha)));
}

inline constexpr TColor SwapRB(TColor C) { return (C & 0xFF00FF00u) | ((C & 0xFF) << 16) | ((C >> 16) & 0xFF); }

inline constexpr TColor ColorFromRGBBytes(const uint8_t* P) { return RGBColor(P[0], P[1], P[2]); }
inline constexpr TColor ColorFromBGRBytes(const uint8_t* P) { return RGBColor(P[2], P[1], P[0]); }
inline constexpr void ColorToRGBBytes(TColor C, uint8_t* P) {
  P[0] = GetRValue(C);
  P[1] = GetGValue(C);
  P[2] = GetBValue(C);
}
inline constexpr void ColorToBGRBytes(TColor C, uint8_t* P) {
  P[0] = GetBValue(C);
  P[1] = GetGValue(C);
  P[2] = GetRValue(C);
}

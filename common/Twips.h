#pragma once
// The windows are designed in twips (1/1440 inch): 15 to a pixel at 96 DPI.
inline constexpr int kTwipsPerPixel = 15;

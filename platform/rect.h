#pragma once

// Points and rectangles of the picture framework. Apart from the rest of it so that window code
// that includes windows.h, which names much of the framework's GDI subset too, can use them.

#include <cstdint>

struct TPoint {
  std::int32_t X = 0;
  std::int32_t Y = 0;
};

struct TRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
};
inline TRect Rect(std::int32_t Left, std::int32_t Top, std::int32_t Right, std::int32_t Bottom) {
  return TRect{Left, Top, Right, Bottom};
}
inline bool operator==(const TRect& A, const TRect& B) {
  return A.Left == B.Left && A.Top == B.Top && A.Right == B.Right && A.Bottom == B.Bottom;
}

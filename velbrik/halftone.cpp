#include "decoder.h"

#include <cstring>

extern "C" {
void DIBHalftoneDIB(TDib* dest, TDib) { if (dest) std::memset(dest, 0, sizeof *dest); }
void DIBHalftoneDIBXY(TDib* dest, TDib, int32_t, int32_t) { if (dest) std::memset(dest, 0, sizeof *dest); }
}

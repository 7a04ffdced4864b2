// Graphics engine pitches and the frame-buffer size.
#include "hwge/hwge.h"

#include "reghost/reghost.h"

namespace {

// Chipset configuration register holding the display memory in 128 KB units.
constexpr UCHAR CONFIG_FRAMEBUFFER_SIZE = 0x36;
constexpr UCHAR FRAMEBUFFER_UNITS_MASK = 0x3F;
constexpr ULONG FRAMEBUFFER_UNIT_SHIFT = 17;

constexpr ULONG NOT_USED = 0xFFFFFFFF;

}  // namespace

extern "C" {

// Terms of the engine's 11-bit pitch code, indexed by field value. The three
// low fields select 2^(n+4) bytes, the top field 2^(n+9); NOT_USED marks a
// field value the engine does not decode.
constexpr ULONG HWGE_Shift0[8] = {0, NOT_USED, NOT_USED, 128, 256, 512, 1024, 2048};
constexpr ULONG HWGE_Shift1[7] = {0, NOT_USED, 64, 128, 256, 512, 1024};
constexpr ULONG HWGE_Shift2[6] = {0, 32, 64, 128, 256, 512};
constexpr ULONG HWGE_Shift3[4] = {0, 1024, 2048, 4096};

// Every pitch that has a code: the distinct sums of one term of each field,
// ascending.
constexpr ULONG HWGE_pulPitchTable[HWGE_PITCH_COUNT] = {
    0,    32,   64,   96,   128,  160,  192,  224,  256,  288,  320,  352,  384,  416,  448,  512,
    544,  576,  608,  640,  672,  704,  768,  800,  832,  896,  1024, 1056, 1088, 1120, 1152, 1184,
    1216, 1248, 1280, 1312, 1344, 1376, 1408, 1440, 1472, 1536, 1568, 1600, 1632, 1664, 1696, 1728,
    1792, 1824, 1856, 1920, 2048, 2080, 2112, 2144, 2176, 2208, 2240, 2272, 2304, 2336, 2368, 2400,
    2432, 2464, 2496, 2560, 2592, 2624, 2656, 2688, 2720, 2752, 2816, 2848, 2880, 2944, 3072, 3104,
    3136, 3168, 3200, 3232, 3264, 3328, 3360, 3392, 3456, 3584, 3616, 3648, 3712, 3840, 4096, 4128,
    4160, 4192, 4224, 4256, 4288, 4320, 4352, 4384, 4416, 4448, 4480, 4512, 4544, 4608, 4640, 4672,
    4704, 4736, 4768, 4800, 4864, 4896, 4928, 4992, 5120, 5152, 5184, 5216, 5248, 5280, 5312, 5376,
    5408, 5440, 5504, 5632, 5664, 5696, 5760, 5888, 6144, 6176, 6208, 6240, 6272, 6304, 6336, 6400,
    6432, 6464, 6528, 6656, 6688, 6720, 6784, 6912, 7168, 7200, 7232, 7296, 7424, 7680,
};

ULONG HWFRAMEBUF_GetFrameBufferSize() {
  const UCHAR ucUnits =
      REGHOST_IndexedIORead8(REGHOST_GetVirtual(REGHOST_ROW_CONFIG), CONFIG_FRAMEBUFFER_SIZE);
  return static_cast<ULONG>(ucUnits & FRAMEBUFFER_UNITS_MASK) << FRAMEBUFFER_UNIT_SHIFT;
}

ULONG HWGE_GetNearestPitch(ULONG ulPitch) {
  // The first entry at least ulPitch, found by halving the ascending table (every
  // mode of every list asks, so a walk from the start was most of a list's cost).
  // The widest pitch is the answer for anything the table cannot hold.
  ULONG ulLow = 0;
  ULONG ulHigh = HWGE_PITCH_COUNT - 1;  // the answer lies in [ulLow, ulHigh]
  while (ulLow < ulHigh) {
    const ULONG ulMiddle = ulLow + ((ulHigh - ulLow) >> 1);
    if (HWGE_pulPitchTable[ulMiddle] >= ulPitch) {
      ulHigh = ulMiddle;
    } else {
      ulLow = ulMiddle + 1;
    }
  }
  return HWGE_pulPitchTable[ulLow];
}

}  // extern "C"

namespace {
consteval bool PitchTableAscends() {
  for (ULONG i = 1; i < HWGE_PITCH_COUNT; ++i) {
    if (HWGE_pulPitchTable[i] <= HWGE_pulPitchTable[i - 1]) return false;
  }
  return HWGE_pulPitchTable[HWGE_PITCH_COUNT - 1] == 7680;
}
static_assert(PitchTableAscends(), "every entry filled, strictly ascending, up to 7680");
}  // namespace

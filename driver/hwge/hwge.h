// Graphics engine pitches and the frame-buffer size.
#pragma once
#include "orva_port.h"

// Flat C-linkage modules: the same symbol names in the host module and orva.sys.
extern "C" {

constexpr ULONG HWGE_PITCH_COUNT = 158;

extern const ULONG HWGE_Shift0[8];
extern const ULONG HWGE_Shift1[7];
extern const ULONG HWGE_Shift2[6];
extern const ULONG HWGE_Shift3[4];
extern const ULONG HWGE_pulPitchTable[HWGE_PITCH_COUNT];

ULONG HWFRAMEBUF_GetFrameBufferSize();
ULONG HWGE_GetNearestPitch(ULONG ulPitch);

}  // extern "C"

// The 64 x 64 two-plane hardware cursor.
#pragma once
#include "orva_port.h"

// Flat C-linkage modules: the same symbol names in the host module and orva.sys.
extern "C" {

constexpr ULONG HWCURSOR_POSITION_REGISTER = 0x11C;  // in the graphics-engine window
constexpr ULONG HWCURSOR_HIDDEN = 0xFFFFFFFF;

extern LONG HWCURSOR_lCurrentX;
extern LONG HWCURSOR_lCurrentY;
extern ULONG HWCURSOR_ulIsHide;
extern ULONG HWCURSOR_ulCurrentMask;
extern ULONG HWCURSOR_ulCurrentHeight;
extern ULONG HWCURSOR_ulShiftedMask1;
extern ULONG HWCURSOR_ulShiftedMask2;
extern ULONG HWCURSOR_ulSwitch;
extern ULONG HWCURSOR_ulShifted;
extern ULONG HWCURSOR_ulScreenWidth;
extern ULONG HWCURSOR_ulOffsetX;
extern ULONG HWCURSOR_ulOffsetY;

void HWCURSOR_Init(ULONG ulShiftedMask1, ULONG ulShiftedMask2);
void HWCURSOR_NotifyGraphicsModeChange();
void HWCURSOR_Enable();
void HWCURSOR_Disable();
void HWCURSOR_HideCursor();
void HWCURSOR_ChangeCursorPos(ULONG ulX, ULONG ulY);
void HWCURSOR_EnhancedChangeCursorPos(LONG lX, LONG lY);
void HWCURSOR_ChangeCursor(ULONG ulOffset, ULONG ulHeight);
void HWCURSOR_ChangeColor(ULONG ulColor0, ULONG ulColor1);
void HWCURSOR_ShiftMask(const UCHAR* pucSource, UCHAR* pucDestination, ULONG ulHeight,
                        ULONG ulShiftX, ULONG ulShiftY);

}  // extern "C"

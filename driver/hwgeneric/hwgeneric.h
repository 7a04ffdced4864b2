// Chip identification and the keyword table.
#pragma once
#include "orva_port.h"

// Flat C-linkage modules: the same symbol names in the host module and orva.sys.
extern "C" {

struct HWGENERIC_KEYWORD {
  const char* pszKeyword;  // null in the end row
  ULONG ulValue;
  ULONG ulHardwareMask;
  ULONG ulType;
  const char* pszDescription;
};

constexpr ULONG HWGENERIC_TYPE_BOARD = 1;
constexpr ULONG HWGENERIC_TYPE_CHIP = 2;
constexpr ULONG HWGENERIC_TYPE_FEATURE = 4;
constexpr ULONG HWGENERIC_TYPE_OUTPUT = 8;
constexpr ULONG HWGENERIC_TYPE_TVSTANDARD = 16;

// Hardware-ID bits, one per chip variant.
constexpr ULONG HWGENERIC_ID_PINTO = 0x01;
constexpr ULONG HWGENERIC_ID_BRAMBLE = 0x02;
constexpr ULONG HWGENERIC_ID_BRAMBLE_L = 0x04;
constexpr ULONG HWGENERIC_ID_MISTRAL = 0x08;
constexpr ULONG HWGENERIC_ID_BRAMBLE_R = 0x20;
constexpr ULONG HWGENERIC_ID_KESTREL = 0x40;
constexpr ULONG HWGENERIC_ID_BRAMBLE_RX = 0x80;
constexpr ULONG HWGENERIC_ID_UNIDENTIFIED = 0xFFFFFFFF;

extern const HWGENERIC_KEYWORD HWGENERIC_psKeywordList[];
extern ULONG HWGENERIC_ulHardwareID;
extern ULONG HWGENERIC_ulCurrentType;
extern ULONG HWGENERIC_ulCurrentEntry;

ULONG HWGENERIC_GetHardwareID();
ULONG HWGENERIC_CompareKeyword(const char* pszLookedUp, const char* pszTable);
LONG HWGENERIC_GetFirstEntry(ULONG ulType);
LONG HWGENERIC_GetNextEntry();
LONG HWGENERIC_GetEntryFromKeyword(const char* pszKeyword);

}  // extern "C"

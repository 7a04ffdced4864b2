// Chip identification and the keyword table.
#include "hwgeneric/hwgeneric.h"

#include "reghost/reghost.h"

namespace {

// PCI configuration addresses (mechanism #1) of register 0 of the functions
// that tell the variants apart: bus 0, device 11 and device 12.
constexpr ULONG PCI_DEVICE11_ID = 0x80005800;
constexpr ULONG PCI_DEVICE12_ID = 0x80006000;
constexpr ULONG PCI_DEVICE12_FUNCTION1_ID = 0x80006100;

// Device-ID signatures: device 11 in bits 16-31, device 12 in bits 0-15.
constexpr ULONG SIGNATURE_PINTO = 0x056455CC;
constexpr ULONG SIGNATURE_BRAMBLE_OR_MISTRAL = 0x02090209;
constexpr ULONG SIGNATURE_BRAMBLE_L = 0x020A021A;
constexpr ULONG SIGNATURE_BRAMBLE_R_OR_RX = 0x020A021B;
constexpr ULONG SIGNATURE_KESTREL = 0x020A0210;

constexpr ULONG BRAMBLE_FUNCTION1_ID = 0x0209104A;

// Extended CRTC register present (and writable) on the RX part only.
constexpr UCHAR CRTC_RX_PROBE = 0x81;
constexpr UCHAR CRTC_RX_PROBE_VALUE = 0x10;

constexpr UCHAR CASE_BIT = 0x20;

ULONG IdentifyBrambleR() {
  const ULONG_PTR ulCrtc = REGHOST_GetVirtual(REGHOST_ROW_CRTC);
  if (REGHOST_IndexedIORead8(ulCrtc, CRTC_RX_PROBE) != 0) {
    return HWGENERIC_ID_BRAMBLE_RX;
  }
  REGHOST_IndexedIOWrite8(ulCrtc, CRTC_RX_PROBE, CRTC_RX_PROBE_VALUE);
  if (REGHOST_IndexedIORead8(ulCrtc, CRTC_RX_PROBE) != 0) {
    REGHOST_IndexedIOWrite8(ulCrtc, CRTC_RX_PROBE, 0x00);
    return HWGENERIC_ID_BRAMBLE_RX;
  }
  return HWGENERIC_ID_BRAMBLE_R;
}

ULONG Identify() {
  const ULONG_PTR ulPci = REGHOST_GetVirtual(REGHOST_ROW_PCI);
  const ULONG ulDevice11 = REGHOST_IndexedIORead32(ulPci, PCI_DEVICE11_ID);
  const ULONG ulDevice12 = REGHOST_IndexedIORead32(ulPci, PCI_DEVICE12_ID);
  const ULONG ulSignature = (ulDevice11 & 0xFFFF0000) | (ulDevice12 >> 16);

  switch (ulSignature) {
    case SIGNATURE_BRAMBLE_OR_MISTRAL:
      return REGHOST_IndexedIORead32(ulPci, PCI_DEVICE12_FUNCTION1_ID) == BRAMBLE_FUNCTION1_ID
                 ? HWGENERIC_ID_BRAMBLE
                 : HWGENERIC_ID_MISTRAL;
    case SIGNATURE_KESTREL:
      return HWGENERIC_ID_KESTREL;
    case SIGNATURE_BRAMBLE_L:
      return HWGENERIC_ID_BRAMBLE_L;
    case SIGNATURE_BRAMBLE_R_OR_RX:
      return IdentifyBrambleR();
    case SIGNATURE_PINTO:
      return HWGENERIC_ID_PINTO;
    default:
      return 0;
  }
}

}  // namespace

extern "C" {

constinit ULONG HWGENERIC_ulHardwareID = HWGENERIC_ID_UNIDENTIFIED;
constinit ULONG HWGENERIC_ulCurrentType = 0;
constinit ULONG HWGENERIC_ulCurrentEntry = 0;

// Outputs, boards, chip names, features and TV standards. Look-up and
// iteration return the first match, so the order is part of the data.
constexpr HWGENERIC_KEYWORD HWGENERIC_psKeywordList[] = {
    {"MONITOR", 0x00010001, 0xFF, HWGENERIC_TYPE_OUTPUT,
     "SVGA Monitor 640x480, 800x600 or 1024x768"},
    {"100HZPAL", 0x00020001, 0xFF, HWGENERIC_TYPE_OUTPUT, "TV 100Hz PAL 720x576 connected on VGA"},
    {"VGANTSC", 0x00030001, 0xFF, HWGENERIC_TYPE_OUTPUT,
     "NTSC TFT 480x234 or 400x234 connected on VGA"},
    {"TVPAL", 0x00010002, 0xFF, HWGENERIC_TYPE_OUTPUT, "TV output PAL 640x480"},
    {"TVNTSC", 0x00020002, 0xA7, HWGENERIC_TYPE_OUTPUT, "TV output NTSC 640x430"},
    {"TVNTSC269", 0x00030002, 0xA7, HWGENERIC_TYPE_OUTPUT,
     "TV output NTSC 640x430 with 26.937MHz clock"},
    {"TVNTSCINTERNAL", 0x00040002, 0xA7, HWGENERIC_TYPE_OUTPUT,
     "TV output NTSC 640x430 with internal clock"},
    {"TVPALSVHS", 0x01010002, 0xFF, HWGENERIC_TYPE_OUTPUT, "TV output PAL 640x480"},
    {"TVNTSCSVHS", 0x01020002, 0xA7, HWGENERIC_TYPE_OUTPUT, "TV output NTSC 640x430"},
    {"TVNTSC269SVHS", 0x01030002, 0xA7, HWGENERIC_TYPE_OUTPUT,
     "TV output NTSC 640x430 with 26.937MHz clock"},
    {"TFTPHILIPSHLD1201", 0x00010003, 0x58, HWGENERIC_TYPE_OUTPUT, "TFT Philips HLD1201 800x600"},
    {"TFTLGPHILIPSLM151X2", 0x00020003, 0x58, HWGENERIC_TYPE_OUTPUT,
     "TFT LG-Philips LM151x2 1024x768"},
    {"WREN", 0x01, 0x01, HWGENERIC_TYPE_BOARD, "Wren board"},
    {"MOOSE", 0x02, 0x02, HWGENERIC_TYPE_BOARD, "Moose board"},
    {"EGRET", 0x04, 0x04, HWGENERIC_TYPE_BOARD, "Egret board"},
    {"BISON", 0x08, 0x08, HWGENERIC_TYPE_BOARD, "Bison board"},
    {"HERON", 0x10, 0x10, HWGENERIC_TYPE_BOARD, "Heron board"},
    {"OTTER", 0x20, 0x20, HWGENERIC_TYPE_BOARD, "Otter board"},
    {"LYNX", 0x40, 0x40, HWGENERIC_TYPE_BOARD, "Lynx board"},
    {"", 0, 0x01, HWGENERIC_TYPE_CHIP, "ORVA Pinto"},
    {"", 0, 0x02, HWGENERIC_TYPE_CHIP, "ORVA Bramble"},
    {"", 0, 0x04, HWGENERIC_TYPE_CHIP, "ORVA Bramble-L"},
    {"", 0, 0x20, HWGENERIC_TYPE_CHIP, "ORVA Bramble-R"},
    {"", 0, 0x80, HWGENERIC_TYPE_CHIP, "ORVA Bramble-RX"},
    {"", 0, 0x18, HWGENERIC_TYPE_CHIP, "ORVA Mistral"},
    {"", 0, 0x40, HWGENERIC_TYPE_CHIP, "ORVA Kestrel"},
    {"", 0, 0x1B, HWGENERIC_TYPE_FEATURE, "EDO controller"},
    {"", 0, 0xE4, HWGENERIC_TYPE_FEATURE, "SDRAM controller"},
    {"", 0, 0xFF, HWGENERIC_TYPE_FEATURE, "SVGA controller"},
    {"", 0, 0x58, HWGENERIC_TYPE_FEATURE, "TFT interface"},
    {"", 0, 0x02, HWGENERIC_TYPE_FEATURE, "TV encoder accessible via I/O"},
    {"", 0, 0xA4, HWGENERIC_TYPE_FEATURE, "TV encoder accessible via memory"},
    {"", 0, 0x01, HWGENERIC_TYPE_FEATURE, "TV encoder accessible via i2c"},
    {"", 0, 0xFF, HWGENERIC_TYPE_FEATURE, "2D graphics accelerator"},
    {"", 0, 0x40, HWGENERIC_TYPE_FEATURE, "Alpha Font Engine"},
    {"", 0, 0x40, HWGENERIC_TYPE_FEATURE, "Line drawing Engine"},
    {"", 0, 0xFF, HWGENERIC_TYPE_FEATURE, "Hardware cursor"},
    {"", 0, 0xFF, HWGENERIC_TYPE_FEATURE, "Video overlay"},
    {"", 0, 0xFF, HWGENERIC_TYPE_FEATURE, "Video Input Port"},
    {"", 0, 0x02, HWGENERIC_TYPE_FEATURE, "SAA encoder on SMC GPIO"},
    {"", 0, 0xE4, HWGENERIC_TYPE_FEATURE, "SAA encoder on DDC"},
    {"", 0, 0x1F, HWGENERIC_TYPE_FEATURE, "Rondo PLLs"},
    {"", 0, 0x00, HWGENERIC_TYPE_FEATURE, "Tessel legacy PLLs"},
    {"", 0, 0xE0, HWGENERIC_TYPE_FEATURE, "Tessel new PLLs"},
    {"", 0, 0x80, HWGENERIC_TYPE_FEATURE, "NTSC format with 27MHz oscillator"},
    {"PAL", 0x00030001, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "PAL"},
    {"PALBGHI", 0x00040001, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "PAL BGHI"},
    {"NTSC", 0x00000001, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "NTSC"},
    {"NTSCM", 0x00010001, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "NTSC M"},
    {"NTSCJAPAN", 0x00000001, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "NTSC Japan"},
    {"PAL443", 0x00030011, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "PAL 443"},
    {"PALM", 0x00030031, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "PAL M"},
    {"NTSCN", 0x00000031, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "NTSC N"},
    {"PALN", 0x00030041, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "PAL N"},
    {"SECAM", 0x00020051, 0xFFFFFFFF, HWGENERIC_TYPE_TVSTANDARD, "SECAM"},
    {nullptr, 0, 0, 0, nullptr},
};

ULONG HWGENERIC_GetHardwareID() {
  if (HWGENERIC_ulHardwareID == HWGENERIC_ID_UNIDENTIFIED) {
    HWGENERIC_ulHardwareID = Identify();
  }
  return HWGENERIC_ulHardwareID;
}

ULONG HWGENERIC_CompareKeyword(const char* pszLookedUp, const char* pszTable) {
  // Bit 5 folds letter case; the table holds capitals and digits only.
  for (ULONG i = 0;; ++i) {
    const UCHAR ucLookedUp = static_cast<UCHAR>(pszLookedUp[i]);
    const UCHAR ucTable = static_cast<UCHAR>(pszTable[i]);
    if (ucLookedUp == 0 || ucTable == 0) {
      return (ucLookedUp == 0 && ucTable == 0) ? 1 : 0;
    }
    if ((ucLookedUp | CASE_BIT) != (ucTable | CASE_BIT)) {
      return 0;
    }
  }
}

LONG HWGENERIC_GetFirstEntry(ULONG ulType) {
  HWGENERIC_ulCurrentEntry = 0;
  HWGENERIC_ulCurrentType = ulType;
  return HWGENERIC_GetNextEntry();
}

LONG HWGENERIC_GetNextEntry() {
  const ULONG ulHardwareID = HWGENERIC_GetHardwareID();
  while (HWGENERIC_psKeywordList[HWGENERIC_ulCurrentEntry].pszKeyword != nullptr) {
    const HWGENERIC_KEYWORD& sRow = HWGENERIC_psKeywordList[HWGENERIC_ulCurrentEntry];
    if (sRow.ulType == HWGENERIC_ulCurrentType && (sRow.ulHardwareMask & ulHardwareID) != 0) {
      return static_cast<LONG>(HWGENERIC_ulCurrentEntry++);
    }
    ++HWGENERIC_ulCurrentEntry;
  }
  return -1;
}

LONG HWGENERIC_GetEntryFromKeyword(const char* pszKeyword) {
  for (ULONG i = 0; HWGENERIC_psKeywordList[i].pszKeyword != nullptr; ++i) {
    if (HWGENERIC_CompareKeyword(pszKeyword, HWGENERIC_psKeywordList[i].pszKeyword)) {
      return static_cast<LONG>(i);
    }
  }
  return -1;
}

}  // extern "C"

static_assert(sizeof(HWGENERIC_psKeywordList) / sizeof(HWGENERIC_KEYWORD) == 56,
              "55 rows and the end row");
#if defined(ORVA_TARGET) && !defined(_WIN64)
static_assert(sizeof(HWGENERIC_KEYWORD) == 20, "five 32-bit fields on the 32-bit target");
#endif

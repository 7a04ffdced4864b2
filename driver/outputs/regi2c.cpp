// Write-only I2C master driven entirely by software, one line level at a time.
//
// The bus operations never touch the hardware themselves: every level change
// goes through a line function. The only line function of the driver drives the
// two lines through general-purpose I/O bits of chipset configuration register
// 0x7B. The acknowledge slot is clocked but never read, and SCL is never read
// back, so a silent device or a stretched clock goes unnoticed.
#include "outputs/regi2c.h"

#include "reghost/reghost.h"

namespace {

constexpr UCHAR CONFIG_GPIO = 0x7B;
constexpr UCHAR GPIO_SDA = 0x04;  // bit 2: data line
constexpr UCHAR GPIO_SCL = 0x08;  // bit 3: clock line

constexpr LONG WAIT_STEPS = 100;

}  // namespace

// Delay counter of the bus wait. Volatile, so that every step of the loop
// reads and writes it in memory and the loop is never optimised away.
static volatile LONG i;

extern "C" {

// One bus delay: a busy count with no timer, its length set by the processor.
void REGI2C_Wait() {
  i = 0;
  while (i < WAIT_STEPS) {
    i = i + 1;
  }
}

void REGI2C_GPIOFunction(ULONG ulAction) {
  UCHAR ucSet = 0;
  UCHAR ucClear = 0;
  switch (ulAction) {
    case REGI2C_SDA_HIGH:
      ucSet = GPIO_SDA;
      break;
    case REGI2C_SDA_LOW:
      ucClear = GPIO_SDA;
      break;
    case REGI2C_SCL_HIGH:
      ucSet = GPIO_SCL;
      break;
    case REGI2C_SCL_LOW:
      ucClear = GPIO_SCL;
      break;
    default:
      // The transfer marker and unknown actions leave the lines alone.
      return;
  }

  // One read-modify-write of the whole register: its other bits keep their values.
  const ULONG_PTR ulConfig = REGHOST_GetVirtual(REGHOST_ROW_CONFIG);
  const UCHAR ucValue = REGHOST_IndexedIORead8(ulConfig, CONFIG_GPIO);
  REGHOST_IndexedIOWrite8(ulConfig, CONFIG_GPIO, static_cast<UCHAR>((ucValue & ~ucClear) | ucSet));
}

// Both lines high on entry; SDA falls while SCL is high. Ends with both low.
void REGI2C_Start(REGI2C_LINE_FUNCTION pfctLine) {
  REGI2C_Wait();
  REGI2C_Wait();
  pfctLine(REGI2C_SDA_LOW);
  REGI2C_Wait();
  pfctLine(REGI2C_SCL_LOW);
}

// The ninth clock of a byte, in which the receiver acknowledges; the data
// line is not read. SDA is driven low before SCL falls, so the bus ends with
// both lines low, ready for the next byte or the STOP.
void REGI2C_ReStart(REGI2C_LINE_FUNCTION pfctLine) {
  REGI2C_Wait();
  pfctLine(REGI2C_SDA_HIGH);
  REGI2C_Wait();
  pfctLine(REGI2C_SCL_HIGH);
  REGI2C_Wait();
  REGI2C_Wait();
  REGI2C_Wait();
  pfctLine(REGI2C_SDA_LOW);
  REGI2C_Wait();
  pfctLine(REGI2C_SCL_LOW);
}

// SDA rises while SCL is high; the bus is left idle with both lines high.
void REGI2C_Stop(REGI2C_LINE_FUNCTION pfctLine) {
  REGI2C_Wait();
  pfctLine(REGI2C_SDA_LOW);
  REGI2C_Wait();
  pfctLine(REGI2C_SCL_HIGH);
  REGI2C_Wait();
  REGI2C_Wait();
  pfctLine(REGI2C_SDA_HIGH);
}

// Eight data bits, most significant first; data changes only while SCL is low.
void REGI2C_Write(REGI2C_LINE_FUNCTION pfctLine, UCHAR ucData) {
  for (ULONG ulBit = 0; ulBit < 8; ulBit++) {
    REGI2C_Wait();
    pfctLine((ucData & (0x80 >> ulBit)) ? REGI2C_SDA_HIGH : REGI2C_SDA_LOW);
    REGI2C_Wait();
    pfctLine(REGI2C_SCL_HIGH);
    REGI2C_Wait();
    pfctLine(REGI2C_SCL_LOW);
  }
}

// One register write: device byte (address and direction bit together),
// sub-address, data, each followed by its acknowledge clock.
void REGI2C_WriteRegister(REGI2C_LINE_FUNCTION pfctLine, UCHAR ucDevice, UCHAR ucSubAddress,
                          UCHAR ucData) {
  pfctLine(REGI2C_TRANSFER);
  REGI2C_Start(pfctLine);
  REGI2C_Write(pfctLine, ucDevice);
  REGI2C_ReStart(pfctLine);
  REGI2C_Write(pfctLine, ucSubAddress);
  REGI2C_ReStart(pfctLine);
  REGI2C_Write(pfctLine, ucData);
  REGI2C_ReStart(pfctLine);
  REGI2C_Stop(pfctLine);
}

}  // extern "C"

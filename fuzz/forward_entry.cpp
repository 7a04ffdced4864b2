// Stands in for the driver module in each fuzzing session: the session loads it
// afresh, and its DriverEntry enters the instrumented driver that the fuzzer
// loaded once and reset to its load-time state.
#include "orva_port.h"

extern "C" {

ULONG(NTAPI* ORVA_FuzzForward)(PVOID, PVOID) = nullptr;

ULONG NTAPI DriverEntry(PVOID Argument1, PVOID Argument2) {
  return ORVA_FuzzForward(Argument1, Argument2);
}

}  // extern "C"

// Built by the cross compilers only, as a syntax check: the DDK headers' own
// record layouts and argument sizes must match the table the host builds are
// checked against.
#include "layouts.h"
#include "miniport/miniport.h"
#include "orva_port.h"

ORVA_CHECK_RECORD_LAYOUTS()
ORVA_CHECK_ARGUMENT_BYTES()

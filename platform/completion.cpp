#include "completion.h"

namespace orva::platform::detail {

uint32_t ntStatusOf(VP_STATUS status) {
  switch (status) {
    case 0:  // NO_ERROR
      return kStatusSuccess;
    case 1:  // ERROR_INVALID_FUNCTION
      return kStatusNotImplemented;
    case 8:  // ERROR_NOT_ENOUGH_MEMORY
      return kStatusInsufficientResources;
    case 55:  // ERROR_DEV_NOT_EXIST
      return kStatusDeviceDoesNotExist;
    case 87:  // ERROR_INVALID_PARAMETER
      return kStatusInvalidParameter;
    case 122:  // ERROR_INSUFFICIENT_BUFFER
      return kStatusBufferTooSmall;
    case 234:  // ERROR_MORE_DATA
      return kStatusBufferOverflow;
    default:
      return kStatusUnsuccessful;
  }
}

}  // namespace orva::platform::detail

#include "link/rs232_errors.h"

const char* GetRS232ErrorString(int errorNumber) {
    switch (errorNumber) {
    case kRS_UnknownSysError: return "Unknown system error";
    case kRS_InvalidPortNum: return "Invalid port number";
    case kRS_PortNotOpen: return "Port is not open";
    case kRS_UnknownIOError: return "Unknown I/O error";
    case kRS_InternalError: return "Unexpected internal error";
    case kRS_NoPortFound: return "No serial port found";
    case kRS_CanNotOpenPort: return "Cannot open port";
    case kRS_InvalidParameter: return "Invalid parameter";
    case kRS_TimeOutErr: return "Timeout error";
    default: break;
    }
    if (errorNumber >= 0) return "No error";
    return "Unknown error";
}

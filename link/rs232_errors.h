// The error numbers of the serial port services and their texts: what the port table returns
// and what the line trace writes, apart from the port table so that the trace needs only them.
#pragma once

// Error numbers of the services (negative), besides the time-out of DWL_RS232_TIMEOUT.
enum Rs232Error {
    kRS_UnknownSysError = -1,
    kRS_InvalidPortNum = -2,
    kRS_PortNotOpen = -3,
    kRS_UnknownIOError = -4,
    kRS_InternalError = -5,
    kRS_NoPortFound = -6,
    kRS_CanNotOpenPort = -7,
    kRS_InvalidParameter = -13,
    kRS_TimeOutErr = -99,
};

const char* GetRS232ErrorString(int errorNumber);

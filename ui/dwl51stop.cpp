// Stop: the operator ends the command in progress at its next wait on the serial line. Every
// wait of the line ends at once while the stop stands (the serial line's cancel).
#include "ui/dwl51mmi.h"

#include "link/rs232_cancel.h"

void dwl51_11RequestStop() {
    rs232_Cancel();
}

bool dwl51_12StopRequested() {
    return rs232_Cancelled();
}

void dwl51_13ClearStop() {
    rs232_ClearCancel();
}

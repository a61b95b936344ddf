#include "session/dwl_context.h"

DownloadContext dwl_DefaultContext() {
    DownloadContext c{};
    c.Model = 1;
    c.Mode = 0;
    c.ComPort = 4;
    c.SpeedIndex = 3;
    c.ProductType = 2;
    return c;
}

DownloadContext sg_DownloadContext = dwl_DefaultContext();
ResultRecord mv_ResultDownload = {13, 0};

void dwl_ResetSession() {
    sg_DownloadContext = dwl_DefaultContext();
    mv_ResultDownload = ResultRecord{13, 0};
}

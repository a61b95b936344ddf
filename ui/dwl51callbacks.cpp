// The callback table: every name the layout files use, bound to its function.
#include "ui/dwl51mmi.h"
#include "ui/dwl54util.h"

#define DWL_CTRL(name)                                                                             \
    { #name, name, nullptr }
#define DWL_MENU(name)                                                                             \
    { #name, nullptr, name }

const CallbackBinding a_CallbackTable[] = {
    DWL_CTRL(dwl51_58MMISelectModel),
    DWL_CTRL(dwl51_56MMISelectPort),
    DWL_CTRL(dwl51_62MMISelectSpeed),
    DWL_CTRL(dwl_SelectMode),
    DWL_CTRL(dwl51_60MMIDownloadConfiguration),
    DWL_CTRL(dwl51_57MMISelectSimLock),
    DWL_CTRL(dwl51_67MMISelectLine),
    DWL_CTRL(dwl51_52MMILoadFile),
    DWL_CTRL(dwl51_52MMILoadFile_ogm),
    DWL_CTRL(dwl51_52MMILoadFile_TFS_ogm),
    DWL_CTRL(dwl51_50MMIStart),
    DWL_CTRL(dwl51_50MMI_TFS_ogm_Start),
    DWL_CTRL(dwl51_50MMI_TFS_Boot_Start),
    DWL_CTRL(dwl51_65MMIFormat),
    DWL_CTRL(dwl51_51MMIQuit),
    DWL_CTRL(dwl_Quit),
    DWL_CTRL(About_display),
    DWL_CTRL(dwl51_68MMIStop),
    DWL_CTRL(dwl51_69MMIChoosePort),
    DWL_CTRL(dwl51_80MMIDownloadSuccessOk),
    DWL_CTRL(dwl51_81MMIButtonTimeOut),
    DWL_CTRL(dwl51_83MMIFormatOk),
    DWL_CTRL(dwl51_84MMIBootLoaderOk),
    DWL_CTRL(dwl54_0GenericErrWindowsButton),
    DWL_CTRL(dwl54_1FlashFileErrButton),
    DWL_CTRL(dwl54_2ConfFileErrButton),
    DWL_CTRL(dwl54_3PcLibrairiesErrButton),
    DWL_CTRL(dwl54_4BootErrorWindowsButton),
    DWL_CTRL(dwl54_6CommandErrWindowButton),
    DWL_CTRL(dwl54_9TFSFileErrButton),
    DWL_MENU(dwl51_100MMIMenuRestore),
    DWL_MENU(dwl51_101MMIMenuSave),
    DWL_MENU(dwl51_102MMIMenuQuit),
    DWL_MENU(dwl51_103MMIMenuSaveLog),
    DWL_MENU(dwl51_150MMIMenuService),
    DWL_MENU(dwl51_151MMIMenuLineTrace),
    DWL_MENU(dwl51_152MMIMenuStation),
    DWL_MENU(dwl51_153MMIMenuSectorMap),
    DWL_MENU(dwl51_154MMIMenuReport),
    DWL_MENU(dwl51_110MMIMenuCS0_0WaitState),
    DWL_MENU(dwl51_111MMIMenuCS0_1WaitState),
    DWL_MENU(dwl51_112MMIMenuCS0_2WaitState),
    DWL_MENU(dwl51_113MMIMenuCS0_3WaitState),
    DWL_MENU(dwl51_114MMIMenuCS0_4WaitState),
    DWL_MENU(dwl51_120MMIMenuCS1_0WaitState),
    DWL_MENU(dwl51_121MMIMenuCS1_1WaitState),
    DWL_MENU(dwl51_122MMIMenuCS1_2WaitState),
    DWL_MENU(dwl51_123MMIMenuCS1_3WaitState),
    DWL_MENU(dwl51_124MMIMenuCS1_4WaitState),
    DWL_MENU(dwl51_130MMIMenuCS2_0WaitState),
    DWL_MENU(dwl51_131MMIMenuCS2_1WaitState),
    DWL_MENU(dwl51_132MMIMenuCS2_2WaitState),
    DWL_MENU(dwl51_133MMIMenuCS2_3WaitState),
    DWL_MENU(dwl51_134MMIMenuCS2_4WaitState),
    DWL_MENU(dwl51_140MMIMenuCS3_0WaitState),
    DWL_MENU(dwl51_141MMIMenuCS3_1WaitState),
    DWL_MENU(dwl51_142MMIMenuCS3_2WaitState),
    DWL_MENU(dwl51_143MMIMenuCS3_3WaitState),
    DWL_MENU(dwl51_144MMIMenuCS3_4WaitState),
};

const size_t a_CallbackTableSize = sizeof a_CallbackTable / sizeof a_CallbackTable[0];

void dwl51_1InstallCallbacks() {
    uis_SetCallbackTable(a_CallbackTable, a_CallbackTableSize);
}

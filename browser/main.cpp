#include <windows.h>

#include <commctrl.h>

#include "dialog.h"
#include "module.h"
#include "resource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    FailCriticalErrorsQuietly();
    SetInstanceHandle(instance);
    InitCommonControls();
    ApplyLocaleFromStringTable(IDS_LOCALE);
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_BROWSER), nullptr, BrowserDialogProc, 0);
    return 0;
}

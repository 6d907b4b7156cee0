#include <windows.h>

#include <stdlib.h>

#include "configurator.h"
#include "module.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    FailCriticalErrorsQuietly();
    SetInstanceHandle(instance);
    try {
        // The runtime's wide argument vector: standard quoting rules, no wildcard expansion.
        return RunConfigurator(__argc, __wargv);
    } catch (...) {
        return ReportEscapedException();
    }
}

// The two exports of a 64-bit Susie plug-in that both programs use.
#pragma once

#include <windows.h>

// Writes at most bufferLength bytes of ANSI text; returns the byte count, 0 for "no such information".
typedef int(WINAPI* GetPluginInfoFn)(int infoNumber, char* buffer, int bufferLength);
// function 1 opens the settings dialog, 0 the about dialog; modal, returns a Susie result code.
typedef int(WINAPI* ConfigurationDlgFn)(HWND parent, int function);

namespace plugin {
constexpr char kGetPluginInfo[] = "GetPluginInfo";
constexpr char kConfigurationDlg[] = "ConfigurationDlg";

// What GetPluginInfo is offered: a 4096-byte zeroed buffer, of which 4094 bytes are announced,
// so the text is always followed by two zero bytes.
constexpr int kInfoBufferBytes = 4096;
constexpr int kInfoOfferedBytes = 4094;

// ConfigurationDlg results
constexpr int kSuccess = 0;
constexpr int kNotImplemented = -1;
}  // namespace plugin

template <typename Fn>
inline Fn GetPluginExport(HMODULE library, const char* name)
{
    // FARPROC to a typed pointer: the double cast keeps -Wcast-function-type quiet.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

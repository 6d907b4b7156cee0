// What distinguishes one sample plug-in from another; everything else is shared.
#pragma once

#include <windows.h>

struct SampleFormat {
    const wchar_t* pattern;  // e.g. L"*.pnf;*.apnf"
    const wchar_t* name;     // display name
};

enum class SampleEditKind { Number, Text };

struct SampleDescription {
    // Settings live in HKEY_CURRENT_USER\Software\Plexmoor\Samples\<registryName>.
    const wchar_t* registryName;
    // GetPluginInfo(1); converted to the ANSI code page when asked for.
    const wchar_t* about;
    const SampleFormat* formats;
    int formatCount;

    // The check box, stored as REG_DWORD 0/1.
    const wchar_t* checkValue;
    bool checkDefault;

    // The edit box: a number stored as REG_DWORD within [numberMin, numberMax], or a text
    // stored as REG_SZ of at most textMaxChars characters.
    const wchar_t* editValue;
    SampleEditKind editKind;
    DWORD numberDefault;
    DWORD numberMin;
    DWORD numberMax;
    const wchar_t* textDefault;
    int textMaxChars;
    // Shown when the edit box does not hold an acceptable value.
    const wchar_t* invalidEditMessage;
};

// Defined once by each sample.
extern const SampleDescription kSample;

// What a plug-in says about itself through GetPluginInfo, asked and kept as plain text, so that
// nothing is drawn while its code runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "plugin.h"

// One answer of GetPluginInfo, converted from the ANSI code page. *faulted (optional) tells
// when the plug-in faulted instead of answering; the text is then empty.
std::wstring PluginInfoText(GetPluginInfoFn getPluginInfo, int infoNumber, bool* faulted = nullptr);
// An answer's bytes as the system with that ANSI code page reads them.
std::wstring PluginTextToWide(const char* text, int bytes, UINT codePage);

struct FileType {
    std::wstring patterns;  // extension patterns, several separated by ';'
    std::wstring formatName;
};

// Types until the first pair with neither pattern nor name, or until the plug-in faults (the
// types read before it stay).
std::vector<FileType> PluginFileTypes(GetPluginInfoFn getPluginInfo, bool& faulted);

// Everything the view shows of a plug-in's answers, in the order they are asked: the about
// text, the API version, the file types. A fault keeps what came before it and ends the asking.
struct PluginInfo {
    bool hasAbout = false;
    std::wstring about;
    bool hasVersion = false;
    std::wstring version;
    std::vector<FileType> types;
    bool faulted = false;
};
PluginInfo AskPluginInfo(GetPluginInfoFn getPluginInfo);

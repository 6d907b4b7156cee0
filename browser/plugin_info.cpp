#include "plugin_info.h"

#include "answer_buffer.h"
#include "fault_guard.h"

namespace {

// Information numbers 2k+2 and 2k+3 for k below this: numbers 2 to 65.
constexpr int kMaxFileTypes = 32;

}  // namespace

std::wstring PluginInfoText(GetPluginInfoFn getPluginInfo, int infoNumber, bool* faulted)
{
    // Zero-filled for every call, so that no answer leaks into the next.
    const PluginAnswerBuffer answer;
    if (!answer.data()) return std::wstring();
    const char* buffer = answer.data();
    char* text = answer.data();
    int bytes = 0;
    auto ask = [getPluginInfo, infoNumber, text, &bytes] {
        bytes = getPluginInfo(infoNumber, text, plugin::kInfoOfferedBytes);
    };
    const bool returned = CallContained(ask);
    if (faulted) *faulted = !returned;
    // A count the plug-in could not have written (negative, or beyond what it was offered)
    // must never make the conversion read outside the buffer: nothing, or what was offered.
    if (!returned || bytes <= 0) return std::wstring();
    if (bytes > plugin::kInfoOfferedBytes) bytes = plugin::kInfoOfferedBytes;
    return PluginTextToWide(buffer, bytes, GetACP());
}

std::wstring PluginTextToWide(const char* text, int bytes, UINT codePage)
{
    // With Windows' "Unicode UTF-8" option the system's code page is UTF-8, while plug-ins
    // written for Japanese Windows still answer in Shift-JIS.
    constexpr UINT kShiftJis = 932;
    if (codePage == CP_UTF8 && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, bytes, nullptr, 0) == 0) {
        codePage = kShiftJis;
    }
    const int needed = MultiByteToWideChar(codePage, 0, text, bytes, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::vector<wchar_t> wide(static_cast<size_t>(needed) + 1, L'\0');
    const int converted = MultiByteToWideChar(codePage, 0, text, bytes, wide.data(), needed + 1);
    if (converted <= 0) return std::wstring();
    return std::wstring(wide.data(), static_cast<size_t>(converted));
}

std::vector<FileType> PluginFileTypes(GetPluginInfoFn getPluginInfo, bool& faulted)
{
    std::vector<FileType> types;
    for (int k = 0; k < kMaxFileTypes; ++k) {
        FileType type;
        type.patterns = PluginInfoText(getPluginInfo, 2 * k + 2, &faulted);
        if (faulted) break;
        type.formatName = PluginInfoText(getPluginInfo, 2 * k + 3, &faulted);
        if (faulted) break;
        if (type.patterns.empty() && type.formatName.empty()) break;
        types.push_back(type);
    }
    return types;
}

PluginInfo AskPluginInfo(GetPluginInfoFn getPluginInfo)
{
    PluginInfo info;
    info.about = PluginInfoText(getPluginInfo, 1, &info.faulted);
    if (info.faulted) return info;
    info.hasAbout = true;
    info.version = PluginInfoText(getPluginInfo, 0, &info.faulted);
    if (info.faulted) return info;
    info.hasVersion = true;
    info.types = PluginFileTypes(getPluginInfo, info.faulted);
    return info;
}

// The exports and dialogs every sample plug-in shares; the sample's own texts, formats and
// settings come from its SampleDescription and resource script.
#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

#include "handles.h"
#include "plugin.h"
#include "sample_plugin.h"
#include "sample_resource.h"

namespace {

HINSTANCE g_instance = nullptr;

// Susie's code for "internal error": the dialog could not be shown at all.
constexpr int kInternalError = 8;

std::wstring RegistryPath()
{
    return std::wstring(L"Software\\Plexmoor\\Samples\\") + kSample.registryName;
}

struct Settings {
    bool check = false;
    DWORD number = 0;
    std::wstring text;
};

Settings Defaults()
{
    Settings s;
    s.check = kSample.checkDefault;
    s.number = kSample.numberDefault;
    s.text = kSample.textDefault ? kSample.textDefault : L"";
    return s;
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD* value)
{
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(data))
        return false;
    *value = data;
    return true;
}

bool ReadString(HKEY key, const wchar_t* name, std::wstring* value)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return false;
    // The stored data need not end in a terminator; one extra character makes room for it.
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    data.back() = L'\0';
    *value = data.data();
    return true;
}

// Missing or unusable values fall back to the defaults one by one, so that a value edited by
// hand does not cost the others.
Settings LoadSettings()
{
    Settings s = Defaults();
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, RegistryPath().c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) return s;
    handles::UniqueRegKey key(raw);

    DWORD check = 0;
    if (ReadDword(key.get(), kSample.checkValue, &check)) s.check = check != 0;
    if (kSample.editKind == SampleEditKind::Number) {
        DWORD number = 0;
        if (ReadDword(key.get(), kSample.editValue, &number) && number >= kSample.numberMin &&
            number <= kSample.numberMax)
            s.number = number;
    } else {
        std::wstring text;
        if (ReadString(key.get(), kSample.editValue, &text) &&
            text.size() <= static_cast<size_t>(kSample.textMaxChars))
            s.text = text;
    }
    return s;
}

bool SaveSettings(const Settings& s)
{
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, RegistryPath().c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return false;
    handles::UniqueRegKey key(raw);

    const DWORD check = s.check ? 1 : 0;
    if (RegSetValueExW(key.get(), kSample.checkValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&check),
                       sizeof(check)) != ERROR_SUCCESS)
        return false;
    if (kSample.editKind == SampleEditKind::Number) {
        return RegSetValueExW(key.get(), kSample.editValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&s.number),
                              sizeof(s.number)) == ERROR_SUCCESS;
    }
    const DWORD bytes = static_cast<DWORD>((s.text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), kSample.editValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(s.text.c_str()),
                          bytes) == ERROR_SUCCESS;
}

std::wstring WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::wstring DialogCaption(HWND dialog)
{
    return WindowText(dialog);
}

void RejectEdit(HWND dialog)
{
    MessageBoxW(dialog, kSample.invalidEditMessage, DialogCaption(dialog).c_str(), MB_OK | MB_ICONWARNING);
    HWND edit = GetDlgItem(dialog, IDC_SETTING_EDIT);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
}

// Reads the dialog into s; false (after telling the user) when the edit box is unacceptable.
bool ReadDialog(HWND dialog, Settings* s)
{
    s->check = IsDlgButtonChecked(dialog, IDC_SETTING_CHECK) == BST_CHECKED;
    if (kSample.editKind == SampleEditKind::Number) {
        BOOL ok = FALSE;
        const UINT number = GetDlgItemInt(dialog, IDC_SETTING_EDIT, &ok, FALSE);
        if (!ok || number < kSample.numberMin || number > kSample.numberMax) {
            RejectEdit(dialog);
            return false;
        }
        s->number = number;
    } else {
        s->text = WindowText(GetDlgItem(dialog, IDC_SETTING_EDIT));
        if (s->text.empty()) {
            RejectEdit(dialog);
            return false;
        }
    }
    return true;
}

INT_PTR CALLBACK SettingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        const Settings s = LoadSettings();
        CheckDlgButton(dialog, IDC_SETTING_CHECK, s.check ? BST_CHECKED : BST_UNCHECKED);
        HWND edit = GetDlgItem(dialog, IDC_SETTING_EDIT);
        if (kSample.editKind == SampleEditKind::Number) {
            SendMessageW(edit, EM_LIMITTEXT, 5, 0);
            SetDlgItemInt(dialog, IDC_SETTING_EDIT, s.number, FALSE);
        } else {
            SendMessageW(edit, EM_LIMITTEXT, static_cast<WPARAM>(kSample.textMaxChars), 0);
            SetWindowTextW(edit, s.text.c_str());
        }
        const std::wstring where = L"HKEY_CURRENT_USER\\" + RegistryPath();
        SetDlgItemTextW(dialog, IDC_SETTING_WHERE, where.c_str());
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: {
            Settings s;
            if (!ReadDialog(dialog, &s)) return TRUE;
            if (!SaveSettings(s)) {
                MessageBoxW(dialog, L"設定を保存できませんでした。", DialogCaption(dialog).c_str(),
                            MB_OK | MB_ICONERROR);
                return TRUE;
            }
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        // A shared system icon: not ours to destroy.
        SendDlgItemMessageW(dialog, IDC_ABOUT_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_INFORMATION)), 0);
        std::wstring formats;
        for (int i = 0; i < kSample.formatCount; ++i) {
            if (i > 0) formats += L"\r\n";
            formats += kSample.formats[i].name;
            formats += L"  (";
            formats += kSample.formats[i].pattern;
            formats += L")";
        }
        SetDlgItemTextW(dialog, IDC_ABOUT_FORMATS, formats.c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// Converts to the ANSI code page and copies at most bufferLength bytes, never ending on the
// lead byte of a cut double-byte character.
int AnswerAnsi(const wchar_t* text, char* buffer, int bufferLength)
{
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return 0;
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], bytes, nullptr, nullptr);
    ansi.resize(static_cast<size_t>(bytes) - 1);

    int n = 0;
    while (n < static_cast<int>(ansi.size())) {
        const int step = IsDBCSLeadByte(static_cast<BYTE>(ansi[n])) && n + 1 < static_cast<int>(ansi.size()) ? 2 : 1;
        if (n + step > bufferLength) break;
        n += step;
    }
    for (int i = 0; i < n; ++i) buffer[i] = ansi[i];
    if (n < bufferLength) buffer[n] = '\0';
    return n;
}

}  // namespace

extern "C" __declspec(dllexport) int WINAPI GetPluginInfo(int infoNumber, char* buffer, int bufferLength)
{
    if (!buffer || bufferLength <= 0 || infoNumber < 0) return 0;
    if (infoNumber == 0) return AnswerAnsi(L"00IN", buffer, bufferLength);
    if (infoNumber == 1) return AnswerAnsi(kSample.about, buffer, bufferLength);
    const int type = (infoNumber - 2) / 2;
    if (type >= kSample.formatCount) return 0;
    const SampleFormat& format = kSample.formats[type];
    return AnswerAnsi(infoNumber % 2 == 0 ? format.pattern : format.name, buffer, bufferLength);
}
static_assert(std::is_same<decltype(&GetPluginInfo), GetPluginInfoFn>::value, "GetPluginInfo signature");

extern "C" __declspec(dllexport) int WINAPI ConfigurationDlg(HWND parent, int function)
{
    if (function == 1) {
        const INT_PTR result = DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_SAMPLE_SETTINGS), parent,
                                               SettingsProc, 0);
        if (result == IDOK) return plugin::kSuccess;
        if (result == IDCANCEL) return 1;
        return kInternalError;
    }
    if (function == 0) {
        const INT_PTR result = DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_SAMPLE_ABOUT), parent, AboutProc, 0);
        return result == IDOK ? plugin::kSuccess : kInternalError;
    }
    return plugin::kNotImplemented;
}
static_assert(std::is_same<decltype(&ConfigurationDlg), ConfigurationDlgFn>::value, "ConfigurationDlg signature");

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

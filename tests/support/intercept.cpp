#include "intercept.h"

#include <cstring>

namespace {
std::vector<UINT> g_beeps;
std::vector<CapturedMessageBox> g_boxes;
void* g_realBeep = nullptr;
void* g_realBox = nullptr;

BOOL WINAPI FakeMessageBeep(UINT type)
{
    g_beeps.push_back(type);
    return TRUE;
}

int WINAPI FakeMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    g_boxes.push_back({owner, text ? text : L"", caption ? caption : L"", type});
    return IDOK;
}

LookupIntercept::Answer g_answer = nullptr;
// Kept after the intercept ends: a lookup that began before may still be on its way through.
void* g_realLookup = nullptr;

FARPROC WINAPI AnsweringLookup(HMODULE module, LPCSTR name)
{
    FARPROC address = nullptr;
    const LookupIntercept::Answer answer = g_answer;
    // A name rather than an ordinal: ordinals are numbers below 0x10000 in the pointer.
    if (answer && (reinterpret_cast<ULONG_PTR>(name) >> 16) != 0 && answer(module, name, address)) return address;
    return reinterpret_cast<decltype(&GetProcAddress)>(g_realLookup)(module, name);
}
}  // namespace

void* PatchImport(const char* dll, const char* function, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (_stricmp(reinterpret_cast<const char*>(base + desc->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
            return previous;
        }
    }
    return nullptr;
}

UiIntercept::UiIntercept()
{
    Clear();
    g_realBeep = PatchImport("user32.dll", "MessageBeep", reinterpret_cast<void*>(&FakeMessageBeep));
    g_realBox = PatchImport("user32.dll", "MessageBoxW", reinterpret_cast<void*>(&FakeMessageBoxW));
}

UiIntercept::~UiIntercept()
{
    if (g_realBeep) PatchImport("user32.dll", "MessageBeep", g_realBeep);
    if (g_realBox) PatchImport("user32.dll", "MessageBoxW", g_realBox);
}

const std::vector<UINT>& UiIntercept::Beeps() const { return g_beeps; }
const std::vector<CapturedMessageBox>& UiIntercept::MessageBoxes() const { return g_boxes; }

void UiIntercept::Clear()
{
    g_beeps.clear();
    g_boxes.clear();
}

LookupIntercept::LookupIntercept(Answer answer)
{
    g_answer = answer;
    void* real = PatchImport("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&AnsweringLookup));
    active_ = real != nullptr;
    if (active_) g_realLookup = real;
}

LookupIntercept::~LookupIntercept()
{
    if (active_) PatchImport("kernel32.dll", "GetProcAddress", g_realLookup);
    g_answer = nullptr;
}

#include "running_code.h"

#include <algorithm>

#include "handles.h"
#include "module.h"
#include "plugin.h"
#include "thread_windows.h"

namespace {

// ntdll is mapped into every process before any code of it runs, so it is looked up, never loaded.
typedef LONG(NTAPI* NtQueryInformationThreadFn)(HANDLE, ULONG, PVOID, ULONG, PULONG);
typedef LONG(NTAPI* NtGetNextThreadFn)(HANDLE, HANDLE, ACCESS_MASK, ULONG, ULONG, PHANDLE);
constexpr ULONG kThreadBasicInformation = 0;
constexpr ULONG kThreadWin32StartAddress = 9;
constexpr ULONG kThreadAmILastThread = 12;
constexpr LONG kNoMoreEntries = static_cast<LONG>(0x8000001A);
struct ThreadBasicInformation {
    LONG exitStatus;
    PVOID teb;
    HANDLE clientProcess;
    HANDLE clientThread;
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
};

struct Ntdll {
    HMODULE module = GetModuleHandleW(L"ntdll.dll");
    NtQueryInformationThreadFn query =
        module ? GetPluginExport<NtQueryInformationThreadFn>(module, "NtQueryInformationThread") : nullptr;
    NtGetNextThreadFn next = module ? GetPluginExport<NtGetNextThreadFn>(module, "NtGetNextThread") : nullptr;
    ImageRange range = RangeOf(module);
};

const Ntdll& TheNtdll()
{
    static const Ntdll ntdll;
    return ntdll;
}

// Null when the address lies in no module.
HMODULE ModuleAt(UINT_PTR address)
{
    HMODULE module = nullptr;
    if (!address || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                            GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                        reinterpret_cast<LPCWSTR>(address), &module)) {
        return nullptr;
    }
    return module;
}

typedef BOOL(WINAPI* EnumProcessModulesFn)(HANDLE, HMODULE*, DWORD, LPDWORD);

// The process's modules in the order they were loaded (the order the loader keeps them in),
// read once, when first needed. kernel32 has the function from Windows 7 on; before, psapi.
class LoadOrder {
public:
    // Whether module was loaded before library; false when either is not found.
    bool Before(HMODULE module, HMODULE library)
    {
        if (!read_) Read();
        const auto at = std::find(modules_.begin(), modules_.end(), module);
        return at != modules_.end() && std::find(at, modules_.end(), library) != modules_.end() && *at != library;
    }

private:
    void Read()
    {
        read_ = true;
        handles::UniqueLibrary psapi;
        auto list = GetPluginExport<EnumProcessModulesFn>(GetModuleHandleW(L"kernel32.dll"), "K32EnumProcessModules");
        if (!list) {
            psapi = LoadSystemLibrary(L"psapi.dll");
            if (psapi) list = GetPluginExport<EnumProcessModulesFn>(psapi.get(), "EnumProcessModules");
        }
        if (!list) return;
        // A library loaded between the two calls makes the second one ask for more.
        for (int tries = 0; tries < 4; ++tries) {
            DWORD needed = 0;
            if (!list(GetCurrentProcess(), modules_.data(), static_cast<DWORD>(modules_.size() * sizeof(HMODULE)),
                      &needed)) {
                break;
            }
            const size_t count = needed / sizeof(HMODULE);
            if (count <= modules_.size()) {
                modules_.resize(count);
                return;
            }
            modules_.resize(count + 8);
        }
        modules_.clear();
    }

    bool read_ = false;
    std::vector<HMODULE> modules_;
};

// Reads our own memory through the system, which fails instead of faulting where the memory is
// gone (the environment block of a thread that ended) or was never there.
bool ReadOurs(UINT_PTR address, void* into, size_t bytes)
{
    SIZE_T read = 0;
    return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(address), into, bytes, &read) &&
           read == bytes;
}

// True when the thread's next instruction, one of its registers or any value on the live part of
// its stack (a return address among them) lies in the image; also when that cannot be read. For a
// thread started in another library (from): also when neither its next instruction nor any value
// on its stack but the start address itself lies in that library, that is, before it has begun
// to run its own code (a new thread's stack holds its start address, and what it will run is not
// to be seen yet).
bool RunsCodeOf(HANDLE thread, UINT_PTR teb, const ImageRange& image, const ImageRange& from, UINT_PTR start)
{
    // Held first: a thread that ends has its environment block and its stack freed.
    if (SuspendThread(thread) == static_cast<DWORD>(-1)) return true;
    // While it is held, nothing here may take a lock it could hold: no allocation, no loader
    // calls; only its registers and, through the system, its stack are read.
    bool found = true;
    NT_TIB tib = {};
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    if (ReadOurs(teb, &tib, sizeof(tib)) && GetThreadContext(thread, &context)) {
#if defined(_M_X64) || defined(__x86_64__)
        const UINT_PTR next = context.Rip;
        const UINT_PTR top = context.Rsp;
        const DWORD64 registers[] = {context.Rax, context.Rbx, context.Rcx, context.Rdx, context.Rsi,
                                     context.Rdi, context.Rbp, context.R8,  context.R9,  context.R10,
                                     context.R11, context.R12, context.R13, context.R14, context.R15};
#elif defined(_M_ARM64) || defined(__aarch64__)
        const UINT_PTR next = context.Pc;
        const UINT_PTR top = context.Sp;
        const auto& registers = context.X;
#else
#error "No stack reading for this target"
#endif
        const auto stackBase = reinterpret_cast<UINT_PTR>(tib.StackBase);
        const auto stackLimit = reinterpret_cast<UINT_PTR>(tib.StackLimit);
        constexpr UINT_PTR kMaxStackBytes = 64u << 20;
        // Only a stack pointer inside the stack the system knows of: one on a stack of the thread's
        // own making (or a fiber's the block does not name) could lead the read into pages that are
        // not there, or into the guard page.
        if (stackLimit <= top && top <= stackBase && stackBase - top <= kMaxStackBytes) {
            found = image.Holds(next);
            for (DWORD64 value : registers) found = found || image.Holds(static_cast<UINT_PTR>(value));
            bool begun = from.begin == from.end || from.Holds(next);
            UINT_PTR values[512];
            for (UINT_PTR slot = top & ~(sizeof(UINT_PTR) - 1); !found && slot < stackBase;) {
                const size_t count = std::min<UINT_PTR>((stackBase - slot) / sizeof(UINT_PTR), 512);
                if (count == 0) break;
                if (!ReadOurs(slot, values, count * sizeof(UINT_PTR))) {
                    found = true;
                    break;
                }
                for (size_t i = 0; i < count && !found; ++i) {
                    found = image.Holds(values[i]);
                    begun = begun || (values[i] != start && from.Holds(values[i]));
                }
                slot += count * sizeof(UINT_PTR);
            }
            found = found || !begun;
        }
    }
    ResumeThread(thread);
    return found;
}

// A thread that can run code of the image. Ours is not asked: it is the one freeing.
// - Started at an address in the image: the plug-in's own.
// - Started in ntdll (the system's thread pool or the loader, which run whoever's work is queued)
//   or in a library that was there before the plug-in (the C runtime's _beginthreadex starts
//   every thread in itself; COM, text services, input methods and injected accessibility or
//   antivirus code start theirs in their own libraries): the plug-in's while its code runs on the
//   thread or waits on its stack. One that has finished a work item of the plug-in is not.
// - Started anywhere else (a library the plug-in brought along, memory of no library): nobody
//   can tell whose it is, so it counts as the plug-in's.
bool ThreadRunsCodeOf(HANDLE thread, const ImageRange& image, HMODULE library, LoadOrder& order)
{
    const Ntdll& ntdll = TheNtdll();
    ThreadBasicInformation basic = {};
    if (ntdll.query(thread, kThreadBasicInformation, &basic, sizeof(basic), nullptr) < 0 || !basic.teb) return true;
    if (reinterpret_cast<UINT_PTR>(basic.clientThread) == GetCurrentThreadId()) return false;
    // Ended: none of its code will run again.
    if (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) return false;
    PVOID start = nullptr;
    if (ntdll.query(thread, kThreadWin32StartAddress, &start, sizeof(start), nullptr) < 0 || !start) return true;
    const auto startAddress = reinterpret_cast<UINT_PTR>(start);
    if (image.Holds(startAddress)) return true;
    const auto teb = reinterpret_cast<UINT_PTR>(basic.teb);
    if (ntdll.range.Holds(startAddress)) return RunsCodeOf(thread, teb, image, ImageRange(), startAddress);
    const HMODULE from = ModuleAt(startAddress);
    if (!order.Before(from, library)) return true;
    return RunsCodeOf(thread, teb, image, RangeOf(from), startAddress);
}

bool ThreadsRunCodeOf(const ImageRange& image, HMODULE library, LoadOrder& order)
{
    const Ntdll& ntdll = TheNtdll();
    if (!ntdll.query || !ntdll.next) return true;
    // The one question that tells there is no other thread.
    ULONG last = 0;
    if (ntdll.query(GetCurrentThread(), kThreadAmILastThread, &last, sizeof(last), nullptr) >= 0 && last) {
        return false;
    }
    // The process's own threads one by one: a snapshot of every thread of the system would take
    // milliseconds for each plug-in call.
    constexpr DWORD kAccess = SYNCHRONIZE | THREAD_QUERY_INFORMATION | THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT;
    handles::UniqueHandle thread;
    for (;;) {
        HANDLE found = nullptr;
        const LONG status = ntdll.next(GetCurrentProcess(), thread.get(), kAccess, 0, 0, &found);
        if (status == kNoMoreEntries) return false;
        // A thread that cannot be looked at could be anybody's.
        if (status < 0) return true;
        thread.reset(found);
        if (ThreadRunsCodeOf(thread.get(), image, library, order)) return true;
    }
}

constexpr ATOM kDialogClassAtom = 0x8002;

// A window's procedure and dialog procedure, each read as a Unicode and as an ANSI window (one of
// the two may be a call handle instead of an address), and its class's procedure.
struct Procedures {
    UINT_PTR window[2] = {};
    UINT_PTR dialog[2] = {};
    UINT_PTR ofClass = 0;
};

Procedures ProceduresOf(HWND window)
{
    Procedures procedures;
    procedures.window[0] = static_cast<UINT_PTR>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    procedures.window[1] = static_cast<UINT_PTR>(GetWindowLongPtrA(window, GWLP_WNDPROC));
    // A window that is no dialog has no dialog procedure, and other data where a dialog keeps it.
    if (GetClassLongPtrW(window, GCW_ATOM) == kDialogClassAtom) {
        procedures.dialog[0] = static_cast<UINT_PTR>(GetWindowLongPtrW(window, DWLP_DLGPROC));
        procedures.dialog[1] = static_cast<UINT_PTR>(GetWindowLongPtrA(window, DWLP_DLGPROC));
    }
    procedures.ofClass = GetClassLongPtrW(window, GCLP_WNDPROC);
    return procedures;
}

bool BelongsTo(HWND window, const Procedures& procedures, const ImageRange& image, HMODULE library)
{
    if (reinterpret_cast<HMODULE>(GetClassLongPtrW(window, GCLP_HMODULE)) == library) return true;
    if (reinterpret_cast<HMODULE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)) == library) return true;
    const UINT_PTR all[] = {procedures.window[0], procedures.window[1], procedures.dialog[0], procedures.dialog[1],
                            procedures.ofClass};
    return std::any_of(std::begin(all), std::end(all), [&image](UINT_PTR procedure) { return image.Holds(procedure); });
}

// Whether the window procedure, or the dialog procedure a dialog has, lies in no module (a thunk
// in allocated memory, as ATL and WTL make them, say).
bool RunsThroughThunk(const Procedures& procedures)
{
    if (!ModuleAt(procedures.window[0]) && !ModuleAt(procedures.window[1])) return true;
    const bool hasDialogProcedure = procedures.dialog[0] || procedures.dialog[1];
    return hasDialogProcedure && !ModuleAt(procedures.dialog[0]) && !ModuleAt(procedures.dialog[1]);
}

// A window that belongs to the image (BelongsTo) runs its code. So may one that runs through a
// thunk, unless it is as it was before the load, or it was made since by a library that was there
// before the plug-in (an input method's window, say, made while the plug-in's dialog was typed in).
bool WindowRunsCodeOf(HWND window, const CodeBeforeLoad& before, const ImageRange& image, HMODULE library,
                      LoadOrder& order)
{
    const Procedures procedures = ProceduresOf(window);
    if (BelongsTo(window, procedures, image, library)) return true;
    const auto was = std::find_if(before.windows.begin(), before.windows.end(),
                                  [window](const CodeBeforeLoad::Window& w) { return w.window == window; });
    const bool asItWas = was != before.windows.end() && was->procedure == procedures.window[0] &&
                         was->dialogProcedure == procedures.dialog[0];
    if (asItWas || !RunsThroughThunk(procedures)) return false;
    return was != before.windows.end() ||
           !order.Before(reinterpret_cast<HMODULE>(GetClassLongPtrW(window, GCLP_HMODULE)), library);
}

}  // namespace

ImageRange RangeOf(HMODULE module)
{
    ImageRange range;
    const auto base = reinterpret_cast<const BYTE*>(module);
    MEMORY_BASIC_INFORMATION region = {};
    if (!module || !VirtualQuery(base, &region, sizeof(region)) || region.AllocationBase != base) return range;
    range.begin = reinterpret_cast<UINT_PTR>(base);
    const BYTE* next = base;
    while (VirtualQuery(next, &region, sizeof(region)) && region.AllocationBase == base) {
        next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    }
    range.end = reinterpret_cast<UINT_PTR>(next);
    return range;
}

CodeBeforeLoad RecordCodeBeforeLoad()
{
    CodeBeforeLoad before;
    std::vector<ThreadWindow> windows;
    before.known = ListThreadWindows(windows, false);
    for (const ThreadWindow& window : windows) {
        const Procedures procedures = ProceduresOf(window.window);
        before.windows.push_back({window.window, procedures.window[0], procedures.dialog[0]});
    }
    return before;
}

bool CodeMayStillRun(HMODULE library, const CodeBeforeLoad& before)
{
    const ImageRange image = RangeOf(library);
    // Without its extent nothing can be told about it.
    if (image.begin == image.end) return true;
    LoadOrder order;
    if (ThreadsRunCodeOf(image, library, order)) return true;
    std::vector<ThreadWindow> windows;
    if (!before.known || !ListThreadWindows(windows, true)) return true;
    return std::any_of(windows.begin(), windows.end(), [&](const ThreadWindow& window) {
        return WindowRunsCodeOf(window.window, before, image, library, order);
    });
}

bool WindowBelongsTo(HWND window, const ImageRange& image, HMODULE library)
{
    return BelongsTo(window, ProceduresOf(window), image, library);
}

#include "running_code.h"

#include <algorithm>

#include "handles.h"
#include "plugin.h"
#include "thread_windows.h"

namespace {

using Stamps = std::vector<CodeBeforeLoad::Stamp>;

bool Contains(const Stamps& stamps, CodeBeforeLoad::Stamp stamp)
{
    for (const CodeBeforeLoad::Stamp& s : stamps) {
        if (s == stamp) return true;
    }
    return false;
}

// ntdll is mapped into every process before any code of it runs, so it is looked up, never loaded.
typedef LONG(NTAPI* NtQueryInformationThreadFn)(HANDLE, ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kThreadBasicInformation = 0;
constexpr ULONG kThreadWin32StartAddress = 9;
struct ThreadBasicInformation {
    LONG exitStatus;
    PVOID teb;
    HANDLE clientProcess;
    HANDLE clientThread;
    ULONG_PTR affinityMask;
    LONG priority;
    LONG basePriority;
};

typedef LONG(NTAPI* NtGetNextThreadFn)(HANDLE, HANDLE, ACCESS_MASK, ULONG, ULONG, PHANDLE);

struct SystemThreads {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    NtQueryInformationThreadFn query =
        ntdll ? GetPluginExport<NtQueryInformationThreadFn>(ntdll, "NtQueryInformationThread") : nullptr;
    NtGetNextThreadFn next = ntdll ? GetPluginExport<NtGetNextThreadFn>(ntdll, "NtGetNextThread") : nullptr;
    ImageRange ntdllRange = RangeOf(ntdll);

    // The process's threads, each with the time it was created (0 when unknown): an id alone may
    // be given again to a new thread once the old one has ended. False when they cannot be listed.
    // (A snapshot of every thread of the system would take milliseconds for each plug-in call.)
    bool List(Stamps& threads) const
    {
        if (!next) return false;
        handles::UniqueHandle thread;
        for (HANDLE found = nullptr;
             next(GetCurrentProcess(), thread.get(), THREAD_QUERY_LIMITED_INFORMATION, 0, 0, &found) >= 0;) {
            thread.reset(found);
            FILETIME created = {}, exited = {}, kernel = {}, user = {};
            if (!GetThreadTimes(found, &created, &exited, &kernel, &user)) created = {};
            const UINT_PTR time = (static_cast<UINT_PTR>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
            threads.push_back({GetThreadId(found), time});
        }
        return true;
    }

    // The address the thread was started at (for one started by CreateThread, the function given
    // to it); 0 when unknown.
    UINT_PTR StartAddress(HANDLE thread) const
    {
        PVOID start = nullptr;
        if (!query || query(thread, kThreadWin32StartAddress, &start, sizeof(start), nullptr) < 0) return 0;
        return reinterpret_cast<UINT_PTR>(start);
    }

    // True when the thread's next instruction, or any value on the live part of its stack (a
    // return address among them), lies in the image; also when that cannot be read.
    bool RunsCodeOf(HANDLE thread, const ImageRange& image) const
    {
        ThreadBasicInformation basic = {};
        if (!query || query(thread, kThreadBasicInformation, &basic, sizeof(basic), nullptr) < 0 || !basic.teb) {
            return true;
        }
        const auto stackBase = reinterpret_cast<UINT_PTR>(static_cast<const NT_TIB*>(basic.teb)->StackBase);
        if (SuspendThread(thread) == static_cast<DWORD>(-1)) return true;
        // While it is held, nothing here may take a lock it could hold: no allocation, no loader
        // calls; only its registers and its stack are read.
        bool found = true;
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_CONTROL;
        if (GetThreadContext(thread, &context)) {
#if defined(_M_X64) || defined(__x86_64__)
            const UINT_PTR next = context.Rip;
            const UINT_PTR top = context.Rsp;
#elif defined(_M_ARM64) || defined(__aarch64__)
            const UINT_PTR next = context.Pc;
            const UINT_PTR top = context.Sp;
#else
#error "No stack reading for this target"
#endif
            constexpr UINT_PTR kMaxStackBytes = 64u << 20;
            if (top < stackBase && stackBase - top <= kMaxStackBytes) {
                found = image.Holds(next);
                for (UINT_PTR slot = top & ~(sizeof(UINT_PTR) - 1); !found && slot + sizeof(UINT_PTR) <= stackBase;
                     slot += sizeof(UINT_PTR)) {
                    found = image.Holds(*reinterpret_cast<const volatile UINT_PTR*>(slot));
                }
            }
        }
        ResumeThread(thread);
        return found;
    }
};

// A thread that can run code of the image. Ours is not asked: it is the one freeing.
// - Started at an address in the image: the plug-in's own.
// - Started in ntdll: the system's thread pool (or loader) worker, which runs whoever's work
//   is queued; the plug-in's only while its code is on the thread's stack now. One that has
//   finished a work item of the plug-in waits in the pool and is not the plug-in's.
// - Started anywhere else since the load (the C runtime's _beginthreadex starts every thread at
//   an address of its own, other system libraries alike): nobody can tell whose it is, so it
//   counts as the plug-in's.
bool ThreadRunsImageCode(CodeBeforeLoad::Stamp stamp, const CodeBeforeLoad& before, const ImageRange& image,
                         const SystemThreads& system)
{
    const bool known = Contains(before.threads, stamp);
    constexpr DWORD kAccess = SYNCHRONIZE | THREAD_QUERY_INFORMATION | THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT;
    const handles::UniqueHandle thread(OpenThread(kAccess, FALSE, static_cast<DWORD>(stamp.what)));
    if (!thread) return !known;
    // Ended: none of its code will run again.
    if (WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0) return false;
    const UINT_PTR start = system.StartAddress(thread.get());
    if (image.Holds(start)) return true;
    if (start && system.ntdllRange.Holds(start)) return system.RunsCodeOf(thread.get(), image);
    return !known;
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

// (A class the image registered under another module's handle has its procedure there.)
bool BelongsTo(HWND window, const Procedures& procedures, const ImageRange& image, HMODULE library)
{
    if (reinterpret_cast<HMODULE>(GetClassLongPtrW(window, GCLP_HMODULE)) == library) return true;
    const UINT_PTR all[] = {procedures.window[0], procedures.window[1], procedures.dialog[0], procedures.dialog[1],
                            procedures.ofClass};
    return std::any_of(std::begin(all), std::end(all), [&image](UINT_PTR procedure) { return image.Holds(procedure); });
}

bool InSomeModule(UINT_PTR address)
{
    HMODULE module = nullptr;
    return address && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                         reinterpret_cast<LPCWSTR>(address), &module);
}

// Whether the window procedure, or the dialog procedure a dialog has, lies in no module (a thunk
// in allocated memory, as ATL and WTL make them, say).
bool RunsThroughThunk(const Procedures& procedures)
{
    const bool windowInModule = InSomeModule(procedures.window[0]) || InSomeModule(procedures.window[1]);
    if (!windowInModule) return true;
    const bool hasDialogProcedure = procedures.dialog[0] || procedures.dialog[1];
    return hasDialogProcedure && !InSomeModule(procedures.dialog[0]) && !InSomeModule(procedures.dialog[1]);
}

// A window that belongs to the image (BelongsTo). A window that is new or has a new procedure
// since the load and runs through a thunk cannot be told: it counts as the image's too.
bool WindowRunsImageCode(HWND window, const CodeBeforeLoad& before, const ImageRange& image, HMODULE library)
{
    const Procedures procedures = ProceduresOf(window);
    if (BelongsTo(window, procedures, image, library)) return true;
    if (Contains(before.windows, {reinterpret_cast<UINT_PTR>(window), procedures.window[0]})) return false;
    return RunsThroughThunk(procedures);
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
    // Unlisted, every thread at the free counts as new.
    SystemThreads().List(before.threads);
    for (HWND window : ThreadWindows(true)) {
        const auto procedure = static_cast<UINT_PTR>(GetWindowLongPtrW(window, GWLP_WNDPROC));
        before.windows.push_back({reinterpret_cast<UINT_PTR>(window), procedure});
    }
    return before;
}

bool CodeMayStillRun(HMODULE library, const CodeBeforeLoad& before)
{
    const ImageRange image = RangeOf(library);
    // Without its extent nothing can be told about it.
    if (image.begin == image.end) return true;
    const SystemThreads system;
    Stamps threads;
    if (!system.List(threads)) return true;
    const DWORD self = GetCurrentThreadId();
    for (const CodeBeforeLoad::Stamp thread : threads) {
        if (thread.what != self && ThreadRunsImageCode(thread, before, image, system)) return true;
    }
    for (HWND window : ThreadWindows(true)) {
        if (WindowRunsImageCode(window, before, image, library)) return true;
    }
    return false;
}

bool WindowBelongsTo(HWND window, const ImageRange& image, HMODULE library)
{
    return BelongsTo(window, ProceduresOf(window), image, library);
}

#include "fault_notes.h"

#include <algorithm>

namespace {

// More faults than this in one call are not told apart: the call then counts as faulted.
constexpr unsigned kNotedFaults = 32;
// Plug-ins that faulted stay loaded and noted; past this many, every image's fault counts.
constexpr unsigned kNotedPlugins = 256;

// Zero at start, with no initializer of its own: it takes no room in the program file.
struct Notes {
    // The thread inside a guarded call, 0 when none; the handler notes for it alone.
    volatile LONG thread;
    // Written by the handler, on that thread, in the middle of its own code: no lock, no allocation.
    volatile FaultCount count;
    void* volatile images[kNotedFaults];
    // The plug-in images that are mapped, or whose free broke off; no allocation, so that noting
    // one cannot fail part way.
    HMODULE plugins[kNotedPlugins];
    unsigned pluginCount;
    bool pluginsLost;
};

Notes g_notes;

bool IsHardwareFault(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
        return true;
    default:
        return false;
    }
}

// Runs first for every exception of the process, on the thread that raised it; decides nothing.
LONG CALLBACK NoteHardwareFault(EXCEPTION_POINTERS* pointers)
{
    Notes& notes = g_notes;
    if (static_cast<DWORD>(notes.thread) != GetCurrentThreadId()) return EXCEPTION_CONTINUE_SEARCH;
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (!IsHardwareFault(record.ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
    // The image is read now: a loader that contains a fault of DllMain may unmap it before the
    // call returns.
    MEMORY_BASIC_INFORMATION region = {};
    void* image = nullptr;
    if (VirtualQuery(record.ExceptionAddress, &region, sizeof(region)) && region.Type == MEM_IMAGE) {
        image = region.AllocationBase;
    }
    notes.images[notes.count % kNotedFaults] = image;
    notes.count = notes.count + 1;
    return EXCEPTION_CONTINUE_SEARCH;
}

// Once for the process, and never removed: its code is ours, and it costs a comparison per
// exception outside a call.
void InstallHandler()
{
    static const PVOID handler = AddVectoredExceptionHandler(1, NoteHardwareFault);
    (void)handler;
}

bool IsPlugin(const Notes& notes, const void* image)
{
    const HMODULE* end = notes.plugins + notes.pluginCount;
    return notes.pluginsLost || std::find(notes.plugins, end, image) != end;
}

}  // namespace

void NotePluginImage(HMODULE library)
{
    Notes& notes = g_notes;
    if (!library || IsPlugin(notes, library)) return;
    if (notes.pluginCount == kNotedPlugins) {
        notes.pluginsLost = true;
        return;
    }
    notes.plugins[notes.pluginCount++] = library;
}

void ForgetPluginImage(HMODULE library)
{
    Notes& notes = g_notes;
    notes.pluginCount = static_cast<unsigned>(std::remove(notes.plugins, notes.plugins + notes.pluginCount, library) -
                                              notes.plugins);
}

FaultWatch::FaultWatch()
{
    InstallHandler();
    Notes& notes = g_notes;
    const LONG self = static_cast<LONG>(GetCurrentThreadId());
    const LONG was = InterlockedCompareExchange(&notes.thread, self, 0);
    watching_ = was == 0 || was == self;
    // A nested watch leaves the thread to the outermost one, which ends last.
    outermost_ = was == 0;
    begun_ = notes.count;
}

FaultWatch::~FaultWatch()
{
    if (outermost_) InterlockedExchange(&g_notes.thread, 0);
}

bool FaultWatch::SawPluginFault(HMODULE library) const
{
    const Notes& notes = g_notes;
    if (!watching_) return false;
    const FaultCount end = notes.count;
    if (end - begun_ > kNotedFaults) return true;
    for (FaultCount fault = begun_; fault < end; ++fault) {
        const void* image = notes.images[fault % kNotedFaults];
        if (image && (image == library || IsPlugin(notes, image))) return true;
    }
    return false;
}

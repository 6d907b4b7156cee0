#include "fault_guard.h"

#include <windows.h>

#include <excpt.h>

#include "fault_notes.h"

namespace {

// Decides and does nothing else: with the user-mode callback filter on (plugin_call.cpp), the
// system may consult it for an exception in a window procedure whose handler it never runs.
LONG FilterPluginFault(const EXCEPTION_POINTERS* pointers)
{
    if (pointers->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) return EXCEPTION_CONTINUE_SEARCH;
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

static bool RunGuarded(void (*call)(void* context), void* context);

bool RunContained(void (*call)(void* context), void* context)
{
    const FaultWatch watch;
    const bool returned = RunGuarded(call, context);
    return returned && !watch.SawPluginFault();
}

#if defined(_MSC_VER)

static bool RunGuarded(void (*call)(void* context), void* context)
{
    __try {
        call(context);
    } __except (FilterPluginFault(GetExceptionInformation())) {
        return false;
    }
    return true;
}

#elif defined(__x86_64__)

// MinGW-w64's __try1/__except1 name the filter by its symbol, so it needs C linkage.
extern "C" LONG PlexmoorPluginFaultFilter(EXCEPTION_POINTERS* pointers, void*)
{
    return FilterPluginFault(pointers);
}

// __try1 places the filter and the range [start, end) in this function's unwind data: after a
// fault, execution goes on at the end of the range. The labels are fixed, so this must stay
// the file's only guarded function, with no C++ cleanups of its own (never inlined into one that
// has them); and the flag lives in memory, since registers set inside the range are not restored
// when the handler runs.
__attribute__((noinline)) static bool RunGuarded(void (*call)(void* context), void* context)
{
    volatile bool returned = false;
    __try1(PlexmoorPluginFaultFilter)
    call(context);
    returned = true;
    __except1
    return returned;
}

#else
#error "No frame-based exception handler for this target"
#endif

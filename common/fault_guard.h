// Calls into plug-in code so that a plug-in that faults costs the user one action, not the
// program. Plug-ins are old third-party native code: an access violation, a division by zero,
// a RaiseException or a C++ exception escaping their own runtime must not end either program.
//
// How: a frame-based (SEH) handler around the one call. The plug-in's own handlers see its
// exceptions first and keep them; only what it leaves unhandled reaches ours. A vectored
// handler would not do: it sees every first-chance exception, the handled ones too. What the
// system itself contains before it reaches ours (a fault in a window procedure it called through a
// kernel callback, say) is told afterwards from what a vectored handler noted (fault_notes.h).
//
// Limits:
// - A stack overflow is not contained: the stack's guard page is spent by then, so the next
//   overflow could not even be reported. The process ends as it would without the guard.
// - Whatever the plug-in held when it faulted (its heap, its locks, its windows) stays as it
//   was. Callers never free a library that faulted, and put the windows back (plugin_call.h).
// - An exception of our own code inside the guarded call (a bad_alloc, say) would be taken for
//   the plug-in's fault and its cleanups skipped. So the callable does nothing but call the
//   plug-in and store plain values; only what the plug-in itself calls back (our window
//   procedures, through the messages its dialog sends) runs there besides.
#pragma once

// Runs call(context); true when it returned, false when an exception escaped it or a hardware
// fault was raised meanwhile in a plug-in's code (fault_notes.h), seen by this handler or not.
bool RunContained(void (*call)(void* context), void* context);

template <typename F>
bool CallContained(F& call)
{
    return RunContained([](void* context) { (*static_cast<F*>(context))(); }, &call);
}

// Observes what the code under test shows and sounds, without showing or sounding it:
// MessageBeep and MessageBoxW are replaced in this test program's import table; and answers, in
// the system's place, the code's lookups of functions by name (GetProcAddress).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CapturedMessageBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};

// While alive, beeps and message boxes of the code under test are recorded, not performed.
class UiIntercept {
public:
    UiIntercept();
    ~UiIntercept();
    UiIntercept(const UiIntercept&) = delete;
    UiIntercept& operator=(const UiIntercept&) = delete;

    const std::vector<UINT>& Beeps() const;
    const std::vector<CapturedMessageBox>& MessageBoxes() const;
    void Clear();
};

// Replaces one imported function of the running executable; returns the previous address,
// or null when the import is not there.
void* PatchImport(const char* dll, const char* function, void* replacement);

// While alive, this program's lookups of functions by name (GetProcAddress, through its import
// table) go to answer first: it sets address (null for "no such function") and returns true, or
// returns false to leave the lookup to the system. One at a time.
class LookupIntercept {
public:
    using Answer = bool (*)(HMODULE module, const char* name, FARPROC& address);
    explicit LookupIntercept(Answer answer);
    ~LookupIntercept();
    LookupIntercept(const LookupIntercept&) = delete;
    LookupIntercept& operator=(const LookupIntercept&) = delete;

    // False when this program does not import GetProcAddress: nothing is answered then.
    bool Active() const { return active_; }

private:
    bool active_ = false;
};

// A function of ours as GetProcAddress hands functions out.
template <typename Fn>
FARPROC AsLookedUp(Fn function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

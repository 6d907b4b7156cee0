// Observes what the code under test shows and sounds, without showing or sounding it:
// MessageBeep and MessageBoxW are replaced in this test program's import table.
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

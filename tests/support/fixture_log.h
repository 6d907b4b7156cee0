// What the fixture plug-ins report (FixtureLog, HandleText), and where they are (FixturePath).
//
// Every fixture appends UTF-8 lines "<name> <event>" to the file named by the environment
// variable PLEXMOOR_FIXTURE_LOG, <name> being its file name without folder and extension:
//   <name> attach <pid> errormode <m> DLL_PROCESS_ATTACH (decimal process id, the process's
//                                     error mode in lowercase hex)
//   <name> detach free <pid>          DLL_PROCESS_DETACH when the library is freed
//   <name> detach exit <pid>          DLL_PROCESS_DETACH when the process ends with it loaded
//   <name> info <number>              each GetPluginInfo call
//   <name> config <function> <hwnd>   each ConfigurationDlg call, parent as in HandleText
//   selfclosing dialog <hwnd>         its modal dialog was created
//   selfclosing owner <hwnd> same=<0|1> visible=<0|1> enabled=<0|1> size=<w>x<h>
//                                     owner of that dialog just before it closes itself
//   faulty dialog <hwnd>, faulty faulting   its dialog was created; it is about to fault
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "scratch.h"

// Points PLEXMOOR_FIXTURE_LOG at a new empty file in a folder of its own while the object lives;
// child processes started meanwhile inherit it. One log at a time: the end unsets the variable.
class FixtureLog {
public:
    FixtureLog();
    ~FixtureLog();

    // All complete lines so far, without line ends.
    std::vector<std::string> Lines() const;
    // The lines that start with prefix, e.g. "ordinary info " or "selfclosing owner ".
    std::vector<std::string> Matching(const std::string& prefix) const;
    std::size_t Count(const std::string& prefix) const;
    // The window handle written after prefix on its first line (e.g. "faulty dialog "), or null.
    HWND LoggedWindow(const std::string& prefix) const;
    // The error mode that fixture <name> found at its first attach, or -1 when it never attached.
    long long ErrorModeAtAttach(const std::string& name) const;
    // Waits until at least count lines start with prefix; false when timeoutMs passed first.
    bool WaitFor(const std::string& prefix, std::size_t count = 1, DWORD timeoutMs = 5000) const;
    // Empties the file; fixtures that are loaded keep appending to it.
    void Clear();

private:
    TempFolder folder_;
    std::wstring path_ = folder_ / L"fixtures.log";
};

// A window handle written the way the fixtures write it: lowercase hex, no prefix, "0" for null.
std::string HandleText(HWND window);

// ExecutableDir() + "\fixtures", where the fixture plug-ins are built.
std::wstring FixturesDir();
// FixturesDir() + "\" + fileName, e.g. FixturePath(L"ordinary.sph").
std::wstring FixturePath(const std::wstring& fileName);

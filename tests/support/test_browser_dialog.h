// The browser's main dialog built from its real template, with a procedure that does nothing,
// so that a test drives the browser's operations itself, and IsLoaded. Only for test programs
// that carry the browser's resources and code.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "inspect.h"
#include "module.h"
#include "process_ui.h"
#include "resource.h"

class TestBrowserDialog {
public:
    TestBrowserDialog()
    {
        InitCommonControls();
        window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BROWSER), nullptr, &Proc, 0);
        if (!window_) return;
        SetWindowLongPtrW(window_, DWLP_USER, 0);
        InsertReportColumns(window_, IDC_INFO_LIST, LoadResourceString(IDS_INFO_COLUMN_KIND),
                            LoadResourceString(IDS_INFO_COLUMN_CONTENT));
        InsertReportColumns(window_, IDC_TYPE_LIST, LoadResourceString(IDS_TYPE_COLUMN_EXTENSION),
                            LoadResourceString(IDS_TYPE_COLUMN_FORMAT));
    }
    ~TestBrowserDialog()
    {
        if (window_) DestroyWindow(window_);
    }
    TestBrowserDialog(const TestBrowserDialog&) = delete;
    TestBrowserDialog& operator=(const TestBrowserDialog&) = delete;

    HWND get() const { return window_; }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }

    // Shows folder and puts exactly one entry in the plug-in list, selected, the way a scan
    // leaves it, without a scan's file search and history.
    void ShowEntry(const std::wstring& folder, const std::wstring& entry) const
    {
        SetDlgItemTextW(window_, IDC_FOLDER, folder.c_str());
        SendMessageW(Item(IDC_PLUGIN_LIST), LB_RESETCONTENT, 0, 0);
        SendMessageW(Item(IDC_PLUGIN_LIST), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
        SendMessageW(Item(IDC_PLUGIN_LIST), LB_SETCURSEL, 0, 0);
    }

    std::vector<std::wstring> ListBoxEntries() const { return ListBoxItems(Item(IDC_PLUGIN_LIST)); }
    std::vector<Row> Rows(int id) const { return ListViewRows(Item(id)); }

private:
    static INT_PTR CALLBACK Proc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

    HWND window_ = nullptr;
};

// True while a library of that full path is loaded in this process.
inline bool IsLoaded(const std::wstring& path)
{
    return GetModuleHandleW(path.c_str()) != nullptr;
}

// The browser's main dialog built from its real template, with a procedure that does nothing,
// so that a test drives the browser's operations itself. Only for test programs that carry the
// browser's resources and code.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "inspect.h"
#include "module.h"
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

    std::vector<std::wstring> ListBoxEntries() const
    {
        std::vector<std::wstring> entries;
        HWND list = Item(IDC_PLUGIN_LIST);
        const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const int length = static_cast<int>(SendMessageW(list, LB_GETTEXTLEN, i, 0));
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
            text.resize(static_cast<size_t>(length));
            entries.push_back(text);
        }
        return entries;
    }

    // Rows of a report list as (column 0, column 1), as the list view holds them.
    std::vector<std::pair<std::wstring, std::wstring>> Rows(int id) const
    {
        std::vector<std::pair<std::wstring, std::wstring>> rows;
        HWND list = Item(id);
        const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) rows.emplace_back(Cell(list, row, 0), Cell(list, row, 1));
        return rows;
    }

    // Indexes of the rows that carry the selected state.
    std::vector<int> SelectedRows(int id) const
    {
        std::vector<int> selected;
        HWND list = Item(id);
        const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            if (SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED) selected.push_back(row);
        }
        return selected;
    }

private:
    static INT_PTR CALLBACK Proc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

    static std::wstring Cell(HWND list, int row, int column)
    {
        std::vector<wchar_t> text(8192, L'\0');
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return std::wstring(text.data(), static_cast<size_t>(length));
    }

    HWND window_ = nullptr;
};

// True while a library of that full path is loaded in this process.
inline bool IsLoaded(const std::wstring& path)
{
    return GetModuleHandleW(path.c_str()) != nullptr;
}

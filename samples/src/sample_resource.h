// Identifiers shared by the sample plug-ins' resource scripts and their common code.
#pragma once

#define IDD_SAMPLE_SETTINGS 100
#define IDD_SAMPLE_ABOUT 101

#define IDC_SETTING_CHECK 1001
#define IDC_SETTING_EDIT 1002
#define IDC_SETTING_WHERE 1003

#define IDC_ABOUT_ICON 1101
#define IDC_ABOUT_FORMATS 1102

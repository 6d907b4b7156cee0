// Resource ids of Plexmoor1. Included by the resource script and the sources.
#pragma once

#define IDI_CONFIGURATOR 101
#define IDD_CONFIG_HOST 104

#define IDS_LOCALE 102
#define IDS_USAGE_BEFORE_NAME 104
#define IDS_USAGE_AFTER_NAME 105
#define IDS_RELATIVE_PATH 106
#define IDS_LOAD_FAILED 107
#define IDS_NOT_A_PLUGIN 108
#define IDS_NO_SETTINGS 109
// One text per ConfigurationDlg result: 0 and -1 at 110 and 111, 1 to 8 at 112 to 119,
// any other value at 120.
#define IDS_RESULT_SUCCESS 110
#define IDS_RESULT_NOT_IMPLEMENTED 111
#define IDS_RESULT_FIRST_ERROR 112
#define IDS_RESULT_OTHER 120
// A plug-in faulted in its own code while it ran.
#define IDS_PLUGIN_FAULT 121

#pragma once
// Resource and control ids shared by the resource script and the dialogs.
#define IDD_PROGRESS 103
#define IDD_RUNTIME_CHOICE 104
#define IDC_PROGRESS_BAR 1001
#define IDC_STATUS_LINE 1002
#define IDC_MESSAGE_TEXT 1003
#define IDC_DOWNLOAD 1004
#define IDC_LOCATE 1005

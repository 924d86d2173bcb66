// Identifiers of the Windows wizard's resources and controls. The test driver finds the controls
// of the running wizard by these identifiers too.
#pragma once

#define IDI_TARVELLE 1
#define IDI_ABOUT 2

#define IDD_SELECTION 100
#define IDD_PROGRESS 101
#define IDD_ABOUT 102

// Pictures, PNG, drawn at twice their size at 96 dots per inch and scaled down.
#define IDR_SELECTION_BACKDROP 201
#define IDR_PROGRESS_BACKDROP 202
#define IDR_GLOBE 203
#define IDR_HELP 204
#define IDR_PNG 256

// The selection page.
#define IDC_LABEL3 1001
#define IDC_LABEL4 1002
#define IDC_LABEL2 1003
#define IDC_SHAPE1 1004
#define IDC_SOURCE 1005
#define IDC_CHOOSE_FRAME 1006
#define IDC_OPT_DEFAULT 1007
#define IDC_OPT_CHOOSE 1008
#define IDC_FILENAME 1009
#define IDC_BROWSE 1010
#define IDC_NEXT 1011

// The progress page.
#define IDC_PROGRESS_FRAME 1101
#define IDC_LOG 1102
#define IDC_START 1103
#define IDC_BACK 1104
#define IDC_EXIT 1105

// The About box; OK and Cancel are IDOK and IDCANCEL.
#define IDC_ABOUT_TITLE 1201
#define IDC_ABOUT_NOTICE 1202
#define IDC_SITE_CAPTION 1203
#define IDC_SITE_LINK 1204
#define IDC_HELP_CAPTION 1205
#define IDC_HELP_LINK 1206

// Menu entries: IDM_FIRST plus the wizard's menu command number.
#define IDM_FIRST 300

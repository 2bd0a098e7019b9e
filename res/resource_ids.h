// Resource numbers shared by the resource script and the code.
#pragma once

// Built-in strings (string table, each overridable by BRANDING).
#define kStrPackageLink 129
#define kStrDotNetLink 130
#define kStrPackageLabelEnterprise 131
#define kStrWizardTitle 132
#define kStrPackageLabel 133
#define kStrSql64Link 134
#define kStrSql86Link 135
#define kStrProductFolder 136
#define kStrSql2012Link 137
#define kStrDisplayName 138
#define kStrVersion 139
#define kStrPublisher 140
#define kStrStartMenuFolder 141
#define kStrId 142
#define kStrUpgradeLink 143
#define kStrLicence 144
#define kStrSql2012x86Link 145
#define kStrAuditEndpoint 146
// SHA-256 pins of the download links: "sha256:" and 64 hexadecimal digits
// that the downloaded (or copied) file must hash to before it is extracted
// or started. Empty (the shipped default): no pin, the file is unverified.
#define kStrPackagePin 147
#define kStrDotNetPin 148
#define kStrSql64Pin 149
#define kStrSql86Pin 150
#define kStrSql2012Pin 151
#define kStrUpgradePin 152
#define kStrSql2012x86Pin 153

// Icons and bitmaps.
#define IDI_APPLICATION_ICON 128
#define IDI_PAGE 1005
#define IDI_DONE 1010
#define IDI_FAILED 1011
#define IDB_WELCOME_NAME "IDB_WELCOME"

// Dialog templates.
#define IDD_UNINSTALL 131

#define IDD_WELCOME_PAGE 1004
#define IDD_EDITION_PAGE 1006
#define IDD_CLUSTER_MODE_PAGE 1007
#define IDD_COMMIT_PAGE 1008
#define IDD_EULA_PAGE 1009
// The task list alone, in a window of its own (a passive run).
#define IDD_TASK_LIST_WINDOW 1020

// Welcome page controls.
#define IDC_WELCOME_INTRO 1003
#define IDC_WELCOME_DETAILS 1004

// Licence page controls.
#define IDC_EULA_TEXT 1008
#define IDC_EULA_AGREE 1006

// Database choice page controls.
#define IDC_DB_ALL_IN_ONE 1003
#define IDC_DB_EXISTING 1004
#define IDC_DB_USER 1005
#define IDC_DB_PASSWORD 1006
#define IDC_DB_NAME 1007
#define IDC_DB_SERVER 1009

// Commit page controls.
#define IDC_TASK_LIST 1004
#define IDC_INSTRUCTION 1025
#define IDC_INSTALL_TO_LABEL 1026
#define IDC_INSTALL_FOLDER 1027
#define IDC_BROWSE 1028
#define IDC_PROXY_LINK 1024

// Uninstall dialog controls.
#define IDC_UNINSTALL_PROGRESS 1000
#define IDC_UNINSTALL_STATUS 1010

// Wizard buttons.
#define ID_WIZBACK 12323
#define ID_WIZNEXT 12324
#define ID_WIZFINISH 12325
#define IDC_HELP_BUTTON 9

// The wizard's stage indicator.
#define IDC_STAGE 100
// Proxy dialog and its controls.
#define IDD_PROXY 1012
#define IDC_PROXY_TYPE 1013
#define IDC_PROXY_DESCRIPTION 1014
#define IDC_PROXY_ADDRESS 1015
#define IDC_PROXY_PORT 1016
#define IDC_PROXY_USER 1017
#define IDC_PROXY_PASSWORD 1018
#define IDC_PROXY_BYPASS 1019

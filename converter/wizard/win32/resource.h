// Identifiers of the Windows wizard's dialog templates and controls. A
// control's identifier carries the name the pages give it (IDC_ + name).
#ifndef TOLLAN_CONVERTER_WIZARD_WIN32_RESOURCE_H_
#define TOLLAN_CONVERTER_WIZARD_WIN32_RESOURCE_H_

#define IDD_START 100
#define IDD_DEFAULT_OE 101
#define IDD_CHOOSE_DBX 102
#define IDD_OPTIONS 103

// Every page.
#define IDC_CmdHelp 1001
#define IDC_cmdEnd 1002
#define IDC_Frame1 1003
#define IDC_Label1 1004

// The start page.
#define IDC_OptDefaultOE 1010
#define IDC_OptChooseDBX 1011
#define IDC_Frame2 1012
#define IDC_LblDefaultOE 1013
#define IDC_CmdNext 1014

// Both conversion pages.
#define IDC_OptOnePST 1020
#define IDC_OptEachPST 1021
#define IDC_ChkDeletedItems 1022
#define IDC_FrameConversion 1023
#define IDC_Label3 1024
#define IDC_ProgressBar1 1025
#define IDC_Label2 1026
#define IDC_ProgressBar2 1027
#define IDC_LblProgessCurrent 1028
#define IDC_LblCurrentDBX 1029
#define IDC_CmdBack 1030
#define IDC_CmdOptions 1031
#define IDC_CmdExtractDBX 1032

// The default-store page.
#define IDC_lblCount1 1040
#define IDC_LblDefaultOEIdentity 1041
#define IDC_LblDBXFolders 1042
#define IDC_LblStoreProblem 1043

// The file-list page (its count label is IDC_lblCount1).
#define IDC_grdFiles1 1050
#define IDC_txtDBXFolder 1051
#define IDC_cmdAdd 1052
#define IDC_CmdAddFolder 1053
#define IDC_cmdClear1 1054
#define IDC_LblFolder 1055

// The options dialog.
#define IDC_ChkKeepFolderTree 1060
#define IDC_ChkRecover 1061
#define IDC_ChkVerify 1062
#define IDC_ChkConvertOutbox 1063
#define IDC_LblReportPath 1064
#define IDC_TxtReportPath 1065
#define IDC_LblIdentity 1066
#define IDC_CmbIdentity 1067
#define IDC_LblMaxPstSize 1068
#define IDC_TxtMaxPstSize 1069

#endif  // TOLLAN_CONVERTER_WIZARD_WIN32_RESOURCE_H_

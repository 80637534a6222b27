// Identifiers of the window's resources and controls.
#pragma once

#define IDD_FTOVANA 100
#define IDB_FOLDER 101
#define IDB_PAGE 102
#define IDB_FAILED 103

#define IDC_PANEL1 1001
#define IDC_LABEL4 1002
#define IDC_BEVEL1 1003
#define IDC_GROUPBOX1 1004
#define IDC_LABEL1 1005
#define IDC_EPATH 1006
#define IDC_BUTTON1 1007
#define IDC_CSUBDIR 1008
#define IDC_LABEL2 1009
#define IDC_EMASK 1010
#define IDC_LABEL3 1011
#define IDC_GROUPBOX3 1012
#define IDC_CRENDIR 1013
#define IDC_CREPLSPACE 1014
#define IDC_CNONALPHANUM 1015
#define IDC_CREMUNDR 1016
#define IDC_CREPLUNDR 1017
#define IDC_CREMSPACE 1018
#define IDC_GROUPBOX2 1019
#define IDC_RNOCHANGENAME 1020
#define IDC_RUPPERNAME 1021
#define IDC_RLOWERNAME 1022
#define IDC_LBMESSAGE 1023
#define IDC_LABEL5 1024
#define IDC_LAUTHOR 1025
#define IDC_LWEB 1026
// bOK and bCancel are the dialog's IDOK and IDCANCEL, so that Enter and Esc reach them.

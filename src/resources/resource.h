// Identifiers of the program's resources: dialogs, controls, icons.
// Control ids are fixed: the code and the templates meet through them.
#pragma once

// Icons
#define IDI_APP 110      // window classes, tray icon
#define IDI_SETTINGS 114 // settings dialog, LCD bars and the boxes

// Boxes
#define IDD_INFO_BOX 154      // "Information": InfoBox and the cable-check countdown
#define IDD_CONFIRM_BOX 165   // "Warning": Yes/No question
#define IDD_COMM_INFO_BOX 167 // "Please wait command is processing"

#define IDC_BOX_TEXT 1100       // text of the information and warning boxes
#define IDC_COMM_INFO_TEXT 1130 // text of the comm-info box

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

// Windows created at start-up (the settings window and its pages, the LCD
// bars, the mouse-button window)
#define IDD_SETTINGS 133
#define IDD_PAGE_ZMR01 153
#define IDD_MINI_LCD_BAR 160
#define IDD_PAGE_ABOUT 162
#define IDD_LCD_BAR_TYPE2 163
#define IDD_PAGE_ZMR02 164 // ZMR02, ZMR03 and ZMR04
#define IDD_MOUSE_BUTTON 166
#define IDD_LCD_BAR_TYPE1 139
#define IDD_LCD_BAR_TYPE3 1041

#define IDC_SETTINGS_TAB 1040
#define IDC_MAXIMIZE 1104
#define IDC_MOUSE_BUTTON 1136

// Settings window (dialog 133)
#define IDC_APPLY 3
#define IDC_KEYBOARD 4 // also "&Keyboard" of the LCD bars

// Driver and Mouse pages
#define IDD_PAGE_DRIVER 149
#define IDD_PAGE_MOUSE 150

#define IDC_CONTROLLER_TYPE 1051 // Hardware page: "Controller type"

// Controller pages (dialogs 153 and 164): slider, caption and value label
#define IDC_SLIDER_PRESS_DELAY 1084
#define IDC_CAPTION_PRESS_DELAY 1078
#define IDC_LABEL_PRESS_DELAY 1089
#define IDC_SLIDER_RELEASE_DELAY 1069
#define IDC_CAPTION_RELEASE_DELAY 1072
#define IDC_LABEL_RELEASE_DELAY 1075
#define IDC_SLIDER_DEGLITCH 1067
#define IDC_CAPTION_DEGLITCH 1070
#define IDC_LABEL_DEGLITCH 1073
#define IDC_SLIDER_STABILIZATION 1086
#define IDC_CAPTION_STABILIZATION 1087
#define IDC_LABEL_STABILIZATION 1088
#define IDC_SLIDER_FILTER 1071
#define IDC_CAPTION_FILTER 1074
#define IDC_LABEL_FILTER 1077
#define IDC_SLIDER_CHARGE_WS 1126 // ZMR02..04 only
#define IDC_CAPTION_CHARGE_WS 1125
#define IDC_LABEL_CHARGE_WS 1081
#define IDC_CTRL_INFO 1076
#define IDC_GROUP_STATUS 1116
#define IDC_GROUP_PARAMETERS 1117
#define IDC_CTRL_DEFAULT 1085
#define IDC_CTRL_REINIT 1083
#define IDC_CTRL_REFRESH 1082

// LCD setting bars (dialogs 139, 163, 1041) and the mini LCD bar (160)
#define IDC_LCD_LEFT 1000
#define IDC_LCD_RIGHT 1002
#define IDC_LCD_UP 1003
#define IDC_LCD_DOWN 1004
#define IDC_LCD_SELECT 1010
#define IDC_LCD_AUTO 1064
#define IDC_LCD_MINIMIZE 1103
#define IDC_LCD_TOUCH 1113
#define IDC_LCD_BRIGHTNESS 1135
#define IDC_LCD_STORE 1137

#define IDI_LCD_LEFT 142
#define IDI_LCD_RIGHT 143
#define IDI_LCD_UP 144
#define IDI_LCD_DOWN 145
#define IDB_LCD_MINIMIZE 144
#define IDB_LCD_MAXIMIZE 147

// Access-code keypad
#define IDD_CODE_KEYPAD 168
#define IDC_KEYPAD_DISPLAY 1134
#define IDC_KEYPAD_DIGIT0 1200 // "0".."9" are 1200..1209
#define IDC_KEYPAD_ESC 1210
#define IDC_KEYPAD_ENTER 1211
#define IDC_KEYPAD_CHNG 1212

// Calibration page
#define IDD_PAGE_CALIBRATION 135
#define IDC_CALIBRATE 1041     // "Calibrate"
#define IDC_MARKER_GROUP 1046  // "&Start in at"
#define IDC_MARKER_0 1047      // "&0%"; the ids are the values of MarkerDistance
#define IDC_MARKER_12 1048     // "&12%"
#define IDC_MARKER_22 1049     // "&22%"
#define IDC_DRAW 1050          // "Draw"
#define IDC_LAST_CHECK 1300    // "Last check: 3 px"
#define IDC_TOUCH_SCREEN 1400  // "Screen 2 of 2, 1920 x 1080"
#define IDC_POINTS_GROUP 1301  // "&Points"
#define IDC_POINTS_3 1302      // "3"; CalibrationPoints 3
#define IDC_POINTS_5 1303      // "5"; CalibrationPoints 5

// Driver page (dialog 149)
#define IDC_ROTATE 1083
#define IDC_ROTATE_CAPTION 1098
#define IDC_TOUCH_MODE 1092
#define IDC_TOUCH_MODE_CAPTION 1093
#define IDC_SWAP_XY 1096
#define IDC_LCD_TOPMOST 1118
#define IDC_DBLCLK_SIZE 1110
#define IDC_DBLCLK_SIZE_CAPTION 1109
#define IDC_DBLCLK_SIZE_LABEL 1111
#define IDC_DBLCLK_TIME 1072
#define IDC_DBLCLK_TIME_CAPTION 1075
#define IDC_DBLCLK_TIME_LABEL 1078
#define IDC_SHOW_COMM_INFO 1101
#define IDC_USE_LOG_EVENT 1127
#define IDC_PROCESS_GROUP 1107
#define IDC_DBLCLK_GROUP 1108

// Mouse page (dialog 150)
#define IDC_BUTTON_LEFT 1000 // the radio ids are the values of MouseButton
#define IDC_BUTTON_MIDDLE 1001
#define IDC_BUTTON_RIGHT 1002
#define IDC_WINDOW_LEFT 1006 // AssignedMouseButton is the id minus 1006
#define IDC_WINDOW_MIDDLE 1007
#define IDC_WINDOW_RIGHT 1008
#define IDC_WINDOW_TOPMOST 1009
#define IDC_HOLD_CAPTION 1310     // "Right click by holding:"
#define IDC_HOLD_RIGHT_CLICK 1311 // off / 0.5 s / 1 s / 2 s

// Hardware page (dialog 136)
#define IDD_PAGE_HARDWARE 136
#define IDC_HW_PORT_CAPTION 1055      // "&Port"
#define IDC_HW_PORT 1056              // "COM1".."COM8", item = channel index
#define IDC_HW_GROUP_COM 1057         // "COM setting"
#define IDC_HW_BAUD_RATE_CAPTION 1058 // "Baud rate"
#define IDC_HW_PARITY_CAPTION 1059    // "Parity"
#define IDC_HW_DATA_BITS_CAPTION 1060 // "Data bits"
#define IDC_HW_STOP_BITS_CAPTION 1061 // "Stop bits"
#define IDC_HW_BAUD_RATE 1062
#define IDC_HW_PARITY 1063
#define IDC_HW_DATA_BITS 1041
#define IDC_HW_STOP_BITS 1042
#define IDC_HW_CONTROLLER_CAPTION 1052 // "Controller type"
#define IDC_HW_LCD_CAPTION 1053 // "LCD type"
#define IDC_HW_LCD_TYPE 1054
#define IDC_HW_SAVE_CONFIGURATION 1112 // "Save configuration"
#define IDC_HW_LOAD_CONFIGURATION 1119 // "Load configuration"

// About page (dialog 162)
#define IDB_ABOUT_LOWER 145
#define IDB_ABOUT_UPPER 146
#define IDC_ABOUT_LCD 5 // "&Lcd", never shown
#define IDC_ABOUT_UPPER_IMAGE 1105
#define IDC_ABOUT_LOWER_IMAGE 1106
#define IDC_ABOUT_VERSION 1115
#define IDC_ABOUT_AUTHOR 1139
#define IDC_ABOUT_TEMPERATURE 1138
#define IDC_ABOUT_EXEC_APP 1131
#define IDC_ABOUT_EXIT 1044 // "Exit", or "Reboot" on embedded systems

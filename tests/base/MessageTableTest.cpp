// The compiled message table: identifiers as the program and the event log
// know them, and every text as the user reads it (escapes processed, inserts
// left empty, the table's CR LF at the end).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "Messages.h"
#include "app/AppTestSupport.h"
#include "base/BoundedText.h"
#include "base/Reporting.h"

namespace {

struct Message {
    DWORD compiled; // the symbolic name
    uint32_t id;    // the identifier as tabulated
    const char* text;
};

const Message kMessages[] = {
    {MSG_CHANNEL_SWITCH_ERROR, 0x602a0002u,
     "An error occurred while user has been switching to the other channel: .\r\n"},
    {MSG_CHANNEL_AUTODETECTED, 0x602a0003u,
     "Invalid channel therefore autodetection was running. Autodetected channel was chosen: .\r\n"},
    {MSG_CTRL_CONFIG_READ_ERROR, 0x602a000au,
     "While configuration was reading from the controller an error occurred.\r\n"},
    {MSG_USER_CHANGED_CHANNEL, 0x602a0034u, "User has changed CHANNEL<PORT>: .\r\n"},
    {MSG_AUTODETECT_FAILED, 0xa02a0004u, "Autodetection failed. Default channel was chosen: .\r\n"},
    {MSG_CHANNEL_CANT_OPEN, 0xa02a0006u, "The channel can't be opened: .\r\n"},
    {MSG_INCOMPATIBLE_FIRMWARE, 0xa02a0007u, "Incompatible firmware: \r\n"},
    {MSG_INCOMPATIBLE_COMMAND, 0xa02a0008u, "Incompatible command: \r\n"},
    {MSG_REGISTRY_WRITE_ERROR, 0xa02a0009u,
     "While configuration was writing to the registry an error occurred.\r\n"},
    {MSG_CTRL_SEND_ERROR, 0xa02a000du,
     "While new configuration was sending to controller an error occurred.\r\n"},
    {MSG_CTRL_REGISTRY_READ_ERROR, 0xa02a000fu,
     "While controller configuration was reading from registry an error occurred.\r\n"},
    {MSG_LCD_REGISTRY_READ_ERROR, 0xa02a0010u,
     "While LCD configuration was reading from registry an error occurred.\r\n"},
    {MSG_CALIBRATION_CLASS_ERROR, 0xa02a0012u,
     "An error occurred while CALIBRATION window was registering.\r\n"},
    {MSG_MESSAGE_CLASS_ERROR, 0xa02a0013u, "An error occurred while MESSAGE window was registering.\r\n"},
    {MSG_TRAY_ADD_ERROR, 0xa02a0014u, "An error occurred while APP ICON was adding to TASK_BAR.\r\n"},
    {MSG_TRAY_REMOVE_ERROR, 0xa02a0015u, "An error occurred while APP ICON was removing from TASK_BAR.\r\n"},
    {MSG_CALIBRATION_WINDOW_ERROR, 0xa02a0016u,
     "An error occurred while CALIBRATION window was creating.\r\n"},
    {MSG_DRAW_WINDOW_ERROR, 0xa02a0017u, "An error occurred while DRAW window was creating.\r\n"},
    {MSG_CONFIRM_CHANNEL_CHANGE, 0xa02a001du, "Are you sure you want to change communication channel?\r\n"},
    {MSG_CHANNEL_CREATE_ERROR, 0xa02a001eu, "An error occurred while the channel was creating.\r\n"},
    {MSG_CHANNEL_OPEN_ERROR, 0xa02a001fu, "An error occurred while the channel was opening.\r\n"},
    {MSG_CALIBRATION_ERROR, 0xa02a0020u, "An error was detected during the calibration process.\r\n"},
    {MSG_DUMP_FILE_ERROR, 0xa02a0021u, "The configuration file can't be created.\r\n"},
    {MSG_DUMP_CTRL_ERROR, 0xa02a0022u, "The controller configuration can't be saved.\r\n"},
    {MSG_DUMP_LCD_ERROR, 0xa02a0023u, "The LCD configuration can't be saved.\r\n"},
    {MSG_DUMP_CHANNEL_ERROR, 0xa02a0024u, "The channel configuration can't be saved.\r\n"},
    {MSG_DUMP_HEADER, 0xa02a0025u, "This file contains application configuration.\r\n"},
    {MSG_DUMP_POSITION_ERROR, 0xa02a0026u, "The window position can't be saved.\r\n"},
    {MSG_CTRL_INFO_FORMAT, 0xa02a0027u, "Controller info: HW Id: %i - SW Ver: %i.%02i\r\n"},
    {MSG_NO_RESPONSE, 0xa02a0028u,
     "No response for the dispatched command. Communication has been broken.\r\n"},
    {MSG_COMM_BROKEN, 0xa02a0029u, "The communication is broken.\r\n"},
    {MSG_CABLE_CHECK_FORMAT, 0xa02a002bu,
     "Please check or reconnect cable to the selected comm channel.\r\nTimeout: %is.\r\n"},
    {MSG_CONTROLLER_NOT_FOUND, 0xa02a002cu,
     "The controller wasn't found on the selected comm channel.\r\nReturn to previous comm channel.\r\n"},
    {MSG_LCD_SEND_ERROR, 0xa02a002du, "While new configuration was sending to LCD an error occurred.\r\n"},
    {MSG_LCD_READ_ERROR, 0xa02a002eu, "While configuration was reading from LCD an error occured.\r\n"},
    {MSG_OBJECT_CREATION_FAILED, 0xa02a002fu, "System object creation failed. Possible memory leak.\r\n"},
    {MSG_CONFIRM_TOUCH_MODE, 0xa02a0030u,
     "Are you sure you want to change the touch mode?\r\nYou MAY lost control over the system when the "
     "changes will be applied! \r\n"},
    {MSG_USER_CHANGED_TOUCH_MODE, 0xa02a0031u, "User has changed TOUCH MODE: \r\n"},
    {MSG_CONFIRM_MOUSE_BUTTON, 0xa02a0032u,
     "Are you sure you want to change the mouse button?\r\nYou MAY lost control over the system when changes "
     "will be applied! \r\n"},
    {MSG_USER_CHANGED_MOUSE_BUTTON, 0xa02a0033u, "User has changed MOUSE BUTTON: \r\n"},
    {MSG_LCD_PORT_RESET_ERROR, 0xa02a003bu, "While LCD port was resetting an error occurred.\r\n"},
    {MSG_CHANNEL_CONFIG_INVALID, 0xe02a0001u, "Channel configuration wasn't valid: .\r\n"},
    {MSG_FATAL_ERROR, 0xe02a0005u,
     "Fatal error, please send email to support@mavrel.example about it. Detailed: .\r\n"},
    {MSG_GET_VERSION_FAILED, 0xe02a0035u, "GetVersionEx failed - program is running in full mode.\r\n"},
    {MSG_LOAD_LIBRARY_FAILED, 0xe02a0036u, "LoadLibrary (Shell32.dll) failed: .\r\n"},
    {MSG_GET_PROC_ADDRESS_FAILED, 0xe02a0037u, "GetProcAddress (Shell_NotifyAddress) failed: .\r\n"},
    {MSG_FREE_LIBRARY_FAILED, 0xe02a0038u, "FreeLibrary (Shell32.dll) failed: .\r\n"},
    {MSG_CODE_WRITE_ERROR, 0xe02a0039u, "While new code was writed to register an error occurred.\r\n"},
    {MSG_CODE_INCORRECT, 0xe02a003au, "Entered code is not correct.\r\n"},
    {MSG_CHECK_RESIDUAL_FORMAT, 0xa02a0050u, "Check point: %i px off\r\n"},
    {MSG_CHECK_REFUSED_FORMAT, 0xa02a0051u, "Check point %i px off: touch the crosses again\r\n"},
    {MSG_TOUCHES_REFUSED_FORMAT, 0xa02a0052u,
     "A touch landed %i px beside its line: touch the crosses again\r\n"},
    {MSG_LAST_CHECK_FORMAT, 0xa02a0053u, "Last check: %i px\r\n"},
    {MSG_LAST_CHECK_NONE, 0xa02a0054u, "Last check: none\r\n"},
    {MSG_TOUCH_MONITOR_MISSING, 0xa02a0070u,
     "The touch screen's monitor  is not connected: the primary monitor is used until it is back.\r\n"},
    {MSG_TOUCH_THIS_SCREEN, 0xa02a0071u, "Touch this screen\r\n"},
    {MSG_SCREEN_OF_FORMAT, 0xa02a0072u, "Screen %i of %i, %i x %i\r\n"},
    {MSG_PORT_FOLLOWED, 0x602a0080u,
     "The touch device answered on another port, which is used from now on: .\r\n"},
};

TEST(MessageTable, CompiledIdentifiersMatchTheTable)
{
    for (const Message& m : kMessages) {
        EXPECT_EQ(m.compiled, m.id) << std::hex << m.id;
    }
    static_assert(MSG_FATAL_ERROR == 0xe02a0005u);
    static_assert(MSG_CHANNEL_AUTODETECTED == 0x602a0003u);
    static_assert(MSG_NO_RESPONSE == 0xa02a0028u);
}

TEST(MessageTable, EveryTextRendersAsTheUserReadsIt)
{
    ModalBoxCloser closer; // a missing text would put up a box
    for (const Message& m : kMessages) {
        char text[kTextMax] = {};
        FormatAppMessage(m.id, text, sizeof text);
        EXPECT_EQ(std::string(text), m.text) << std::hex << m.id;
    }
    EXPECT_TRUE(closer.seen().empty());
}

TEST(MessageTable, FormatTextsServeAsTheCallersFormat)
{
    char format[kTextMax] = {};
    FormatAppMessage(MSG_CTRL_INFO_FORMAT, format, sizeof format);
    char line[kTextMax] = {};
    EXPECT_TRUE(FormatBounded(line, sizeof line, format, 3, 1, 7));
    EXPECT_STREQ(line, "Controller info: HW Id: 3 - SW Ver: 1.07\r\n");

    FormatAppMessage(MSG_CABLE_CHECK_FORMAT, format, sizeof format);
    EXPECT_TRUE(FormatBounded(line, sizeof line, format, 10));
    EXPECT_STREQ(line, "Please check or reconnect cable to the selected comm channel.\r\nTimeout: 10s.\r\n");
}

} // namespace

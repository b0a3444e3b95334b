#pragma once
// Helpers shared by the command table, the menus and the toolbar.
#include <windows.h>

#include <string>

namespace srx {

// Enables or greys every occurrence of a command in the frame's menu and
// the toolbar button that issues it.
void EnableCommand(int id, bool enabled);
void EnableToolbarButton(int buttonId, bool enabled);
// Sets the check mark of every occurrence of a command in the frame's menu.
void CheckCommand(int id, bool checked);
// Check marks of every flag command, of the design choice and of the shown
// designs, from the current settings.
void ApplyCheckMarks();
// Re-lays out the frame after the toolbar or status bar changed.
void RelayoutFrame();
// The string-table text of `id`; false when the table has none.
bool LoadStringId(int id, std::string& text);
// Puts the combo box over toolbar button 43.
void PlaceCombo();

// The Global Options switches that have no place in the stored settings
// yet; they last for the run. All notices start on.
struct GlobalNotices {
    bool normalizeImported = false;
    bool noMixer = true;
    bool noCardCompensation = true;
    bool noCardCompensationSettings = true;
    bool levelInformation = true;
    bool keepMeasurement = true;
};
GlobalNotices& Notices();
// Notices() from and into the settings' notice flags (at load and save).
void NoticesFromSettings();
void NoticesToSettings();

void ShowTipOfTheDay(HWND owner);
void ShowGlobalOptions(HWND owner);
void ShowAbout(HWND owner);

}  // namespace srx

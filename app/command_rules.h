#pragma once
// The rules behind the menus and the toolbar that need no window: which
// commands a document kind allows, how the view-flag commands toggle their
// bits, what the easy menu switches off, which help text a menu selection
// shows, the toolbar's buttons and layouts, and the tips file.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings.h"

namespace srx {

// ---- Flag words -------------------------------------------------------
struct FlagWords {
    uint32_t shell = 0;
    uint32_t graph = 0;
    uint32_t distortion = 0;
    uint32_t box = 0;
    uint32_t xover = 0;
    uint32_t measurementOptions = 0;
};

constexpr uint32_t kOptionMinimumPhase = 0x800000;  // measurement option of 764
constexpr size_t kOptionFlagsOffset = 88;           // in "Program Configuration 20"

// The words as held in the settings blocks, and back.
FlagWords ReadFlagWords(const SettingsBlocks& s);
void WriteFlagWords(SettingsBlocks& s, const FlagWords& f);

// Which window kinds a toggle repaints.
enum class RepaintScope { None, Graphs, Analysis, XoverSchematic, XoverGraphs };

// Applies the toggle of a view-flag command (110, 515, 516, 618..621,
// 738..744, 757..761, 764, 767). False for any other id.
bool ApplyFlagToggle(int command, FlagWords& f, RepaintScope* scope = nullptr);

// Whether a flag command's check mark is set for these words; false for
// commands without a flag.
bool IsFlagChecked(int command, const FlagWords& f);

// Every command whose check mark follows a flag word.
const std::vector<int>& FlaggedCommands();

// The rebuild's step 4 and, for the easy menu, step 5's clearing.
void ApplyMenuModeClearing(FlagWords& f, bool easyMenu);

// True for the ids the command table names (menu commands and the combo
// box's choice); others go to the active document window.
bool IsTableCommand(int id);
// Table commands that the active document window carries out itself
// (the distortion choices).
bool IsDocumentCommand(int id);

// ---- Enabled state for the active document ------------------------------
struct ActiveContext {
    bool hasActive = false;
    int kind = -1;
    bool impedance = false;  // 3300 only: the curve is an impedance
    bool tsBusy = false;
    bool measuring = false;  // a measurement dialog is open
    bool hasUndo = false;
    bool zoomed = false;  // displayed range differs from the full range
};

// Command id -> enabled, for every command UM_UPDATEMENUS decides.
std::map<int, bool> UpdateMenuStates(const ActiveContext& c);

// The commands a running measurement greys (and the toolbar buttons), with
// the three T/S commands added for impedance and T/S measurements.
std::vector<int> MeasurementBusyCommands(bool tsMeasurement);
const std::vector<int>& MeasurementBusyButtons();

// The context menu (resource 5..18) of a document window; 0 for none.
int ContextMenuFor(int kind, bool impedance, bool easyMenu);

// ---- Status-bar help ------------------------------------------------------
constexpr int kHelpKeep = -1;  // leave the status text as it is

struct MenuSelection {
    bool closed = false;  // the menu closes (no menu, flags 0xFFFF)
    bool hasMenu = true;
    bool systemMenu = false;
    bool popup = false;
    int item = 0;  // command id, or the popup's position
    bool childMaximised = false;
    bool contextMenu = false;  // a document window's context menu is open
};

// The string id to show for a selection; kHelpKeep keeps the previous
// text and id. A closing menu gives 0 (the caller keeps the text).
int MenuHelpId(const MenuSelection& s, int previousId);

// ---- Toolbar ----------------------------------------------------------------
struct ToolbarButtonInfo {
    int id;       // button id and tooltip string id
    int bitmap;   // image index in bitmap 1
    int command;  // menu command, 0 for the combo box placeholder
};
constexpr int kToolbarImageCount = 28;
constexpr int kSeparator = 0;

// The customisation palette: the 19 buttons in order.
const std::vector<ToolbarButtonInfo>& ToolbarPalette();
const ToolbarButtonInfo* FindToolbarButton(int id);
// Default layouts; kSeparator marks a separator.
const std::vector<int>& DefaultToolbarLayout(bool easy);
int ToolbarCommandFor(int buttonId);  // 0 when the id is not a button

// ---- Tip of the Day ---------------------------------------------------------
constexpr int kMaxTips = 512;
constexpr size_t kMaxTipChars = 259;

// Non-empty lines of the tips file, trimmed of blanks and tabs, each cut at
// 259 characters, at most 512.
std::vector<std::string> ParseTips(std::string_view content);
// The tip shown for a stored index (any value, also a damaged negative one).
int TipToShow(int32_t index, int count);

}  // namespace srx

#pragma once
// Settings persistence: the blocks of data/settings_blocks.h, their
// defaults, the upgrades of older layouts and the repairs applied after
// loading. Storage itself is abstract (ValueStore) so that the whole
// load/save logic runs natively; the registry back-end lives in
// app/win32/registry_store.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "data/settings_blocks.h"

namespace srx {

// Registry value names.
extern const char kProgramConfigValue[];    // "Program Configuration 20"
extern const char kWindowHistoryValue[];    // "Window and File History 20"
extern const char kXoverConfigValue[];      // "Xover Configuration 20"
extern const char kToolbarAdvancedValue[];  // "Toolbar Configuration 20"
extern const char kToolbarEasyValue[];      // "Toolbar Configuration Easy"

// The primary screen and its work area (the desktop minus task bars).
struct DesktopArea {
    int32_t width = 0, height = 0;
    int32_t workLeft = 0, workTop = 0, workRight = 0, workBottom = 0;
};

// Seven lighter tints of `base` for the distortion curves: tint k (1..7)
// moves every channel k/8 of the way to white.
void DeriveCurveShades(uint32_t base, uint32_t shades[7]);

// Zeroes all three blocks and sets every default.
void LoadDefaults(SettingsBlocks& s, const DesktopArea& desktop);

// Defaults, then the stored values, then the repairs and the frame check.
// Never fails: anything unusable leaves the defaults in force.
void LoadSettings(SettingsBlocks& s, ValueStore& store, const DesktopArea& desktop);

// Writes the Xover, Window and Program blocks in that order; a value that
// cannot be written is skipped.
void SaveSettings(const SettingsBlocks& s, ValueStore& store);

// Puts the frame at the inset work area when the stored rectangle would not
// be (fully) visible on this desktop. True when it moved the frame.
bool CheckFramePlacement(WindowHistory& w, const DesktopArea& desktop);

}  // namespace srx

#pragma once
// The undo store without its windows: file names, the list of steps (newest
// first) with its trimming to the undo depth, and the design-slot undo file.
// Windows are opaque keys here; the shell passes its window handles.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "design/design_slot.h"
#include "resources/status.h"

namespace srx {

// Longest undo file path the store accepts.
constexpr std::size_t kUndoPathLimit = 259;

// The folder undo files go to: the temporary folder, or the program's folder
// when there is none, without a trailing backslash.
std::string UndoFolder(const std::string& tempFolder, const std::string& programFolder);

// The first "%s\~U(%04d).SON" (numbers 0..9999) under which `exists` finds
// no file; none when the folder is too long (folder + 12 characters above
// 259) or every number is taken.
std::optional<std::string> MakeUndoFileName(const std::string& folder,
                                            const std::function<bool(const std::string&)>& exists);

struct UndoEntry {
    uint64_t serial = 0;                 // given by the list; identifies the entry
    const void* window = nullptr;        // the window the step was taken on
    const void* secondWindow = nullptr;  // the other window of a shared time record
    int kind = 0;
    std::string title;
    std::string secondTitle;
    std::string file;
};

class UndoList {
public:
    // Puts the entry at the head (newest) and returns its serial.
    uint64_t Push(UndoEntry entry);

    // Removes the oldest steps taken on `window` until at most `depth` are
    // left (depth below 1: no limit) and returns them, oldest first, so that
    // the caller deletes their files.
    std::vector<UndoEntry> Trim(const void* window, int depth);

    // The newest entry naming `window` as its window or second window.
    const UndoEntry* Newest(const void* window) const;
    bool Has(const void* window) const { return Newest(window) != nullptr; }
    int CountTakenOn(const void* window) const;
    // Files of the steps taken on `window`, newest first.
    std::vector<std::string> FilesTakenOn(const void* window) const;

    std::optional<UndoEntry> Remove(uint64_t serial);
    // The newest step taken on `window` (as its own window).
    std::optional<UndoEntry> RemoveNewestTakenOn(const void* window);
    // A window that goes away stops being anyone's second window.
    void ForgetSecondWindow(const void* window);
    std::vector<UndoEntry> TakeAll();
    std::size_t size() const { return entries_.size(); }

private:
    std::vector<UndoEntry> entries_;  // newest first
    uint64_t nextSerial_ = 1;
};

// The design slot's undo file: the window kind (i32), the flag word and the
// four parameter blocks, each as one write. Failures 2315 (cannot create)
// and 2317 (short write); a failed write leaves no file behind.
Status WriteDesignUndoFile(const std::string& path, int32_t kind, const DesignSlot& slot);
// Reads such a file. Failures 2314 (cannot open) and 2316 (short read).
Status ReadDesignUndoFile(const std::string& path, int32_t& kind, DesignSlot& into);

// Puts a stored slot back: the four blocks and, from the stored flag word,
// whether a unit and a box exist and whether the unit is unsaved. The undo
// mark, the analysed and shown states stay as they are; the dialog-open
// flag is cleared.
void RestoreDesignSlot(DesignSlot& slot, const DesignSlot& stored);

}  // namespace srx

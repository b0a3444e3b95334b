#include "app/undo_names.h"

#include "platform/file_io.h"
#include "resources/string_ids.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace srx {

std::string UndoFolder(const std::string& tempFolder, const std::string& programFolder) {
    std::string folder = tempFolder.empty() ? programFolder : tempFolder;
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder;
}

std::optional<std::string> MakeUndoFileName(const std::string& folder,
                                            const std::function<bool(const std::string&)>& exists) {
    if (folder.size() + 12 > kUndoPathLimit) return std::nullopt;
    char name[32];
    for (int i = 0; i <= 9999; ++i) {
        std::snprintf(name, sizeof name, "\\~U(%04d).SON", i);
        std::string path = folder + name;
        if (!exists(path)) return path;
    }
    return std::nullopt;
}

uint64_t UndoList::Push(UndoEntry entry) {
    entry.serial = nextSerial_++;
    entries_.insert(entries_.begin(), std::move(entry));
    return entries_.front().serial;
}

std::vector<UndoEntry> UndoList::Trim(const void* window, int depth) {
    std::vector<UndoEntry> dropped;
    if (depth < 1) return dropped;
    while (CountTakenOn(window) > depth) {
        auto oldest =
            std::find_if(entries_.rbegin(), entries_.rend(), [&](const UndoEntry& e) { return e.window == window; });
        dropped.push_back(std::move(*oldest));
        entries_.erase(std::next(oldest).base());
    }
    return dropped;
}

const UndoEntry* UndoList::Newest(const void* window) const {
    if (!window) return nullptr;
    for (const UndoEntry& e : entries_)
        if (e.window == window || e.secondWindow == window) return &e;
    return nullptr;
}

int UndoList::CountTakenOn(const void* window) const {
    return static_cast<int>(
        std::count_if(entries_.begin(), entries_.end(), [&](const UndoEntry& e) { return e.window == window; }));
}

std::vector<std::string> UndoList::FilesTakenOn(const void* window) const {
    std::vector<std::string> files;
    for (const UndoEntry& e : entries_)
        if (e.window == window) files.push_back(e.file);
    return files;
}

std::optional<UndoEntry> UndoList::Remove(uint64_t serial) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const UndoEntry& e) { return e.serial == serial; });
    if (it == entries_.end()) return std::nullopt;
    UndoEntry e = std::move(*it);
    entries_.erase(it);
    return e;
}

std::optional<UndoEntry> UndoList::RemoveNewestTakenOn(const void* window) {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const UndoEntry& e) { return e.window == window; });
    if (it == entries_.end()) return std::nullopt;
    UndoEntry e = std::move(*it);
    entries_.erase(it);
    return e;
}

void UndoList::ForgetSecondWindow(const void* window) {
    for (UndoEntry& e : entries_)
        if (e.secondWindow == window) {
            e.secondWindow = nullptr;
            e.secondTitle.clear();
        }
}

std::vector<UndoEntry> UndoList::TakeAll() {
    std::vector<UndoEntry> all = std::move(entries_);
    entries_.clear();
    return all;
}

Status WriteDesignUndoFile(const std::string& path, int32_t kind, const DesignSlot& slot) {
    SafeFileWriter w(path);
    if (!w.IsOpen()) return Status::Error(kStrCantCreate);
    // A partial step could never be undone: it never takes the name.
    const bool ok = w.Write(&kind, sizeof kind) && w.Write(&slot.flags, sizeof slot.flags) &&
                    w.Write(slot.unitNames, sizeof slot.unitNames) && w.Write(slot.filePath, sizeof slot.filePath) &&
                    w.Write(slot.unitParameters, sizeof slot.unitParameters) &&
                    w.Write(slot.boxParameters, sizeof slot.boxParameters);
    if (ok && w.Commit()) return Status::Ok();
    return Status::Error(kStrWriteError);
}

Status ReadDesignUndoFile(const std::string& path, int32_t& kind, DesignSlot& into) {
    FilePtr file = OpenForReading(path);
    std::FILE* f = file.get();
    if (!f) return Status::Error(kStrCantOpen);
    int32_t k = 0;
    DesignSlot s{};
    const bool ok = std::fread(&k, sizeof k, 1, f) == 1 && std::fread(&s.flags, sizeof s.flags, 1, f) == 1 &&
                    std::fread(s.unitNames, sizeof s.unitNames, 1, f) == 1 &&
                    std::fread(s.filePath, sizeof s.filePath, 1, f) == 1 &&
                    std::fread(s.unitParameters, sizeof s.unitParameters, 1, f) == 1 &&
                    std::fread(s.boxParameters, sizeof s.boxParameters, 1, f) == 1;
    if (!ok) return Status::Error(kStrReadError);
    kind = k;
    into = s;
    return Status::Ok();
}

void RestoreDesignSlot(DesignSlot& slot, const DesignSlot& stored) {
    constexpr uint32_t kFromStore = kSlotHasUnit | kSlotHasBox | kSlotUnsaved;
    std::memcpy(slot.unitNames, stored.unitNames, sizeof slot.unitNames);
    std::memcpy(slot.filePath, stored.filePath, sizeof slot.filePath);
    std::memcpy(slot.unitParameters, stored.unitParameters, sizeof slot.unitParameters);
    std::memcpy(slot.boxParameters, stored.boxParameters, sizeof slot.boxParameters);
    slot.flags = (slot.flags & ~kFromStore) | (stored.flags & kFromStore);
    slot.flags &= ~kSlotDialogOpen;
}

}  // namespace srx

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/documents_model.h"
#include "app/undo_names.h"
#include "resources/string_table.h"
#include "tests/native/test_support.h"

using namespace srx;
using Titles = std::vector<std::string>;

TEST(DocTitles, UniqueNumbersAndFileTitles) {
    // Plain numbering of copies is what the document-window test sees.
    EXPECT_EQ(UniqueTitle("T", (Titles{"t"})), "T : 2");
    // A copy numbered earlier in window order is found on a later pass.
    EXPECT_EQ(UniqueTitle("T", (Titles{"T : 2", "T : 3", "T"})), "T : 4");
    // A free number between copies is taken.
    EXPECT_EQ(UniqueTitle("T", (Titles{"T", "T : 3"})), "T : 2");
    // A longer title that merely starts with T does not clash.
    EXPECT_EQ(UniqueTitle("T", (Titles{"T : 2x", "T x"})), "T");

    // A file title is the name without its extension.
    EXPECT_EQ(FileTitle(R"(C:\meas\woofer.mes)"), "woofer");
    EXPECT_EQ(FileTitle(R"(C:\my.dir\noext)"), "noext");  // a dot in a folder is no extension
    EXPECT_EQ(FileTitle("C:/x/a.b.etc"), "a.b");
    EXPECT_EQ(FileTitle(R"(C:\folder\)"), "");
}

TEST(DocUndo, FileNamesTakeTheFirstFreeNumberWithinThePathLimit) {
    std::set<std::string> taken;
    auto exists = [&](const std::string& p) { return taken.count(p) > 0; };
    EXPECT_EQ(UndoFolder(R"(C:\temp\)", R"(C:\prog\)"), R"(C:\temp)");
    EXPECT_EQ(UndoFolder("", R"(C:\prog\)"), R"(C:\prog)");

    EXPECT_EQ(*MakeUndoFileName(R"(C:\temp)", exists), R"(C:\temp\~U(0000).SON)");
    taken = {R"(C:\temp\~U(0000).SON)", R"(C:\temp\~U(0001).SON)"};
    EXPECT_EQ(*MakeUndoFileName(R"(C:\temp)", exists), R"(C:\temp\~U(0002).SON)");

    // 247 + 12 = 259 is allowed, one more is not.
    std::string folder(247, 'f');
    auto name = MakeUndoFileName(folder, exists);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->size(), 260u);  // the 12 plus the separator
    EXPECT_FALSE(MakeUndoFileName(folder + "g", exists));

    // Every number taken: no name rather than an endless search.
    int asked = 0;
    EXPECT_FALSE(MakeUndoFileName("C:", [&](const std::string&) { return ++asked, true; }));
    EXPECT_EQ(asked, 10000);
}

TEST(DocUndo, SecondWindowsSeeTheStepButDoNotOwnIt) {
    UndoList list;
    int impulse = 0, waterfall = 0, other = 0;
    const uint64_t s1 = list.Push({0, &impulse, &waterfall, 3302, "I", "W", "f1"});
    EXPECT_TRUE(list.Has(&waterfall));
    EXPECT_FALSE(list.Has(&other));
    EXPECT_EQ(list.CountTakenOn(&waterfall), 0);
    EXPECT_FALSE(list.RemoveNewestTakenOn(&waterfall));

    // The waterfall window goes: the step stays with the impulse window.
    list.ForgetSecondWindow(&waterfall);
    EXPECT_FALSE(list.Has(&waterfall));
    EXPECT_EQ(list.Newest(&impulse)->secondWindow, nullptr);

    list.Push({0, &impulse, nullptr, 3302, "I", "", "f2"});
    EXPECT_EQ(list.Newest(&impulse)->file, "f2");
    EXPECT_EQ(list.Remove(s1)->file, "f1");
    EXPECT_FALSE(list.Remove(s1));
    EXPECT_EQ(list.TakeAll().size(), 1u);
}

class DocDesignUndoFile : public test::ScratchTest {
protected:
    const std::string path = Path("undo.son");
};

TEST_F(DocDesignUndoFile, RoundTripsTheBlocksAndRestoresTheUnitState) {
    DesignSlot slot{};
    slot.flags = kSlotHasUnit | kSlotHasBox | kSlotShown;
    std::memset(slot.unitNames, 'n', sizeof slot.unitNames);
    std::memset(slot.filePath, 'p', sizeof slot.filePath);
    std::memset(slot.unitParameters, 'u', sizeof slot.unitParameters);
    std::memset(slot.boxParameters, 'b', sizeof slot.boxParameters);
    ASSERT_TRUE(WriteDesignUndoFile(path, 2, slot));
    EXPECT_EQ(std::filesystem::file_size(path), 4u + sizeof(DesignSlot));

    int32_t kind = -1;
    DesignSlot stored{};
    ASSERT_TRUE(ReadDesignUndoFile(path, kind, stored));
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(std::memcmp(&stored, &slot, sizeof slot), 0);

    // The slot changed since: box removed, unit edited, dialog open, the
    // undo mark set. Undo brings the unit and box back, keeps the mark.
    DesignSlot now{};
    now.flags = kSlotHasUnit | kSlotUnsaved | kSlotUndoMark | kSlotDialogOpen | kSlotAnalysed;
    RestoreDesignSlot(now, stored);
    EXPECT_EQ(now.flags, kSlotHasUnit | kSlotHasBox | kSlotUndoMark | kSlotAnalysed);
    EXPECT_EQ(std::memcmp(now.unitParameters, slot.unitParameters, sizeof slot.unitParameters), 0);
    EXPECT_EQ(std::memcmp(now.boxParameters, slot.boxParameters, sizeof slot.boxParameters), 0);
}

TEST_F(DocDesignUndoFile, MissingAndShortFilesAreReportedAndLeaveTheSlotAlone) {
    int32_t kind = 7;
    DesignSlot into{};
    into.flags = kSlotShown;
    EXPECT_EQ(ReadDesignUndoFile(path, kind, into).stringId, 2314);

    DesignSlot slot{};
    ASSERT_TRUE(WriteDesignUndoFile(path, 1, slot));
    std::filesystem::resize_file(path, 4 + 4 + 260 + 260 + 512 + 247);
    EXPECT_EQ(ReadDesignUndoFile(path, kind, into).stringId, 2316);
    EXPECT_EQ(kind, 7);
    EXPECT_EQ(into.flags, kSlotShown);

    EXPECT_EQ(WriteDesignUndoFile("/nonexistent-folder/x.son", 0, slot).stringId, 2315);
}

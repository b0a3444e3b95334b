#include "app/recent_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using namespace srx;

namespace {

class RecentFilesTest : public ::testing::Test {
protected:
    void Fill(std::vector<std::string> paths) {
        std::memset(list, 0, sizeof list);
        for (size_t i = 0; i < paths.size(); ++i) std::strcpy(list[i], paths[i].c_str());
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> out;
        for (int i = 0; i < RecentFileCount(list); ++i) out.emplace_back(list[i]);
        return out;
    }
    RecentFileList list{};
};

using V = std::vector<std::string>;

}  // namespace

TEST_F(RecentFilesTest, AddingKeepsNewestFirstWithoutDuplicates) {
    for (int i = 1; i <= 9; ++i) AddRecentFile(list, "f" + std::to_string(i));
    EXPECT_EQ(Entries(), (V{"f9", "f8", "f7", "f6", "f5", "f4", "f3", "f2"})) << "the ninth drops the oldest";

    Fill({"C:\\a", "C:\\b", "C:\\c", "C:\\d"});
    AddRecentFile(list, "C:\\c");
    EXPECT_EQ(Entries(), (V{"C:\\c", "C:\\a", "C:\\b", "C:\\d"}));
    AddRecentFile(list, "c:\\D");  // case makes no new entry; the new spelling is kept
    EXPECT_EQ(Entries(), (V{"c:\\D", "C:\\c", "C:\\a", "C:\\b"}));
    AddRecentFile(list, "C:\\d");
    EXPECT_EQ(Entries(), (V{"c:\\D", "C:\\c", "C:\\a", "C:\\b"}));

    Fill({"1", "2", "3", "4", "5", "6", "7", "8"});
    AddRecentFile(list, "8");
    EXPECT_EQ(Entries(), (V{"8", "1", "2", "3", "4", "5", "6", "7"}));
}

TEST_F(RecentFilesTest, PathsThatDoNotFitAreRefused) {
    Fill({"C:\\a"});
    EXPECT_FALSE(AddRecentFile(list, ""));
    EXPECT_FALSE(AddRecentFile(list, std::string(260, 'p')));
    EXPECT_EQ(Entries(), (V{"C:\\a"}));
    std::string longest(259, 'q');
    EXPECT_TRUE(AddRecentFile(list, longest));
    EXPECT_EQ(Entries(), (V{longest, "C:\\a"}));
}

TEST_F(RecentFilesTest, ValidationDropsMissingFilesAndDuplicates) {
    Fill({"C:\\gone1", "C:\\a", "C:\\gone2", "C:\\A", "c:\\a", "C:\\b", "c:\\B", "C:\\c"});
    std::set<std::string> existing = {"C:\\a", "C:\\A", "c:\\a", "C:\\b", "c:\\B", "C:\\c"};
    ValidateRecentFiles(list, [&](const std::string& p) { return existing.count(p) > 0; });
    EXPECT_EQ(Entries(), (V{"C:\\a", "C:\\b", "C:\\c"}));
    EXPECT_STREQ(list[7], "");

    Fill({"1", "2", "3", "4", "5", "6", "7", "8"});
    ValidateRecentFiles(list, [](const std::string&) { return false; });
    EXPECT_EQ(RecentFileCount(list), 0) << "eight missing files all go";
    int asked = 0;
    ValidateRecentFiles(list, [&](const std::string&) { return ++asked, true; });
    EXPECT_EQ(asked, 0) << "an empty list is not looked at";
}

TEST(RecentFileText, DisplayNameMenuItemAndFolder) {
    EXPECT_EQ(RecentFileDisplayName("D:\\a\\b\\c.mes"), "D:\\...\\c.mes");
    EXPECT_EQ(RecentFileDisplayName("D:\\c.mes"), "D:\\c.mes");
    EXPECT_EQ(RecentFileDisplayName("c.mes"), "c.mes");
    EXPECT_EQ(RecentFileDisplayName("\\\\srv\\share\\x.mes"), "\\...\\x.mes");

    EXPECT_EQ(RecentMenuItemText(2, "C:\\R&D\\b&w.mes"), "&2 C:\\...\\b&&w.mes");

    EXPECT_EQ(RecentFileFolder("D:\\c.mes"), "D:\\");
    EXPECT_EQ(RecentFileFolder("c.mes"), "");
}

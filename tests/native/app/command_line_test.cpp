#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using srx::ParseCommandLine;
using Names = std::vector<std::string>;

// How the tokens of a command line become file names.
TEST(CommandLine, QuotedAndPlainNamesOptionsAndSeparators) {
    EXPECT_EQ(ParseCommandLine(R"("C:\My Files\a b.mes" plain.twf  "x.etc")"),
              (Names{R"(C:\My Files\a b.mes)", "plain.twf", "x.etc"}));
    // Options are skipped whole, quoted or not next to them.
    EXPECT_EQ(ParseCommandLine("-x /y a.mes -z"), (Names{"a.mes"}));
    EXPECT_EQ(ParseCommandLine("/open:\"b.mes\" c.mes"), (Names{"c.mes"}));
    // Tabs separate tokens before a name, but a tab inside an unquoted name
    // belongs to it.
    EXPECT_EQ(ParseCommandLine("\t a\tb c"), (Names{"a\tb", "c"}));
    // An unterminated quote runs to the end; an empty quote gives no name.
    EXPECT_EQ(ParseCommandLine("\"\" \"open end.mes"), (Names{"open end.mes"}));
    EXPECT_TRUE(ParseCommandLine("").empty());
    EXPECT_TRUE(ParseCommandLine("  \t ").empty());
}

// At most 32 names are taken: the frame test opens 33 files from the command line.
TEST(CommandLine, NamesAreCutAt511CharactersAndTheNonBlankCountDecidesTheSplash) {
    std::string longName(600, 'n');
    Names names = ParseCommandLine("\"" + longName + "\" after.mes " + longName);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], std::string(511, 'n'));
    EXPECT_EQ(names[1], "after.mes");  // the cut rest does not become a name
    EXPECT_EQ(names[2].size(), 511u);

    EXPECT_EQ(srx::CountNonBlank(""), 0u);
    EXPECT_EQ(srx::CountNonBlank(" \t  "), 0u);
    // Options alone are still characters: the splash shows, nothing opens.
    EXPECT_EQ(srx::CountNonBlank("-x /y"), 4u);
}

// The hand-over itself runs between two processes in the frame test; here
// the lines it may find: any line end, none at the end, overlong ones.
TEST(HandOverList, ParsingTakesAnyLineEndAndDropsOverlongLines) {
    EXPECT_EQ(srx::ParseHandOverList("a\n\r\n\rb\rc"), (Names{"a", "b", "c"}));
    std::string fits(269, 'p'), overlong(270, 'q');
    EXPECT_EQ(srx::ParseHandOverList(fits + "\r\n" + overlong + "\r\nlast.mes\r\n"), (Names{fits, "last.mes"}));
}

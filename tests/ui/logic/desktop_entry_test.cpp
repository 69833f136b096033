// Desktop entries as the program chooser reads them: the entry group's
// keys, what makes an entry unusable, Exec split and its field codes, and
// the order of the offer.
#include "ui/logic/desktop_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korv {
namespace {

struct ExecCase {
  const char* name;
  const char* exec;
  std::vector<std::string> expected;
};

void PrintTo(const ExecCase& c, std::ostream* out) { *out << c.name; }

class ExecArgumentsTest : public ::testing::TestWithParam<ExecCase> {};

TEST_P(ExecArgumentsTest, SplitsAndReplacesTheFieldCodes) {
  EXPECT_EQ(ExecArguments(GetParam().exec, "/tmp/k/a b.txt"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ExecArgumentsTest,
    ::testing::Values(
        ExecCase{"FileCode", "viewer %f", {"viewer", "/tmp/k/a b.txt"}},
        ExecCase{"ListAndUrlCodes", "viewer %F", {"viewer", "/tmp/k/a b.txt"}},
        ExecCase{"UrlCode", "viewer --new-window %U", {"viewer", "--new-window", "/tmp/k/a b.txt"}},
        ExecCase{"OtherCodesDropped", "viewer %i %c %k -x %u", {"viewer", "-x", "/tmp/k/a b.txt"}},
        ExecCase{"CodeInsideAWord", "viewer --file=%f", {"viewer", "--file=/tmp/k/a b.txt"}},
        ExecCase{"Percent", "viewer 100%% %f", {"viewer", "100%", "/tmp/k/a b.txt"}},
        ExecCase{"NoCodeAddsTheFile", "viewer --plain", {"viewer", "--plain", "/tmp/k/a b.txt"}},
        ExecCase{"Quoted", "\"/opt/my app/run\" \"two words\" %f", {"/opt/my app/run", "two words", "/tmp/k/a b.txt"}},
        ExecCase{"QuotedEscapes", "sh-free \"a \\\"q\\\" \\$x\" %f", {"sh-free", "a \"q\" $x", "/tmp/k/a b.txt"}},
        ExecCase{"ExtraBlanks", "  viewer\t  %f  ", {"viewer", "/tmp/k/a b.txt"}},
        ExecCase{"OpenQuote", "\"viewer %f", {}},
        ExecCase{"OnlyACode", "%f", {}},
        ExecCase{"Empty", "", {}}),
    [](const ::testing::TestParamInfo<ExecCase>& info) { return std::string(info.param.name); });

TEST(DesktopEntryTest, ReadsTheEntryGroupAndRefusesWhatCannotStart) {
  const auto entry = ParseDesktopEntry(
      "# a comment\n"
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name[de]=Betrachter\n"
      "Name = Picture Viewer\n"
      "Exec=viewer\\s--fast %f\n"
      "MimeType=image/png;image/jpeg;;\n"
      "NoDisplay=true\n"
      "[Desktop Action New]\n"
      "Name=New Window\n"
      "Exec=viewer --new\n",
      "viewer.desktop");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->id, "viewer.desktop");
  EXPECT_EQ(entry->name, "Picture Viewer");
  EXPECT_EQ(entry->exec, "viewer --fast %f");
  EXPECT_EQ(entry->mimeTypes, (std::vector<std::string>{"image/png", "image/jpeg"}));
  EXPECT_TRUE(entry->noDisplay);

  for (const char* refused : {
           "[Desktop Entry]\nType=Link\nName=Site\nExec=x\n",
           "[Desktop Entry]\nType=Application\nName=Gone\nExec=x\nHidden=true\n",
           "[Desktop Entry]\nType=Application\nExec=x\n",
           "[Desktop Entry]\nType=Application\nName=No command\n",
           "[Other Group]\nType=Application\nName=Elsewhere\nExec=x\n",
           "",
       }) {
    EXPECT_FALSE(ParseDesktopEntry(refused, "x.desktop").has_value()) << refused;
  }
  // A line longer than any real one is passed over, and so is text past the
  // bound of a file.
  const std::string longName = "[Desktop Entry]\nType=Application\nExec=x\nName=" + std::string(kMaxDesktopEntryLine, 'n');
  EXPECT_FALSE(ParseDesktopEntry(longName, "x.desktop").has_value());
  const std::string late = "[Desktop Entry]\nType=Application\nExec=x\n" + std::string(kMaxDesktopEntryBytes, '\n') + "Name=Late\n";
  EXPECT_FALSE(ParseDesktopEntry(late, "x.desktop").has_value());
}

TEST(DesktopEntryTest, OffersTheEntriesDeclaringTheTypeFirstThenTheOthersByName) {
  const auto make = [](std::string id, std::string name, std::vector<std::string> types, bool noDisplay = false) {
    DesktopEntry entry;
    entry.id = std::move(id);
    entry.name = std::move(name);
    entry.exec = "x";
    entry.mimeTypes = std::move(types);
    entry.noDisplay = noDisplay;
    return entry;
  };
  const std::vector<DesktopEntry> entries = {
      make("b.desktop", "beta", {}),
      make("t.desktop", "Text Tool", {"text/plain"}),
      make("a.desktop", "Alpha", {"image/png"}),
      make("t.desktop", "Text Tool (older copy)", {"text/plain"}),
      make("h.desktop", "Handler Only", {"text/x-csrc"}, true),
      make("n.desktop", "Not Shown", {}, true),
      make("c.desktop", "csv thing", {"text/csv"}),
  };
  // A C source is text/x-csrc and inherits text/plain.
  const auto offered = OrderForTypes(entries, {"text/x-csrc", "text/plain"});
  std::vector<std::string> ids;
  for (const DesktopEntry& entry : offered) ids.push_back(entry.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"h.desktop", "t.desktop", "a.desktop", "b.desktop", "c.desktop"}));
  EXPECT_TRUE(offered[0].declaresType);
  EXPECT_TRUE(offered[1].declaresType);
  EXPECT_EQ(offered[1].name, "Text Tool");
  EXPECT_FALSE(offered[2].declaresType);
}

}  // namespace
}  // namespace korv

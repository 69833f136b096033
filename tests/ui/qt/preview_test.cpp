// Preview and open over a real Deleted Data Recovery run of a FAT16 volume
// made by mkfs.fat and filled by mcopy: each file extracted whole into the
// private folder, shown in the preview pane by its kind, and opened through
// the desktop or a chosen program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeDatabase>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>
#include <QTextBlock>
#include <QTextEdit>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "qt_test_support.h"
#include "support/reader_checks.h"
#include "support/test_support.h"
#include "ui/logic/preview_rules.h"
#include "ui/qt/controls/picture_ctrl.h"
#include "ui/qt/results/choose_program_dialog.h"
#include "ui/qt/results/file_opener.h"
#include "ui/qt/results/preview_pane.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::ClickNamed;

constexpr char kRtfDocument[] =
    "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}}{\\*\\generator Writer;}\\f0 Hello {\\b bold} world\\par "
    "Caf\\'e9 second line\\par}";

void MakeZip(const fs::path& path) {
  static const std::string first(3000, 'k');
  static const std::string second = "short member";
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  zip_file_add(archive, "first.txt", zip_source_buffer(archive, first.data(), first.size(), 0), 0);
  zip_file_add(archive, "sub/second.txt", zip_source_buffer(archive, second.data(), second.size(), 0), 0);
  ASSERT_EQ(zip_close(archive), 0);
}

// The volume and what was put on it, made once for the suite, then one
// analysis of it shared by the tests (they only read the store).
class PreviewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    files_ = std::make_unique<test::TempDir>();
    const fs::path& dir = files_->path();
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 4, y * 5, 128));
    }
    ASSERT_TRUE(image.save(QString::fromStdString((dir / "photo.JPG").string()), "JPG"));
    ASSERT_TRUE(image.save(QString::fromStdString((dir / "chart.png").string()), "PNG"));
    test::WriteFileBytes(dir / "letter.rtf",
                         std::vector<std::uint8_t>(std::begin(kRtfDocument), std::end(kRtfDocument) - 1));
    MakeZip(dir / "bundle.zip");
    test::WriteFileBytes(dir / "notes.xyz", test::PatternBytes(5000, 7));
    test::WriteFileBytes(dir / "broken.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'});

    const fs::path raw = dir / "volume.raw";
    test::WriteFileBytes(raw, {});
    fs::resize_file(raw, 16u << 20);
    ASSERT_TRUE(test::RunProgram({"mkfs.fat", "-F", "16", "-S", "512", raw.string()}));
    for (const char* name : kNames) {
      ASSERT_TRUE(test::RunProgram({"mcopy", "-i", raw.string(), (dir / name).string(), std::string("::/") + name}));
    }
    disk_ = dir / "volume.vhd";
    ASSERT_TRUE(test::QemuConvert(raw, disk_, "vpc", {"-o", "subformat=fixed,force_size=on"}));

    prompts_ = std::make_unique<test::ScriptedPrompts>();
    session_ = std::make_unique<Session>(*prompts_, SessionOptions{dir / "inventory.json", false});
    ASSERT_TRUE(session_->OpenVirtualFile(disk_).accepted);
    ASSERT_TRUE(session_->SelectPartition(1));
    NullProgress sink;
    AnalysisProgress progress(sink);
    ASSERT_EQ(session_->AnalyseSelectedRange(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
  }

  static void TearDownTestSuite() {
    session_.reset();
    prompts_.reset();
    files_.reset();
  }

  void SetUp() override {
    if (!session_) GTEST_SKIP() << "the test volume could not be made";
  }

  // The insertion number of the file the analysis found under `name`.
  static std::uint32_t IdOf(const std::string& name) {
    std::uint32_t found = UINT32_MAX;
    const std::u16string wanted(name.begin(), name.end());
    session_->store.ForEachFileInOrder([&](FileId id) {
      const FoundFile& file = session_->store.file(id);
      if (file.name == wanted) found = file.insertionNumber;
    });
    EXPECT_NE(found, UINT32_MAX) << name;
    return found;
  }

  static fs::path Original(const std::string& name) { return files_->path() / name; }

  // What the results view does for a selected file row.
  void Preview(FileOpener& opener, PreviewPane& pane, const std::string& name) {
    const std::u16string wide(name.begin(), name.end());
    const std::uint32_t id = IdOf(name);
    if (!ExtractForPreview(wide, session_->store.FileByInsertionNumber(id)->size)) return pane.ShowNoPreview();
    const auto path = opener.Extract(id);
    ASSERT_TRUE(path.has_value()) << name;
    const QString shown = QString::fromStdString(path->string());
    switch (PreviewKindOf(wide)) {
      case PreviewKind::Picture:
        return pane.ShowPicture(shown);
      case PreviewKind::RichText:
        return pane.ShowRichText(shown);
      case PreviewKind::Archive:
        return pane.ShowArchive(shown);
      case PreviewKind::None:
        return pane.ShowNoPreview();
    }
  }

  static QWidget* Current(PreviewPane& pane) { return pane.findChild<QStackedWidget*>()->currentWidget(); }

  static constexpr const char* kNames[] = {"photo.JPG",  "chart.png", "letter.rtf",
                                           "bundle.zip", "notes.xyz", "broken.jpg"};
  static inline std::unique_ptr<test::TempDir> files_;
  static inline fs::path disk_;
  static inline std::unique_ptr<test::ScriptedPrompts> prompts_;
  static inline std::unique_ptr<Session> session_;
};

TEST_F(PreviewTest, EveryExtractionIsAWholeCopyInsideThePrivateFolder) {
  FileOpener opener(*session_);
  for (const char* name : kNames) {
    const auto path = opener.Extract(IdOf(name));
    ASSERT_TRUE(path.has_value()) << name;
    EXPECT_EQ(path->filename(), name);
    EXPECT_EQ(path->parent_path().parent_path(), opener.folder());
    EXPECT_EQ(test::ReadFileBytes(*path), test::ReadFileBytes(Original(name))) << name;
    // Nothing else is left beside it: the temporary name was renamed.
    EXPECT_EQ(std::distance(fs::directory_iterator(path->parent_path()), fs::directory_iterator()), 1) << name;
  }
  // Again, over the earlier extraction.
  const auto again = opener.Extract(IdOf("chart.png"));
  ASSERT_TRUE(again.has_value());
  EXPECT_EQ(test::ReadFileBytes(*again), test::ReadFileBytes(Original("chart.png")));
  EXPECT_FALSE(opener.Extract(1'000'000).has_value());
}

TEST_F(PreviewTest, AStoppedExtractionGivesNothingAndLeavesNothingBehind) {
  FileOpener opener(*session_);
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(opener.Extract(IdOf("chart.png"), &stop).has_value());
  const fs::path own = opener.folder() / std::to_string(IdOf("chart.png"));
  EXPECT_TRUE(!fs::exists(own) || fs::is_empty(own)) << "no partial file is left";
  const std::atomic<bool> goOn{false};
  EXPECT_TRUE(opener.Extract(IdOf("chart.png"), &goOn).has_value());
}

TEST_F(PreviewTest, PrivateFolderIsTheUsersAloneAndGoesWithTheOpener) {
  fs::path folder;
  {
    FileOpener opener(*session_);
    folder = opener.folder();
    ASSERT_FALSE(folder.empty());
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_TRUE(opener.Extract(IdOf("letter.rtf")).has_value());

    FileOpener other(*session_);
    EXPECT_NE(other.folder(), folder);
  }
  EXPECT_FALSE(fs::exists(folder));
}

// The exit question's way out skips destructors: the folder goes first. A
// folder a crashed run left (its lock free) goes at the next start; a live
// one's stays.
TEST_F(PreviewTest, PrivateFoldersGoOnTheQuickExitAndAfterACrash) {
  FileOpener opener(*session_);
  const fs::path live = opener.folder();
  ASSERT_TRUE(opener.Extract(IdOf("letter.rtf")).has_value());
  const fs::path root = live.parent_path();
  const fs::path stale = root / "korvane-Zz9Yy8";
  fs::create_directories(stale / "12");
  test::WriteFileBytes(stale / "12" / "left.txt", {1, 2, 3});
  const fs::path foreign = root / "korvane-notours";  // not a name this program makes
  fs::create_directories(foreign);

  RemoveStalePrivateFolders(root);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(live));
  EXPECT_TRUE(fs::exists(foreign));
  fs::remove_all(foreign);

  RemovePrivateFolders();
  EXPECT_FALSE(fs::exists(live));
}

TEST_F(PreviewTest, PicturesAreDecodedAndBrokenOnesShowNoPreview) {
  FileOpener opener(*session_);
  PreviewPane pane;
  pane.resize(300, 240);
  pane.show();
  EXPECT_EQ(pane.showing(), PreviewPane::Showing::Idle);
  auto* picture = pane.findChild<CPictureCtrl*>(QStringLiteral("previewPicture"));
  ASSERT_NE(picture, nullptr);

  for (const char* name : {"photo.JPG", "chart.png"}) {
    Preview(opener, pane, name);
    EXPECT_EQ(pane.showing(), PreviewPane::Showing::Picture) << name;
    EXPECT_EQ(Current(pane), picture);
    EXPECT_TRUE(picture->hasImage()) << name;
  }
  Preview(opener, pane, "broken.jpg");
  EXPECT_EQ(pane.showing(), PreviewPane::Showing::NoPreview);
  EXPECT_EQ(Current(pane), picture);
}

TEST_F(PreviewTest, RtfShowsItsTextWithFormattingAndNoMarkup) {
  FileOpener opener(*session_);
  PreviewPane pane;
  pane.show();
  Preview(opener, pane, "letter.rtf");
  EXPECT_EQ(pane.showing(), PreviewPane::Showing::RichText);
  auto* text = pane.findChild<QTextEdit*>(QStringLiteral("previewText"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(Current(pane), text);
  EXPECT_TRUE(text->isReadOnly());
  const QString plain = text->toPlainText();
  EXPECT_TRUE(plain.startsWith(QStringLiteral("Hello bold world\nCaf\u00e9 second line"))) << plain.toStdString();
  EXPECT_FALSE(plain.contains(QLatin1Char('{')) || plain.contains(QLatin1Char('}')) ||
               plain.contains(QLatin1Char('\\')) || plain.contains(QStringLiteral("Arial")))
      << plain.toStdString();

  // "bold" is drawn bold, "Hello" is not.
  const QTextBlock first = text->document()->firstBlock();
  int boldCharacters = 0;
  for (auto fragment = first.begin(); !fragment.atEnd(); ++fragment) {
    const bool bold = fragment.fragment().charFormat().fontWeight() == QFont::Bold;
    if (bold) {
      boldCharacters += fragment.fragment().length();
      EXPECT_EQ(fragment.fragment().text(), QStringLiteral("bold"));
    }
  }
  EXPECT_EQ(boldCharacters, 4);
}

TEST_F(PreviewTest, ArchiveListsItsEntriesInFourEqualColumns) {
  FileOpener opener(*session_);
  PreviewPane pane;
  pane.resize(400, 300);
  pane.show();
  Preview(opener, pane, "bundle.zip");
  EXPECT_EQ(pane.showing(), PreviewPane::Showing::Archive);
  auto* table = pane.findChild<QTableView*>(QStringLiteral("previewArchive"));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(Current(pane), table);
  const QAbstractItemModel* model = table->model();
  ASSERT_EQ(model->columnCount(), 4);
  ASSERT_EQ(model->rowCount(), 2);
  for (int column = 0; column < 4; ++column) {
    EXPECT_EQ(model->headerData(column, Qt::Horizontal).toString().toStdString(), kArchiveColumns[column]);
  }
  EXPECT_EQ(model->index(0, 0).data().toString(), QStringLiteral("first.txt"));
  EXPECT_EQ(model->index(0, 2).data().toString(), QStringLiteral("3000"));
  EXPECT_LT(model->index(0, 3).data().toString().toInt(), 3000);
  EXPECT_EQ(model->index(1, 0).data().toString(), QStringLiteral("sub/second.txt"));
  EXPECT_EQ(model->index(1, 2).data().toString(), QStringLiteral("12"));
  EXPECT_EQ(model->index(1, 1).data().toString().size(), 20);  // dd-Mon-yyyy hh:mm:ss
  QTest::qWait(20);
  const int quarter = table->viewport()->width() / 4;
  for (int column = 0; column < 4; ++column) EXPECT_NEAR(table->columnWidth(column), quarter, 1);

  // A file that is no archive.
  const auto notZip = opener.Extract(IdOf("notes.xyz"));
  ASSERT_TRUE(notZip.has_value());
  pane.ShowArchive(QString::fromStdString(notZip->string()));
  EXPECT_EQ(pane.showing(), PreviewPane::Showing::NoPreview);
}

TEST_F(PreviewTest, UnknownKindsAreNeitherExtractedNorShown) {
  FileOpener opener(*session_);
  PreviewPane pane;
  Preview(opener, pane, "notes.xyz");
  EXPECT_EQ(pane.showing(), PreviewPane::Showing::NoPreview);
  EXPECT_TRUE(fs::is_empty(opener.folder()));
}

TEST_F(PreviewTest, WaitControlsCoverThePreviewAndOfferStop) {
  PreviewPane pane;
  pane.show();
  QSignalSpy stops(&pane, &PreviewPane::stopRequested);
  pane.ShowWaiting(true);
  EXPECT_TRUE(pane.waiting());
  EXPECT_EQ(Current(pane)->objectName(), QStringLiteral("previewWait"));
  auto* stop = pane.findChild<QPushButton*>(QStringLiteral("previewStop"));
  ASSERT_NE(stop, nullptr);
  EXPECT_EQ(stop->text(), QStringLiteral("&Stop"));
  EXPECT_TRUE(ClickNamed(&pane, "previewStop"));
  EXPECT_EQ(stops.count(), 1);
  // What is shown meanwhile appears when the wait ends.
  pane.ShowNoPreview();
  EXPECT_EQ(Current(pane)->objectName(), QStringLiteral("previewWait"));
  pane.ShowWaiting(false);
  EXPECT_EQ(pane.showing(), PreviewPane::Showing::NoPreview);
  EXPECT_EQ(Current(pane)->objectName(), QStringLiteral("previewPicture"));
}

// Writes a desktop entry `name` into `folder`.
void WriteEntry(const std::filesystem::path& folder, const std::string& name, const std::string& text) {
  std::filesystem::create_directories(folder);
  test::WriteFileBytes(folder / name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// The opener asks the MIME database and the desktop's default handler
// first; with a handler the file goes to it, without one the installed
// applications are offered (those declaring the type first) and the chosen
// one starts from its Exec line, never through a shell.
TEST_F(PreviewTest, OpenAsksForTheHandlerAndWithoutOneOffersTheInstalledApplications) {
  FileOpener opener(*session_);
  const auto path = opener.Extract(IdOf("notes.xyz"));
  ASSERT_TRUE(path.has_value());
  const QString shown = QString::fromStdString(path->string());
  const std::string type = QMimeDatabase().mimeTypeForFile(shown).name().toStdString();

  test::TempDir data;
  const auto home = data.path() / "home";
  const auto system = data.path() / "system";
  WriteEntry(system, "aaa-editor.desktop",
             "[Desktop Entry]\nType=Application\nName=All Purpose\nExec=allpurpose %U\n");
  WriteEntry(system / "org", "viewer.desktop",
             "[Desktop Entry]\nType=Application\nName=Zed Viewer\nExec=\"/opt/my viewer/view\" --fast %f\n"
             "MimeType=text/x-other;" + type + ";\n");
  // The same id in a later folder is hidden by the first.
  WriteEntry(home / "org", "viewer.desktop",
             "[Desktop Entry]\nType=Application\nName=Zed Viewer\nExec=\"/opt/my viewer/view\" --fast %f\n"
             "MimeType=text/x-other;" + type + ";\n");
  WriteEntry(system, "hidden.desktop", "[Desktop Entry]\nType=Application\nName=Gone\nExec=gone\nHidden=true\n");

  std::vector<QString> typesAsked;
  QString handler;
  std::vector<QUrl> urls;
  std::vector<std::vector<DesktopEntry>> offers;
  std::optional<std::size_t> pick = 0;
  std::vector<std::pair<QString, QStringList>> started;
  opener.defaultHandler = [&](const QString& type) {
    typesAsked.push_back(type);
    return handler;
  };
  opener.applicationFolders = [&] {
    return QStringList{QString::fromStdString(home.string()), QString::fromStdString(system.string())};
  };
  opener.openUrl = [&](const QUrl& url) {
    urls.push_back(url);
    return true;
  };
  opener.chooseProgram = [&](QWidget*, const QString& file, std::vector<DesktopEntry> offered) {
    EXPECT_EQ(file, shown);
    offers.push_back(offered);
    if (!pick || *pick >= offered.size()) return std::optional<DesktopEntry>();
    return std::optional<DesktopEntry>(offered[*pick]);
  };
  opener.startProgram = [&](const QString& program, const QStringList& arguments) {
    started.emplace_back(program, arguments);
    return true;
  };

  // No handler: the chooser, the entry declaring the type first.
  opener.Open(*path, nullptr);
  ASSERT_EQ(typesAsked.size(), 1u);
  EXPECT_EQ(typesAsked[0].toStdString(), type);
  EXPECT_TRUE(urls.empty());
  ASSERT_EQ(offers.size(), 1u);
  ASSERT_EQ(offers[0].size(), 2u);
  EXPECT_EQ(offers[0][0].id, "org-viewer.desktop");
  EXPECT_TRUE(offers[0][0].declaresType);
  EXPECT_EQ(offers[0][1].name, "All Purpose");
  EXPECT_FALSE(offers[0][1].declaresType);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].first, QStringLiteral("/opt/my viewer/view"));
  EXPECT_EQ(started[0].second, (QStringList{QStringLiteral("--fast"), shown}));

  // The other entry's %U is the file too; cancelled, nothing starts.
  pick = 1;
  opener.Open(*path, nullptr);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[1].first, QStringLiteral("allpurpose"));
  EXPECT_EQ(started[1].second, QStringList{shown});
  pick.reset();
  opener.Open(*path, nullptr);
  EXPECT_EQ(started.size(), 2u);

  // A handler: the file goes to the desktop, nobody is asked.
  handler = QStringLiteral("org-viewer.desktop");
  opener.Open(*path, nullptr);
  ASSERT_EQ(urls.size(), 1u);
  EXPECT_EQ(urls[0], QUrl::fromLocalFile(shown));
  EXPECT_EQ(offers.size(), 3u);
  EXPECT_EQ(started.size(), 2u);
}

TEST_F(PreviewTest, ChooseProgramDialogGivesThePickedApplicationOrNothing) {
  std::vector<DesktopEntry> offered(2);
  offered[0].id = "viewer.desktop";
  offered[0].name = "Viewer";
  offered[0].exec = "viewer %f";
  offered[0].declaresType = true;
  offered[1].id = "editor.desktop";
  offered[1].name = "Editor";
  offered[1].exec = "editor";
  bool answered = false;
  test::WhenDialogOpens(
      [](QWidget* dialog) {
        auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("okButton"));
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("programList"));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(0)->text(), QStringLiteral("Viewer"));
        EXPECT_TRUE(list->item(0)->font().bold());
        EXPECT_FALSE(list->item(1)->font().bold());
        EXPECT_EQ(list->currentRow(), 0) << "the best match is chosen to begin with";
        EXPECT_TRUE(ok->isEnabled());
        list->setCurrentRow(1);
        EXPECT_TRUE(ok->isEnabled());
        ClickNamed(dialog, "okButton");
      },
      &answered);
  const auto chosen = ChooseProgramDialog::Choose(nullptr, QStringLiteral("/tmp/x/a.xyz"), offered);
  EXPECT_TRUE(answered);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(chosen->id, "editor.desktop");

  test::WhenDialogOpens([](QWidget* dialog) {
    dialog->findChild<QListWidget*>(QStringLiteral("programList"))->setCurrentRow(0);
    ClickNamed(dialog, "cancelButton");
  });
  EXPECT_FALSE(ChooseProgramDialog::Choose(nullptr, QStringLiteral("/tmp/x/a.xyz"), offered).has_value());

  // Nothing installed: nothing to choose, OK stays grey.
  test::WhenDialogOpens([](QWidget* dialog) {
    EXPECT_FALSE(dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->isEnabled());
    ClickNamed(dialog, "okButton");
    ClickNamed(dialog, "cancelButton");
  });
  EXPECT_FALSE(ChooseProgramDialog::Choose(nullptr, QStringLiteral("/tmp/x/a.xyz"), {}).has_value());
}

}  // namespace
}  // namespace korv

// The system dialogs without a window system: the dialog model's scaling and placement, the
// show password's rules, the print dialog's commands and picture provider, saving inside the
// chosen folder, and the start-up window's rewritten script.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "foundation/stream.h"
#include "package/show_locator.h"
#include "resources/decoders.h"
#include "script/ini_file.h"
#include "shell/dialog_model.h"
#include "shell/password_dialog.h"
#include "shell/print_dialog.h"
#include "shell/startup_filter.h"
#include "test_data.h"

namespace zem {
namespace {

namespace fs = std::filesystem;

// One user action in a dialog: a click on a control, with the check box as it then is.
struct TStep {
  int32_t id;
  bool checked = false;
};

class TFakeSession final : public TNativeDialogSession {
 public:
  TFakeSession(const TNativeDialog& d, bool checked) : dialog_(d), checked_(checked) {}
  bool Checked(size_t item) const override {
    return item < dialog_.items.size() && dialog_.items[item].kind == TNativeDialogItem::TKind::CheckBox && checked_;
  }
  void* Window() const override { return reinterpret_cast<void*>(uintptr_t(0x1234)); }

 private:
  const TNativeDialog& dialog_;
  bool checked_;
};

// Runs dialogs by a script of steps; the edit gets `typed`; after the last step the window is
// closed (result 2).
class TScriptedDialogs final : public TDialogSystem {
 public:
  TScriptedDialogs() { previous_ = SetDialogSystem(this); }
  ~TScriptedDialogs() override { SetDialogSystem(previous_); }
  float PixelsPerInchScale() override { return scale; }
  TRectI Screen() override { return screen; }
  int32_t Run(TNativeDialog& d, const TNativeCommand& command) override {
    shown.push_back(d);
    if (unavailable) return kNativeDialogUnavailable;
    for (auto& item : d.items)
      if (item.kind == TNativeDialogItem::TKind::Edit) item.text = typed;
    for (const TStep& s : steps) {
      TFakeSession session(d, s.checked);
      const std::optional<int32_t> r = command(s.id, session);
      answers.push_back(r);
      if (r) return *r;
    }
    return kNativeDialogCancel;
  }

  float scale = 1;
  TRectI screen{0, 0, 1280, 1024};
  bool unavailable = false;
  std::string typed;
  std::vector<TStep> steps;
  std::vector<TNativeDialog> shown;
  std::vector<std::optional<int32_t>> answers;

 private:
  TDialogSystem* previous_;
};

std::unique_ptr<TIniFile> Script(const std::string& text) {
  auto s = std::make_unique<TIniFile>();
  EXPECT_TRUE(s->LoadFromText(Utf8ToWide(text)));
  return s;
}

TEST(DialogModel, ScaledToTheScreenAndPlaced) {
  TScriptedDialogs system;
  system.scale = 1.5f;  // 144 pixels per inch
  auto script = Script("[Main]\nopt_usepass=1\n");
  TZemPasswordDialog dialog(*script);
  const TNativeDialog d = dialog.Build(1.5f, {0, 0, 1280, 1024}, {});
  EXPECT_EQ(d.clientWidth, 390);
  EXPECT_EQ(d.clientHeight, 147);
  ASSERT_EQ(d.items.size(), 4u);
  EXPECT_EQ(d.items[1].x, 18);
  EXPECT_EQ(d.items[1].width, 354);  // 236 x 1.5
  EXPECT_EQ(d.items[2].height, 38);  // 25 x 1.5 rounded
  EXPECT_TRUE(d.placed);
  EXPECT_EQ(d.x, (1280 - 390) / 2);
  // Centred on the owner's client area, but kept on the screen; mode 2 is not placed.
  EXPECT_EQ(DialogPosition(TDialogPlacement::Owner, 200, 100, {0, 0, 1280, 1024}, {1200, 900, 1300, 1000}),
            (TPointI{1080, 900}));
  EXPECT_EQ(DialogPosition(TDialogPlacement::Owner, 200, 100, {0, 0, 1280, 1024}, {}), (TPointI{540, 462}));
  EXPECT_FALSE(DialogPosition(TDialogPlacement::Platform, 200, 100, {0, 0, 1280, 1024}, {}));
  // Default sizes of the item kinds.
  EXPECT_EQ(TDialogEdit().width, 50);
  EXPECT_EQ(TDialogButton().height, 14);
  EXPECT_EQ(TDialogCheckBox().height, 8);
}

TEST(ShowPassword, RulesOfTheCheck) {
  TScriptedDialogs system;
  auto plain = Script("[Main]\nopt_pass=Secret\n");
  EXPECT_FALSE(CheckShowPassword({}, *plain));
  EXPECT_TRUE(system.shown.empty());  // no password asked for: no dialog

  auto script = Script("[Main]\nopt_usepass=1\nopt_pass=Secret\nopt_lng_button_ok=Go\n");
  auto ask = [&](const std::string& typed, std::vector<TStep> steps) {
    system.typed = typed;
    system.steps = std::move(steps);
    return CheckShowPassword({}, *script);
  };
  EXPECT_FALSE(ask("Secret", {{1}}));
  EXPECT_TRUE(ask("secret", {{1}}));  // one letter's case differs
  EXPECT_TRUE(ask("Secret", {{2}}));  // Cancel
  EXPECT_TRUE(ask("Secret", {}));     // the window closed
  system.unavailable = true;
  EXPECT_TRUE(ask("Secret", {{1}}));  // nobody could be asked
  system.unavailable = false;
  const TNativeDialog& d = system.shown.back();
  EXPECT_EQ(d.caption, "Password required");
  EXPECT_EQ(d.items[0].text, "Enter password:");
  EXPECT_TRUE(d.items[1].password);
  EXPECT_EQ(d.items[2].text, "Go");
  EXPECT_TRUE(d.items[2].isDefault);
  EXPECT_EQ(d.items[3].id, 2);
  // Without "opt_pass" the built-in password is expected.
  auto builtIn = Script("[Main]\nopt_usepass=1\n");
  system.typed = "kqvm27xbtnrplzse83Jwdca";
  system.steps = {{1}};
  EXPECT_FALSE(CheckShowPassword({}, *builtIn));
}

// ---------------------------------------------------------------------------------------------
// Print dialog

class TMemoryFiles : public TFileSource {
 public:
  std::map<std::string, std::vector<uint8_t>> files;

 protected:
  std::unique_ptr<TStream> DoOpen(const std::string& name) override {
    auto it = files.find(name);
    return it == files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
  }
};

class TFakePrinting final : public TPrintServices {
 public:
  void PrinterSetup(void*) override { ++setups; }
  TPrintOutcome Print(void*, const TBitmap& picture, bool landscape, std::string*) override {
    printed.push_back(picture);
    landscapes.push_back(landscape);
    return TPrintOutcome::Printed;
  }
  std::optional<std::string> ChooseSaveFile(void*, const std::string&, const std::string& proposed, const std::string& ext,
                                            const std::string& pattern) override {
    proposals.push_back(proposed + "|" + ext + "|" + pattern);
    return answer;
  }
  void Warning(void*, const std::string& text) override { warnings.push_back(text); }

  int setups = 0;
  std::vector<TBitmap> printed;
  std::vector<bool> landscapes;
  std::vector<std::string> proposals, warnings;
  std::optional<std::string> answer;
};

class PrintDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("zem-print-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::ifstream in(test::DataFile("images/jpeg/libjpeg-turbo/testorig.jpg"), std::ios::binary);
    jpeg.assign(std::istreambuf_iterator<char>(in), {});
    captured.Allocate(64, 48, TPixelFormat::Argb32);
    captured.Fill(0xFF204060u);
  }
  void TearDown() override { fs::remove_all(folder); }

  // A show whose slide 3 has a JPEG main picture with an upper-case extension; slide 1 has none.
  std::unique_ptr<TZemShowLocator> Show(const std::string& main = "CanRestore=1\n") {
    auto source = MakeRef<TMemoryFiles>();
    const std::string script = "[Main]\n" + main + "[Slide1]\n[Slide3]\npicture=Photos\\IMG_1.JPG\n";
    source->files["Project.zem"].assign(script.begin(), script.end());
    source->files["Photos\\IMG_1.JPG"] = std::vector<uint8_t>(jpeg.begin(), jpeg.end());
    return std::make_unique<TZemShowLocator>(std::make_unique<TFileAccessor>(source), "Project.zem");
  }
  int32_t Run(TZemShowLocator& show, int32_t slide, std::vector<TStep> steps, bool withCapture = true) {
    system.steps = std::move(steps);
    return ShowPrintDialog({}, show, withCapture ? &captured : nullptr, slide, printing);
  }

  TScriptedDialogs system;
  TFakePrinting printing;
  fs::path folder;
  std::vector<char> jpeg;
  TBitmap captured;
};

TEST_F(PrintDialogTest, ItemsAndPrinting) {
  auto show = Show("CanRestore=0\nopt_lng_print_caption=Drucken\n");
  EXPECT_EQ(Run(*show, 2, {{kPrintChangePrinter}, {kPrintPrint}}), 1);
  const TNativeDialog& d = system.shown.back();
  EXPECT_EQ(d.caption, "Drucken");
  EXPECT_EQ(d.clientWidth, 282);
  ASSERT_EQ(d.items.size(), 3u);  // no "Save" without "CanRestore"
  EXPECT_EQ(d.items[1].kind, TNativeDialogItem::TKind::CheckBox);
  EXPECT_FALSE(d.items[1].checked);
  EXPECT_EQ(d.items[2].text, "Change Printer");
  // "Change Printer" keeps the dialog open; "Print" prints the captured picture, landscape.
  EXPECT_EQ(printing.setups, 1);
  EXPECT_FALSE(system.answers[0]);
  ASSERT_EQ(printing.printed.size(), 1u);
  EXPECT_EQ(printing.printed[0].Width(), 64);
  EXPECT_TRUE(printing.landscapes[0]);

  // "Only Main Image": the slide's JPEG (227 x 149) is printed instead; a slide without a
  // "picture" key prints the captured picture; without any picture nothing is printed.
  Run(*show, 2, {{kPrintPrint, true}});
  EXPECT_EQ(printing.printed.back().Width(), 227);
  Run(*show, 0, {{kPrintPrint, true}});
  EXPECT_EQ(printing.printed.back().Width(), 64);
  const size_t before = printing.printed.size();
  EXPECT_EQ(Run(*show, 0, {{kPrintPrint}}, false), 1);
  EXPECT_EQ(printing.printed.size(), before);
}

TEST_F(PrintDialogTest, SavingTheMainPictureAndTheCapture) {
  auto show = Show();
  // The JPEG member: its own name proposed with its extension as written; bytes unchanged.
  printing.answer = (folder / "copy.JPG").string();
  EXPECT_EQ(Run(*show, 2, {{kPrintSave, true}}), 1);
  ASSERT_EQ(printing.proposals.size(), 1u);
  EXPECT_EQ(printing.proposals[0], "IMG_1.JPG|JPG|*.JPG");
  std::ifstream saved(folder / "copy.JPG", std::ios::binary);
  EXPECT_EQ(std::vector<char>(std::istreambuf_iterator<char>(saved), {}), jpeg);
  // Cancelled: the print dialog stays open (the next step closes its window).
  printing.answer.reset();
  EXPECT_EQ(Run(*show, 2, {{kPrintSave, true}}), kNativeDialogCancel);

  // Without the box, on the third slide: "Slide3.bmp", the captured picture as a BMP file.
  printing.answer = (folder / "Slide3.bmp").string();
  EXPECT_EQ(Run(*show, 2, {{kPrintSave}}), 1);
  EXPECT_EQ(printing.proposals.back(), "Slide3.bmp|bmp|*.bmp");
  auto file = TFileStream::Open((folder / "Slide3.bmp").string(), TFileMode::Read);
  ASSERT_TRUE(file);
  TRef<TBitmapStore> store = Decode(std::move(file), u"Slide3.bmp");
  ASSERT_TRUE(store);
  EXPECT_EQ(store->Bitmap().Width(), 64);
  EXPECT_EQ(store->Bitmap().GetPixel(10, 10), 0xFF204060u);

  // A write that fails says so and keeps the dialog open; nothing is left behind.
  printing.answer = (folder / "missing" / "x.bmp").string();
  EXPECT_EQ(Run(*show, 2, {{kPrintSave}}), kNativeDialogCancel);
  ASSERT_EQ(printing.warnings.size(), 1u);
  EXPECT_NE(printing.warnings[0].find("x.bmp"), std::string::npos);
}

TEST_F(PrintDialogTest, SavingStaysInTheChosenFolder) {
  const std::vector<uint8_t> bytes = {1, 2, 3};
  std::string error;
  // A link of the chosen name is replaced, not written through.
  const fs::path outside = folder / "outside.txt";
  fs::create_directories(folder / "chosen");
  { std::ofstream(outside) << "keep"; }
  fs::create_symlink(outside, folder / "chosen" / "pic.bmp");
  ASSERT_TRUE(SaveBytesInFolder((folder / "chosen" / "pic.bmp").string(), bytes, error)) << error;
  EXPECT_FALSE(fs::is_symlink(folder / "chosen" / "pic.bmp"));
  EXPECT_EQ(fs::file_size(folder / "chosen" / "pic.bmp"), 3u);
  std::ifstream kept(outside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
  // A name that is a folder: refused, the folder and its neighbours untouched, no part file.
  fs::create_directories(folder / "chosen" / "dir.bmp");
  EXPECT_FALSE(SaveBytesInFolder((folder / "chosen" / "dir.bmp").string(), bytes, error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(fs::is_directory(folder / "chosen" / "dir.bmp"));
  size_t entries = 0;
  for (auto& e : fs::directory_iterator(folder / "chosen")) entries += e.path().filename().string()[0] != '.';
  EXPECT_EQ(entries, 2u);
  for (auto& e : fs::directory_iterator(folder / "chosen")) EXPECT_EQ(e.path().filename().string().find(".zem-save"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Start-up window

TEST(StartupScript, OneSlideOfTheStartupDialog) {
  auto in = Script(
      "[Main]\nopt_slidescount=12\nopt_fx_enable=1\nopt_usepass=1\nopt_startupwidth=500\nstw_caption=Welcome\n"
      "opt_customdialogscount=2\nopt_lockf1=0\nopt_fcp=1\n"
      "object music: one\nend\nobject Music: two\nend\n"
      "[Slide1]\nbname=255\n[dialog_startup]\nbname=65280\nobject box: Ok\n  Action=closedialog\nend\n"
      "[FileMap]\na=b\n[dialog_help]\nx=1\n[dialog_3_]\nx=3\n[dialog_1_]\nx=1\n[Slide2]\n");
  std::unique_ptr<TIniFile> out = BuildStartupScript(*in);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->SectionNames(),
            (std::vector<WideString>{u"main", u"slide1", u"FileMap", u"dialog_help", u"dialog_1_"}));
  EXPECT_EQ(out->ReadString(u"main", u"opt_slidescount", u""), u"1");
  EXPECT_EQ(out->ReadString(u"main", u"opt_fx_enable", u""), u"0");
  EXPECT_EQ(out->ReadString(u"main", u"opt_repeat", u""), u"stop");
  EXPECT_EQ(out->ReadString(u"main", u"opt_usepass", u""), u"0");
  EXPECT_EQ(out->ReadString(u"main", u"opt_fcp", u""), u"0");
  EXPECT_EQ(out->ReadString(u"main", u"opt_scr_width", u""), u"500");
  EXPECT_EQ(out->ReadString(u"main", u"opt_scr_height", u""), u"480");
  EXPECT_EQ(out->ReadString(u"main", u"opt_scr_caption", u""), u"Welcome");
  EXPECT_EQ(out->ReadString(u"main", u"opt_lockf1", u""), u"0");
  EXPECT_EQ(out->ReadInteger(u"slide1", u"bname", 0), 65280);
  // Only the first music object goes.
  const TIniSection* main = out->FindSection(u"main");
  std::vector<WideString> objects;
  for (TIniObject* o = main->FirstObject(); o; o = main->NextObject(o)) objects.push_back(o->Name());
  EXPECT_EQ(objects, std::vector<WideString>{u"Music"});
  // Without a start-up dialog there is nothing to rewrite.
  EXPECT_FALSE(BuildStartupScript(*Script("[Main]\nopt_slidescount=2\n")));
}

TEST(StartupScript, TheFilterRewritesOnlyTheScript) {
  TStreamFilter filter = MakeStartupScriptFilter("Project.zem");
  const std::string script = "[Main]\nopt_slidescount=3\n[dialog_startup]\nbname=1\n";
  auto bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  auto read = [](std::unique_ptr<TStream> s) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(s && s->ReadRest(out, 1 << 20));
    return std::string(out.begin(), out.end());
  };
  const std::string other = read(filter("other.zem", std::make_unique<TMemoryStream>(bytes(script))));
  EXPECT_EQ(other, script);
  const std::string plain = "[Main]\nopt_slidescount=3\n";
  EXPECT_EQ(read(filter("Project.zem", std::make_unique<TMemoryStream>(bytes(plain)))), plain);
  const std::string rewritten = read(filter("Project.zem", std::make_unique<TMemoryStream>(bytes(script))));
  EXPECT_EQ(rewritten.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(rewritten.find("opt_slidescount=1\r\n"), std::string::npos);
  EXPECT_NE(rewritten.find("[slide1]\r\n"), std::string::npos);
}

}  // namespace
}  // namespace zem

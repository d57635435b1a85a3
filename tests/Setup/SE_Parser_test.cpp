#include "Setup/SE_Parser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "Setup/Ggauge.h"
#include "Setup/SE_ShellTreeView.h"
#include "installer-library/SIntegerText.h"
#include "platform/ByteOrder.h"
#include "platform/Directory.h"
#include "platform/File.h"
#include "platform/gui/Picture.h"
#include "tests/Setup/LayoutFixture.h"
#include "tests/Setup/RecordingCanvas.h"
#include "tests/support/RaisedText.h"

using testing_support::RaisedText;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  TStringList list;
  SplitLines(list, text.c_str());
  std::vector<std::string> out;
  for (TStringData* n = list.Head; n; n = n->Next) out.push_back(n->Text);
  EXPECT_EQ(list.Count, static_cast<int32_t>(out.size()));
  return out;
}

// A BMP of w x h pixels: left half red, right half blue.
std::string HalfAndHalfBmp(int w, int h) {
  gui::Bitmap picture(w, h);
  picture.FillRect(0, 0, w / 2, h, 0x0000FF);
  picture.FillRect(w / 2, 0, w, h, 0xFF0000);
  auto bytes = gui::EncodeBmp(picture);
  return std::string(bytes.begin(), bytes.end());
}

const char kTwoPages[] = "[pages]\r\nwelcome.txt\r\npatch.txt\r\n[pagetypes]\r\nwelcome\r\npatch\r\n";

}  // namespace

TEST(LineListTest, SplitsAtCarriageReturnsAndTrims) {
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"a\r\nb", {"a", "b"}},
      {"a\r", {"a"}},  // no empty line after a final carriage return
      {"a\r\r", {"a", ""}},
      {"  x \t\r\t\r", {"x", ""}},
      {"", {}},
      {"one\ntwo", {"one", "two"}},  // line feeds end lines too
      {"a\n\nb\r\n\r\n", {"a", "", "b", ""}},
      {"a\n\r", {"a", ""}},  // LF CR is two line ends
      {"\r\nlast", {"", "last"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Lines(c.text), c.lines) << c.text;
}

TEST(LineListTest, GetGivesEmptyOutsideTheList) {
  TStringList list;
  list.Add("first");
  list.Add("second");
  EXPECT_EQ(list.Get(1), "second");
  EXPECT_EQ(list.Get(-1), "");
  EXPECT_EQ(list.Get(2), "");
  list.Clear();
  EXPECT_EQ(list.Count, 0);
  EXPECT_EQ(list.Get(0), "");
}

TEST_F(LayoutTest, HugeBlocksAreReadInLinearTime) {
  std::string layout = "[big]\r\ntype=tlabel\r\n";
  for (int i = 0; i < 200000; ++i) layout += "unknownkey=1\r\n";
  layout += "left=9\r\n";
  Archive({{"p.txt", layout}});
  TControlParser parser(page.get());
  auto start = std::chrono::steady_clock::now();
  parser.LoadFromFile("p.txt");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  ASSERT_EQ(parser.Controls.size(), 1u);
  EXPECT_EQ(parser.Controls[0]->Left(), 9);
}

TEST_F(LayoutTest, IndexBuildsPagesInOrderWithTypesAndColour) {
  Archive({{"Pages.txt",
            "[pages]\r\nwelcome.txt\r\ndir.txt\r\nend.txt\r\n[settings]\r\nColour=$0000FF\r\n"
            "fontcolour=$FF\r\n[PageTypes]\r\nwelcome\r\nINSTALLDIR\r\nfinish\r\n"},
           {"welcome.txt", "[Title]\r\ntype=tlabel\r\ncaption=Hi"},
           {"dir.txt", "[installdir_edit]\r\ntype=tedit"},
           {"end.txt", "[done]\r\ntype=tlabel"}});
  pages->LoadFromFile("Pages.txt");
  ASSERT_EQ(pages->Pages.size(), 3u);
  EXPECT_EQ(pages->Colour, 0x0000FF);
  EXPECT_EQ(pages->Pages[0]->PageType, ptWelcome);
  EXPECT_EQ(pages->Pages[1]->PageType, ptInstallDir);
  EXPECT_EQ(pages->Pages[2]->PageType, ptFinish);
  EXPECT_EQ(pages->Current, 0);
  EXPECT_TRUE(Control<TTntLabel>(0, "Title").Visible()) << "the first page shows once built";
  EXPECT_FALSE(Control<TTntEdit>(1, "installdir_edit").Visible());
  EXPECT_TRUE(boxes.empty());
}

// Files saved by ordinary editors: a UTF-8 mark in front, LF line ends,
// 16-bit text.
TEST_F(LayoutTest, EditorsMarksAndLineEndsGiveTheSamePages) {
  const std::string index = "[pages]\r\nwelcome.txt\r\ndir.txt\r\n[pagetypes]\r\nwelcome\r\ninstalldir\r\n";
  const std::string welcome = "[Title]\r\ntype=tlabel\r\ncaption=Hi\r\nleft=7\r\n[Logo]\r\ntype=tbevel\r\n";
  const std::string dirPage = "[installdir_edit]\r\ntype=tedit\r\ntext=C:\\Games\r\n";
  auto lf = [](std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
  };
  const std::string mark = "\xEF\xBB\xBF";
  auto utf16 = [](bool little) {
    return [little](const std::string& t) {
      std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
      for (char c : t) out += little ? std::string{c, '\0'} : std::string{'\0', c};
      return out;
    };
  };
  struct Case {
    const char* what;
    std::function<std::string(const std::string&)> save;
  } cases[] = {
      {"as written", [](const std::string& t) { return t; }},
      {"with a UTF-8 mark", [&](const std::string& t) { return mark + t; }},
      {"with LF ends", lf},
      {"with both", [&](const std::string& t) { return mark + lf(t); }},
      {"as UTF-16 with its mark", utf16(true)},
      {"as big-endian UTF-16", utf16(false)},
  };
  for (const Case& c : cases) {
    Archive({{"Pages.txt", c.save(index)}, {"welcome.txt", c.save(welcome)}, {"dir.txt", c.save(dirPage)}});
    page = std::make_unique<TPanel>(nullptr);  // control names are unique per panel
    TSEPageControl set(back.get(), page.get(), language.get(), cancel.get(), next.get());
    set.LoadFromFile("Pages.txt");
    ASSERT_EQ(set.Pages.size(), 2u) << c.what;
    EXPECT_EQ(set.Pages[1]->PageType, ptInstallDir) << c.what;
    ASSERT_EQ(set.Pages[0]->Controls.size(), 2u) << c.what;
    EXPECT_EQ(set.Pages[0]->Controls[0]->Name(), "Title") << c.what;
    EXPECT_EQ(dynamic_cast<TTntLabel&>(*set.Pages[0]->Controls[0]).Caption(), u"Hi") << c.what;
    EXPECT_EQ(set.Pages[0]->Controls[0]->Left(), 7) << c.what;
    EXPECT_EQ(set.Pages[0]->Controls[1]->Name(), "Logo") << c.what;
    ASSERT_EQ(set.Pages[1]->Controls.size(), 1u) << c.what;
    EXPECT_EQ(dynamic_cast<TTntEdit&>(*set.Pages[1]->Controls[0]).Text(), u"C:\\Games") << c.what;
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(LayoutTest, TypesApplyOnlyToPagesThatExist) {
  Archive({{"Pages.txt", "[pagetypes]\r\nfinish\r\n[pages]\r\na.txt\r\n[pagetypes]\r\npatch\r\nfinish\r\nfinish\r\n"},
           {"a.txt", ""}});
  pages->LoadFromFile("Pages.txt");
  ASSERT_EQ(pages->Pages.size(), 1u);
  EXPECT_EQ(pages->Pages[0]->PageType, ptPatch) << "the early section found no page; extra lines do nothing";

  Archive({{"Pages.txt", "[pagetypes]\r\nfinish\r\n[pages]\r\na.txt\r\n"}, {"a.txt", ""}});
  TSEPageControl other(back.get(), page.get(), language.get(), cancel.get(), next.get());
  other.LoadFromFile("Pages.txt");
  EXPECT_EQ(other.Pages[0]->PageType, ptWelcome);

  // An unknown word leaves the type as it is.
  Archive({{"Pages.txt", "[pages]\r\na.txt\r\n[pagetypes]\r\npatch\r\n[pagetypes]\r\nlast\r\n"}, {"a.txt", ""}});
  TSEPageControl third(back.get(), page.get(), language.get(), cancel.get(), next.get());
  third.LoadFromFile("Pages.txt");
  EXPECT_EQ(third.Pages[0]->PageType, ptPatch);
}

TEST_F(LayoutTest, ColourSettingIsTheKeyEqualsAndValueWithoutBlanks) {
  struct Case {
    const char* line;
    TColor colour;
    const char* error;
  };
  const Case cases[] = {
      {"colour=$0000FF", 0x0000FF, ""},
      {"COLOUR=255", 255, ""},
      {"colour = $0000FF", 0, "'= $0000FF' is not a valid integer value"},
      {"colour=red", 0, "'red' is not a valid integer value"},
      {"fontcolour=oops", gui::clWhite, "'oops' is not a valid integer value"},
      {"other=5", gui::clWhite, ""},
  };
  for (const Case& c : cases) {
    TSEPageControl index(back.get(), page.get(), language.get(), cancel.get(), next.get());
    TStringList section;
    section.Add("[settings]");
    section.Add(c.line);
    EXPECT_EQ(RaisedText([&] { index.ParseSection(section); }), c.error) << c.line;
    if (!*c.error) {
      EXPECT_EQ(index.Colour, c.colour) << c.line;
    }
  }
}

TEST_F(LayoutTest, MissingFilesAreReportedAndPagesKeepTheirPlace) {
  Archive({{"other.txt", "x"}});
  pages->LoadFromFile("Pages.txt");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Error File Missing: Pages.txt");
  EXPECT_EQ(boxes[0].Caption, "Missing File");
  EXPECT_TRUE(pages->Pages.empty());

  boxes.clear();
  Archive({{"Pages.txt", "[pages]\r\nmissing.txt\r\nend.txt\r\n[pagetypes]\r\npatch\r\nfinish"},
           {"end.txt", "[x]\r\ntype=tlabel"}});
  pages->LoadFromFile("Pages.txt");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Error File Missing: |missing.txt|");
  ASSERT_EQ(pages->Pages.size(), 2u);
  EXPECT_TRUE(pages->Pages[0]->Controls.empty());
  EXPECT_EQ(pages->Pages[0]->PageType, ptPatch);

  // An entry that exists but is empty is no missing file.
  boxes.clear();
  Archive({{"Pages.txt", "[pages]\r\nempty.txt"}, {"empty.txt", ""}});
  TSEPageControl more(back.get(), page.get(), language.get(), cancel.get(), next.get());
  more.LoadFromFile("pages.TXT");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(more.Pages.size(), 1u);
}

TEST_F(LayoutTest, BlocksCreateControlsByTypeWord) {
  Archive({{"p.txt",
            "[Heading]\r\nType=TLabel\r\ncaption=One\r\n"
            "[Nothing]\r\ntype=tlist\r\ncaption=Two\r\n"
            "[Bare]\r\ntedit\r\n"
            "[NoType]\r\n"
            "[Gauge]\r\nkind=TProgressBar\r\n"
            "[Tree]\r\ntype=tshelltreeview\r\n"}});
  TControlParser parser(page.get());
  parser.LoadFromFile("p.txt");
  ASSERT_EQ(parser.Controls.size(), 4u);
  EXPECT_STREQ(parser.Controls[0]->ClassName(), "TTntLabel");
  EXPECT_EQ(parser.Controls[0]->Name(), "Heading");
  EXPECT_STREQ(parser.Controls[1]->ClassName(), "TTntEdit") << "a type line without '=' is the word itself";
  EXPECT_STREQ(parser.Controls[2]->ClassName(), "TGradGauge") << "the key before '=' is not examined";
  auto& tree = dynamic_cast<TSE_ShellTreeView&>(*parser.Controls[3]);
  EXPECT_FALSE(tree.HideSelection());
  EXPECT_TRUE(tree.DoubleBuffered());
  EXPECT_EQ(parser.RawCaptions.size(), 4u);
  EXPECT_EQ(parser.RawCaptions[0], u"One");
  EXPECT_EQ(page->FindChild("Nothing"), nullptr);
}

TEST_F(LayoutTest, LinesBeforeTheFirstHeaderFormABlockOfTheirOwn) {
  Archive({{"p.txt", "xfirsty\r\ntype=tlabel\r\nleft=7\r\n[second]\r\ntype=tlabel"}});
  TControlParser parser(page.get());
  parser.LoadFromFile("p.txt");
  ASSERT_EQ(parser.Controls.size(), 2u);
  EXPECT_EQ(parser.Controls[0]->Name(), "first");
  EXPECT_EQ(parser.Controls[0]->Left(), 7);
}

TEST_F(LayoutTest, PropertyKeysAreLowerCasedButNotTrimmed) {
  for (auto [line, error] : {std::pair{"width= 30", "' 30' is not a valid integer value"},
                             std::pair{"height=40=50", "'40=50' is not a valid integer value"},
                             std::pair{"fontsize=", "'' is not a valid integer value"}}) {
    Archive({{"p.txt", std::string("[l]\r\ntype=tlabel\r\n") + line}});
    TControlParser parser(page.get());
    EXPECT_EQ(RaisedText([&] { parser.LoadFromFile("p.txt"); }), error) << line;
  }
  Archive(
      {{"p.txt",
        "[l]\r\ntype=tlabel\r\nLEFT=10\r\ntop =20\r\nnoequals\r\nFontBold=TRUE\r\nfontface=Tahoma\r\nfontsize=$C\r\n"
        "[m]\r\ntype=tlabel\r\nfontbold=yes\r\nenabled=True\r\n[n]\r\ntype=tlabel\r\nenabled=1"}});
  TControlParser again(page.get());
  again.LoadFromFile("p.txt");
  const TControl& l = *again.Controls[0];
  EXPECT_EQ(l.Left(), 10);
  EXPECT_EQ(l.Top(), 0) << "the key 'top ' is nothing";
  EXPECT_TRUE(l.Font().Bold);
  EXPECT_EQ(l.Font().Name, "Tahoma");
  EXPECT_EQ(l.Font().Size, 12);
  EXPECT_FALSE(again.Controls[1]->Font().Bold);
  EXPECT_TRUE(again.Controls[1]->Enabled());
  EXPECT_FALSE(again.Controls[2]->Enabled()) << "only 'true' switches on";
}

TEST_F(LayoutTest, NamesMustBeUniqueOverAllPages) {
  Archive({{"Pages.txt", kTwoPages}, {"welcome.txt", "[Same]\r\ntype=tlabel"}, {"patch.txt", "[same]\r\ntype=tedit"}});
  EXPECT_EQ(RaisedText([&] { pages->LoadFromFile("Pages.txt"); }), "A component named same already exists");
  Archive({{"p.txt", "[two words]\r\ntype=tlabel"}});
  TControlParser parser(page.get());
  EXPECT_EQ(RaisedText([&] { parser.LoadFromFile("p.txt"); }), "''two words'' is not a valid component name");
}

TEST_F(LayoutTest, CaptionsGoThroughTagsBreaksAndPlaceholders) {
  Archive({{"p.txt",
            "[label]\r\ntype=tlabel\r\ncaption=Welcome <%setuptitle%><br><LANG12> <lang13>\r\n"
            "[memo]\r\ntype=tmemo\r\ntext=a<bR>b <LANG12> <%SETUPTITLE%>\r\n"
            "[edit]\r\ntype=tedit\r\ntext=<%SETUPTITLE%>\r\n"
            "[panel]\r\ntype=tpanel\r\ncaption=Gr\xFC\xDF"
            "e <LANG13>\r\n"
            "[radio]\r\ntype=tradio\r\ncaption=<LANG20>\r\nchecked=true\r\n"
            "[button]\r\ntype=tbutton\r\ncaption=Press\r\n"}});
  TControlParser parser(page.get());
  parser.LoadFromFile("p.txt");
  auto& label = dynamic_cast<TTntLabel&>(*parser.Controls[0]);
  auto& memo = dynamic_cast<TMemo&>(*parser.Controls[1]);
  auto& edit = dynamic_cast<TTntEdit&>(*parser.Controls[2]);
  auto& panel = dynamic_cast<TPanel&>(*parser.Controls[3]);
  auto& radio = dynamic_cast<TTntRadioButton&>(*parser.Controls[4]);
  auto& button = dynamic_cast<TTntButton&>(*parser.Controls[5]);
  EXPECT_EQ(label.Caption(), u"Welcome Cool Mod v2.0\r< Back <lang13>");
  EXPECT_EQ(memo.Text(), "a\rb <LANG12> <%SETUPTITLE%>") << "memos take no tags or placeholders";
  EXPECT_EQ(parser.RawCaptions[1], u"") << "and keep no raw text";
  EXPECT_EQ(edit.Text(), u"Cool Mod v2.0");
  EXPECT_EQ(panel.Caption(), u"Gr\u00FC\u00DFe Next >");
  EXPECT_EQ(radio.Caption(), u"Welcome to Cool Mod v2.0") << "placeholders inside language strings work too";
  EXPECT_TRUE(radio.Checked());
  EXPECT_EQ(button.Caption(), u"") << "a layout cannot caption a button";

  // Another language: labels, radio buttons and panels follow; edits keep
  // their text.
  Languages.Current = 1;
  SetupInfoFile.SetupName = "Neu";
  parser.Retranslate();
  EXPECT_EQ(label.Caption(), u"Welcome Neu\r< Zur\u00FCck <lang13>");
  EXPECT_EQ(panel.Caption(), u"Gr\u00FC\u00DFe Weiter >");
  EXPECT_EQ(radio.Caption(), u"NOT FOUND 20");
  EXPECT_EQ(edit.Text(), u"Cool Mod v2.0");
  // A language beyond the code page: a panel keeps every character, as a
  // label does.
  AddLanguage(u"\u0420\u0443\u0441\u0441\u043A\u0438\u0439\r\n419;\r\n13 \u0414\u0430\u043B\u0435\u0435 >\r\n");
  Languages.Current = 2;
  parser.Retranslate();
  EXPECT_EQ(panel.Caption(), u"Gr\u00FC\u00DFe \u0414\u0430\u043B\u0435\u0435 >");
}

TEST_F(LayoutTest, ClassKeysReachOnlyTheirClasses) {
  Archive(
      {{"p.txt",
        "[g]\r\ntype=tprogressbar\r\nforecolour=$0000FF\r\nbackcolour=$00FF00\r\nfontcolour=$FF\r\n"
        "[t]\r\ntype=tshelltreeview\r\nfontcolour=$0000FF\r\nselcolour=$00FF00\r\ncolour=$123456\r\nborder=false\r\n"
        "[s]\r\ntype=tshelltreeview\r\nfontselcolour=$FF0000\r\n"
        "[e]\r\ntype=tedit\r\ncolour=$010203\r\nborder=FALSE\r\nautosize=false\r\ncaption=x\r\n"
        "[r]\r\ntype=trichedit\r\ntext=one<BR>two\r\ncolour=$FF\r\nborder=false\r\n"
        "[b]\r\ntype=tbevel\r\ncolour=$FF\r\nleft=3\r\n"
        "[l]\r\ntype=tlabel\r\nautosize=false\r\nwordwrap=true\r\ntransparent=true\r\ncolour=$FF\r\n"}});
  TControlParser parser(page.get());
  parser.LoadFromFile("p.txt");
  auto& gauge = dynamic_cast<TGradGauge&>(*parser.Controls[0]);
  EXPECT_EQ(gauge.Color1(), 0x0000FF);
  EXPECT_EQ(gauge.Color2(), 0x0000FF) << "one flat colour";
  EXPECT_EQ(gauge.Backcolor(), 0x00FF00);
  EXPECT_TRUE(gauge.ParentFont()) << "no font keys on a gauge";
  auto& tree = dynamic_cast<TSE_ShellTreeView&>(*parser.Controls[1]);
  EXPECT_FALSE(tree.ParentFont());
  EXPECT_EQ(tree.Font().Color, 0x0000FF);
  EXPECT_EQ(tree.CustomOptions(), stvFontCol | stvSelCol);
  EXPECT_EQ(tree.CustomSelCol(), 0x00FF00);
  EXPECT_EQ(tree.Color(), 0x123456);
  EXPECT_FALSE(tree.Border());
  EXPECT_EQ(dynamic_cast<TSE_ShellTreeView&>(*parser.Controls[2]).CustomOptions(), stvSelFontCol);
  auto& edit = dynamic_cast<TTntEdit&>(*parser.Controls[3]);
  EXPECT_EQ(edit.Color(), 0x010203);
  EXPECT_FALSE(edit.Border());
  EXPECT_FALSE(edit.AutoSize());
  EXPECT_EQ(edit.Text(), u"") << "edits take text, not caption";
  auto& rich = dynamic_cast<TRichEdit&>(*parser.Controls[4]);
  EXPECT_EQ(rich.Text(), "one\rtwo");
  EXPECT_EQ(rich.Color(), 0xFF);
  EXPECT_FALSE(rich.Border());
  EXPECT_EQ(parser.Controls[5]->Color(), gui::clBtnFace) << "a bevel takes only the common keys";
  EXPECT_EQ(parser.Controls[5]->Left(), 3);
  auto& label = dynamic_cast<TTntLabel&>(*parser.Controls[6]);
  EXPECT_FALSE(label.AutoSize());
  EXPECT_TRUE(label.WordWrap());
  EXPECT_TRUE(label.Transparent());
  EXPECT_TRUE(label.ParentColor()) << "labels take no colour key";
}

TEST_F(LayoutTest, TileWorksOnlyAfterTheFile) {
  std::string bmp = HalfAndHalfBmp(4, 2);
  Archive({{"pics\\tile.bmp", bmp},
           {"p.txt",
            "[before]\r\ntype=timage\r\nwidth=10\r\nheight=5\r\ntile=true\r\nfile=pics\\tile.bmp\r\n"
            "[after]\r\ntype=timage\r\nwidth=10\r\nheight=5\r\nfile=PICS\\TILE.BMP\r\ntile=true\r\nstretch=true\r\n"
            "[none]\r\ntype=timage\r\nfile=absent.bmp\r\ntile=true\r\n"}});
  TControlParser parser(page.get());
  parser.LoadFromFile("p.txt");
  auto& before = dynamic_cast<TImage&>(*parser.Controls[0]);
  auto& after = dynamic_cast<TImage&>(*parser.Controls[1]);
  auto& none = dynamic_cast<TImage&>(*parser.Controls[2]);
  EXPECT_EQ(before.Picture().Width(), 4) << "not tiled";
  ASSERT_EQ(after.Picture().Width(), 10);
  ASSERT_EQ(after.Picture().Height(), 5);
  // Columns repeat every 4 pixels, rows every 2; the last ones are cut off.
  for (int x : {0, 1, 4, 5, 8, 9}) EXPECT_EQ(after.Picture().Pixel(x, 4), 0x0000FFu) << x;
  for (int x : {2, 3, 6, 7}) EXPECT_EQ(after.Picture().Pixel(x, 0), 0xFF0000u) << x;
  EXPECT_TRUE(after.Stretch());
  EXPECT_TRUE(none.Picture().Empty()) << "a missing image file is ignored";
  EXPECT_TRUE(boxes.empty()) << "silently";
  EXPECT_FALSE(platform::DirectoryExists(GetTempDir() + "pics")) << "pictures load from memory";
}

TEST_F(LayoutTest, UnreadablePictureRaisesAndLeavesNoTemporaryFile) {
  Archive({{"face.png", "\x89PNG...."},
           {"bad.jpg", "not a jpeg"},
           {"p.txt", "[i]\r\ntype=timage\r\nfile=face.png\r\n"},
           {"q.txt", "[j]\r\ntype=timage\r\nfile=bad.jpg"}});
  TControlParser parser(page.get());
  EXPECT_THROW(parser.LoadFromFile("p.txt"), gui::EPictureError);
  EXPECT_FALSE(platform::FileExists(GetTempDir() + "\\face.png"));
  EXPECT_THROW(parser.LoadFromFile("q.txt"), gui::EPictureError);
  EXPECT_FALSE(platform::FileExists(GetTempDir() + "\\bad.jpg"));
}

TEST_F(LayoutTest, TilingAPictureOfNoSizeIsRefused) {
  TImage image(page.get());
  EXPECT_EQ(RaisedText([&] { TileImage(image); }), "Tile property must come after File");
}

TEST_F(LayoutTest, TilingOverASizeNoPictureHoldsIsAnErrorNotACrash) {
  Archive({{"dot.bmp", HalfAndHalfBmp(2, 1)},
           {"p.txt", "[i]\r\ntype=timage\r\nwidth=100000\r\nheight=100000\r\nfile=dot.bmp\r\ntile=true"}});
  TControlParser parser(page.get());
  EXPECT_EQ(RaisedText([&] { parser.LoadFromFile("p.txt"); }), "Picture too large: 100000 x 100000");
}

TEST_F(LayoutTest, RichEditLoadsFromTheArchiveOrReportsTheMissingFileOnce) {
  Archive({{"Changelog_English.rtf", "{\\rtf1 news}"},
           {"Pages.txt", "[pages]\r\np.txt\r\nq.txt"},
           {"p.txt", "[log]\r\ntype=trichedit\r\nfile=Changelog_<%SETUPSHORTTITLE%>.rtf\r\n"},
           {"q.txt", "[other]\r\ntype=trichedit\r\nfile=absent.rtf\r\n"}});
  SetupInfoFile.SetupShortName = "English";
  pages->LoadFromFile("Pages.txt");
  auto& log = Control<TRichEdit>(0, "log");
  EXPECT_EQ(log.Content(), "{\\rtf1 news}");
  EXPECT_TRUE(log.ContentIsRich());
  EXPECT_FALSE(platform::FileExists(GetTempDir() + "\\RETL.temp"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Error: File \"absent.rtf\" Missing");
  EXPECT_EQ(boxes[0].Caption, "Rich Edit Error");
  EXPECT_EQ(Control<TRichEdit>(1, "other").Content(), "");
}

TEST_F(LayoutTest, ShowPageSetsButtonsByPageType) {
  Archive({{"Pages.txt",
            "[pages]\r\nbg.txt\r\nwelcome.txt\r\npatch.txt\r\npatching.txt\r\nfinish.txt\r\n"
            "[pagetypes]\r\npatch\r\nwelcome\r\npatch\r\npatching\r\nfinish\r\n"},
           {"bg.txt", "[bg]\r\ntype=tlabel"},
           {"welcome.txt", "[w]\r\ntype=tlabel"},
           {"patch.txt", "[p]\r\ntype=tlabel"},
           {"patching.txt", "[pp]\r\ntype=tlabel"},
           {"finish.txt", "[f]\r\ntype=tlabel"}});
  pages->LoadFromFile("Pages.txt");
  pages->ShowPage(0);
  EXPECT_FALSE(back->Visible()) << "page 0 hides Back even when it is of type patch";
  EXPECT_EQ(next->Caption(), u"Install");

  pages->ShowPage(1);
  EXPECT_TRUE(back->Visible());
  EXPECT_EQ(next->Caption(), u"Next >");
  EXPECT_TRUE(Control<TTntLabel>(1, "w").Visible());
  EXPECT_FALSE(Control<TTntLabel>(0, "bg").Visible());

  pages->ShowPage(3);
  EXPECT_FALSE(back->Visible());
  EXPECT_FALSE(next->Enabled());
  EXPECT_FALSE(cancel->Enabled());
  EXPECT_FALSE(language->Visible());

  pages->ShowPage(4);
  EXPECT_EQ(cancel->Caption(), u"Finish");
  EXPECT_TRUE(cancel->Enabled());
  EXPECT_FALSE(next->Visible());
  pages->ShowPage(1);
  EXPECT_FALSE(next->Visible()) << "nothing shows Next again";
  EXPECT_FALSE(language->Visible());
  EXPECT_TRUE(next->Enabled());

  pages->ShowPage(5);
  pages->ShowPage(-1);
  EXPECT_EQ(pages->Current, 1) << "indexes outside the pages do nothing";
}

TEST_F(LayoutTest, MainLayoutShowsWithEveryPageBehindItsControls) {
  Archive({{"Pages.txt", "[pages]\r\nfirst.txt\r\nback.txt\r\nsecond.txt\r\n[pagetypes]\r\nwelcome\r\nmainlayout\r\n"},
           {"first.txt", "[one]\r\ntype=tlabel"},
           {"back.txt", "[b1]\r\ntype=timage\r\n[b2]\r\ntype=tlabel"},
           {"second.txt", "[two]\r\ntype=tlabel"}});
  pages->LoadFromFile("Pages.txt");
  auto& b1 = Control<TImage>(1, "b1");
  auto& b2 = Control<TTntLabel>(1, "b2");
  EXPECT_TRUE(b1.Visible());
  const auto& order = page->Children();
  ASSERT_GE(order.size(), 4u);
  EXPECT_EQ(order[0], &b1) << "the main layout lies deepest, in its own order";
  EXPECT_EQ(order[1], &b2);
  pages->ShowPage(2);
  EXPECT_TRUE(b2.Visible());
  EXPECT_TRUE(Control<TTntLabel>(2, "two").Visible());
  EXPECT_FALSE(Control<TTntLabel>(0, "one").Visible());
}

TEST_F(LayoutTest, RadioButtonsOfOnePageExcludeEachOther) {
  Archive({{"Pages.txt", "[pages]\r\na.txt\r\nb.txt"},
           {"a.txt", "[a1]\r\ntype=tradio\r\nchecked=true\r\n[a2]\r\ntype=tradio\r\nchecked=true"},
           {"b.txt", "[b1]\r\ntype=tradio\r\nchecked=true"}});
  pages->LoadFromFile("Pages.txt");
  EXPECT_FALSE(Control<TTntRadioButton>(0, "a1").Checked());
  EXPECT_TRUE(Control<TTntRadioButton>(0, "a2").Checked());
  EXPECT_TRUE(Control<TTntRadioButton>(1, "b1").Checked()) << "each page keeps its own choice";
}

TEST_F(LayoutTest, ViewIsAttachedBeforeTheProperties) {
  Archive({{"p.txt", "[l]\r\ntype=tlabel\r\ncaption=Hello"}});
  CountingView view;
  std::u16string captionAtCreation = u"unset";
  page->OnControlCreated = [&](TControl& control) {
    control.SetView(&view);
    captionAtCreation = dynamic_cast<TTntLabel&>(control).Caption();
  };
  {
    TControlParser parser(page.get());
    parser.LoadFromFile("p.txt");
    EXPECT_EQ(captionAtCreation, u"");
    EXPECT_EQ(view.Count(TChange::Text), 1);
  }
  EXPECT_EQ(view.Count(TChange::Destroyed), 1);
}

#include "Setup/SE_Parser.h"

#include <array>
#include <stdexcept>

#include "Global/QXI_PakFile.h"
#include "Setup/Ggauge.h"
#include "Setup/SE_ShellTreeView.h"
#include "installer-library/QXI_Global.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/SIntegerText.h"
#include "platform/MessageBox.h"
#include "platform/TempPath.h"
#include "platform/Text.h"
#include "platform/gui/Picture.h"

using platform::LowerAZ;
using platform::SameTextAZ;

namespace {

// Every "<BR>", in any case, becomes a carriage return. A carriage return
// cannot complete another "<BR>", so one pass gives the repeated result.
std::string ReplaceBreaks(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i + 4 <= text.size() && LowerAZ(text.substr(i, 4)) == "<br>") {
      out += '\r';
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool Switch(const std::string& value) { return LowerAZ(value) == "true"; }

// A group-0 entry of the installer archive: false when it is missing or its
// data cannot be read back (both count as missing).
bool ReadEntry(const std::string& name, Bytes& data) {
  data.clear();
  if (!SetupArchive) return false;
  uint32_t size = 0;
  data = SetupArchive->FindFile(name, 0, size);
  if (!data.empty()) return true;
  // Nothing came back: an existing empty entry, or none that could be read.
  std::string wanted = platform::AnsiLowerCase(name);
  for (const TPakFile& e : SetupArchive->Entries)
    if (e.Group == 0 && platform::AnsiLowerCase(e.Name) == wanted) return e.OriginalSize == 0;
  return false;
}

// The text of a layout file, up to its first NUL, in the system code page.
// Layouts come from ordinary editors: a UTF-8 byte-order mark in front is no
// part of the first line, and a file saved as UTF-16 with its mark (Notepad's
// "Unicode", in either byte order) holds the same text in 16-bit characters,
// with a NUL byte in nearly every one of them.
std::string LayoutText(const Bytes& data) {
  const bool little = data.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE;
  const bool big = data.size() >= 2 && data[0] == 0xFE && data[1] == 0xFF;
  if (little || big) {
    std::u16string wide;
    for (size_t i = 2; i + 1 < data.size(); i += 2) {
      char16_t c = static_cast<char16_t>(little ? data[i] | data[i + 1] << 8 : data[i] << 8 | data[i + 1]);
      if (c == u'\0') break;
      wide.push_back(c);
    }
    return platform::WideToAnsi(wide);
  }
  static constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
  std::string text(data.begin(), data.end());
  text.resize(std::min(text.size(), text.find('\0')));
  if (text.compare(0, 3, kUtf8Mark) == 0) text.erase(0, 3);
  return text;
}

// Splits the text into sections (index) or blocks (layout file): a line
// beginning with "[" starts one, empty lines are skipped, and lines before
// the first "[" line form one of their own.
template <typename Handler>
void ForEachSection(const Bytes& data, Handler&& handle) {
  const std::string text = LayoutText(data);
  TStringList lines;
  SplitLines(lines, text.c_str());
  TStringList gathered;
  for (TStringData* line = lines.Head; line; line = line->Next) {
    if (line->Text.empty()) continue;
    if (line->Text[0] == '[' && gathered.Count > 0) {
      handle(gathered);
      gathered.Clear();
    }
    gathered.Add(line->Text);
  }
  if (gathered.Count > 0) handle(gathered);
}

// The header line without its first and last character.
std::string HeaderName(const std::string& header) {
  return header.size() >= 2 ? header.substr(1, header.size() - 2) : std::string();
}

std::unique_ptr<TControl> CreateControl(const std::string& typeWord, TPanel* panel) {
  if (typeWord == "tlabel") return std::make_unique<TTntLabel>(panel);
  if (typeWord == "tedit") return std::make_unique<TTntEdit>(panel);
  if (typeWord == "tshelltreeview") {
    auto tree = std::make_unique<TSE_ShellTreeView>(panel);
    tree->SetHideSelection(false);
    tree->SetDoubleBuffered(true);
    return tree;
  }
  if (typeWord == "tbutton") return std::make_unique<TTntButton>(panel);
  if (typeWord == "timage") return std::make_unique<TImage>(panel);
  if (typeWord == "tpanel") return std::make_unique<TPanel>(panel);
  if (typeWord == "tbevel") return std::make_unique<TBevel>(panel);
  if (typeWord == "tmemo") return std::make_unique<TMemo>(panel);
  if (typeWord == "trichedit") return std::make_unique<TRichEdit>(panel);
  if (typeWord == "tprogressbar") return std::make_unique<TGradGauge>(panel);
  if (typeWord == "tradio") return std::make_unique<TTntRadioButton>(panel);
  return nullptr;
}

// Font keys of labels, radio buttons, edits, panels, memos and rich edits;
// true when the key was one of them.
bool SetFontProperty(const std::string& key, const std::string& value, TControl& control) {
  if (key == "fontface") {
    control.SetFontName(value);
  } else if (key == "fontsize") {
    control.SetFontSize(StrToInt32(value));
  } else if (key == "fontcolour") {
    TColor color = StrToInt32(value);
    control.SetParentFont(false);
    control.SetFontColor(color);
  } else if (key == "fontbold") {
    control.SetFontBold(Switch(value));
  } else {
    return false;
  }
  return true;
}

}  // namespace

// ------------------------------------------------------------- line list

void TStringList::Add(const std::string& text) {
  auto* node = new TStringData{text, nullptr};
  (Head ? tail_->Next : Head) = node;
  tail_ = node;
  ++Count;
}

std::string TStringList::Get(int32_t index) const {
  if (index < 0 || index >= Count) return "";
  TStringData* node = Head;
  while (index-- > 0) node = node->Next;
  return node->Text;
}

void TStringList::Clear() {
  while (Head) {
    TStringData* next = Head->Next;
    delete Head;
    Head = next;
  }
  tail_ = nullptr;
  Count = 0;
}

void SplitLines(TStringList& list, const char* text) {
  std::string rest = text ? text : "";
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find_first_of("\r\n", start);
    if (end == std::string::npos) end = rest.size();
    size_t first = start, last = end;
    while (first < last && static_cast<unsigned char>(rest[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(rest[last - 1]) <= ' ') --last;
    list.Add(rest.substr(first, last - first));
    // CR LF is one line end.
    start = end + (rest.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
}

std::string GetTempDir() { return platform::TempPath(); }

std::u16string CaptionSteps(const std::u16string& raw) {
  std::u16string text = Languages.ReplaceLangTags(raw);
  text = TLanguages::ReplaceText(text, u"<BR>", u"\r");
  return ApplyLanguageStrings(text);
}

// ------------------------------------------------------------- one page

TControlParser::TControlParser(TPanel* parent) : Parent(parent) {}

TControlParser::~TControlParser() = default;

void TControlParser::LoadFromFile(const std::string& name) {
  Block.Clear();
  Bytes data;
  if (!ReadEntry(name, data)) {
    platform::ShowMessageBox("Error File Missing: |" + name + "|", "Missing File", platform::kMbOk);
    return;
  }
  ForEachSection(data, [this](const TStringList& block) { ParseBlock(block); });
}

void TControlParser::ParseBlock(const TStringList& block) {
  std::string typeLine = block.Get(1);
  size_t eq = typeLine.find('=');
  std::string typeWord = LowerAZ(eq == std::string::npos ? typeLine : typeLine.substr(eq + 1));
  std::unique_ptr<TControl> control = CreateControl(typeWord, Parent);
  if (!control) return;
  control->SetName(HeaderName(block.Get(0)));
  if (Parent && Parent->OnControlCreated) Parent->OnControlCreated(*control);
  TControl& created = *control;
  AddControl(std::move(control));
  size_t index = RawCaptions.size() - 1;
  int32_t line = 0;
  for (TStringData* node = block.Head; node; node = node->Next, ++line) {
    if (line < 2) continue;
    std::string key, value;
    SplitNameValue(node->Text, key, value);
    SetProperty(key, value, RawCaptions[index], created);
  }
  created.Loaded();
}

void TControlParser::AddControl(std::unique_ptr<TControl> control) {
  // Radio buttons of one page belong together.
  if (auto* radio = dynamic_cast<TTntRadioButton*>(control.get())) radio->SetGroup(this);
  Controls.push_back(std::move(control));
  RawCaptions.emplace_back();
}

void TControlParser::HideAll() {
  for (auto& control : Controls) control->SetVisible(false);
}

void TControlParser::ShowAll() {
  for (auto& control : Controls) control->SetVisible(true);
}

void TControlParser::SendAllToBack() {
  for (auto it = Controls.rbegin(); it != Controls.rend(); ++it) (*it)->SendToBack();
}

void TControlParser::Retranslate() {
  for (size_t i = 0; i < Controls.size(); ++i) {
    TControl* control = Controls[i].get();
    if (auto* label = dynamic_cast<TTntLabel*>(control)) {
      label->SetCaption(CaptionSteps(RawCaptions[i]));
    } else if (auto* radio = dynamic_cast<TTntRadioButton*>(control)) {
      radio->SetCaption(CaptionSteps(RawCaptions[i]));
    } else if (auto* panel = dynamic_cast<TPanel*>(control)) {
      panel->SetCaption(CaptionSteps(RawCaptions[i]));
    }
  }
}

void TControlParser::SetProperty(const std::string& rawKey, const std::string& value, std::u16string& rawCaption,
                                 TControl& control) {
  const std::string key = LowerAZ(rawKey);
  if (key == "left") {
    control.SetLeft(StrToInt32(value));
  } else if (key == "top") {
    control.SetTop(StrToInt32(value));
  } else if (key == "width") {
    control.SetWidth(StrToInt32(value));
  } else if (key == "height") {
    control.SetHeight(StrToInt32(value));
  } else if (key == "enabled") {
    control.SetEnabled(Switch(value));
  }

  // The caption or text of the caption steps: kept raw, shown translated.
  auto translated = [&]() {
    rawCaption = platform::AnsiToWide(value);
    return CaptionSteps(rawCaption);
  };
  const std::string cls = control.ClassName();
  if (SameTextAZ(cls, "TTntLabel")) {
    auto& label = static_cast<TTntLabel&>(control);
    if (key == "caption")
      label.SetCaption(translated());
    else if (key == "autosize")
      label.SetAutoSize(Switch(value));
    else if (key == "wordwrap")
      label.SetWordWrap(Switch(value));
    else if (key == "transparent")
      label.SetTransparent(Switch(value));
    else
      SetFontProperty(key, value, control);
  } else if (SameTextAZ(cls, "TTntRadioButton")) {
    auto& radio = static_cast<TTntRadioButton&>(control);
    if (key == "caption")
      radio.SetCaption(translated());
    else if (key == "checked")
      radio.SetChecked(Switch(value));
    else
      SetFontProperty(key, value, control);
  } else if (SameTextAZ(cls, "TTntEdit")) {
    auto& edit = static_cast<TTntEdit&>(control);
    if (key == "text")
      edit.SetText(translated());
    else if (key == "colour")
      edit.SetColor(StrToInt32(value));
    else if (key == "autosize")
      edit.SetAutoSize(Switch(value));
    else if (key == "border")
      edit.SetBorder(Switch(value));
    else
      SetFontProperty(key, value, control);
  } else if (SameTextAZ(cls, "TPanel")) {
    auto& panel = static_cast<TPanel&>(control);
    if (key == "caption")
      panel.SetCaption(translated());
    else
      SetFontProperty(key, value, control);
  } else if (SameTextAZ(cls, "TMemo")) {
    auto& memo = static_cast<TMemo&>(control);
    if (key == "text")
      memo.SetText(ReplaceBreaks(value));
    else if (key == "border")
      memo.SetBorder(Switch(value));
    else
      SetFontProperty(key, value, control);
  } else if (SameTextAZ(cls, "TRichEdit")) {
    auto& rich = static_cast<TRichEdit&>(control);
    if (key == "text")
      rich.SetText(ReplaceBreaks(value));
    else if (key == "border")
      rich.SetBorder(Switch(value));
    else if (key == "colour")
      rich.SetColor(StrToInt32(value));
    else if (key == "file")
      LoadRichEditFile(rich, platform::WideToAnsi(ApplyLanguageStrings(platform::AnsiToWide(value))));
    else
      SetFontProperty(key, value, control);
  } else if (SameTextAZ(cls, "TSE_ShellTreeView")) {
    auto& tree = static_cast<TSE_ShellTreeView&>(control);
    if (key == "colour") {
      tree.SetColor(StrToInt32(value));
    } else if (key == "border") {
      tree.SetBorder(Switch(value));
    } else if (key == "fontcolour") {
      TColor color = StrToInt32(value);
      tree.SetParentFont(false);
      tree.SetFontColor(color);
      tree.SetCustomFontCol(color);
    } else if (key == "fontselcolour") {
      tree.SetCustomSelFontCol(StrToInt32(value));
    } else if (key == "selcolour") {
      tree.SetCustomSelCol(StrToInt32(value));
    }
  } else if (SameTextAZ(cls, "TGradGauge")) {
    auto& gauge = static_cast<TGradGauge&>(control);
    if (key == "forecolour") {
      gauge.SetColor1(StrToInt32(value));
      gauge.SetColor2(gauge.Color1());
    } else if (key == "backcolour") {
      gauge.SetBackcolor(StrToInt32(value));
    }
  } else if (SameTextAZ(cls, "TImage")) {
    auto& image = static_cast<TImage&>(control);
    if (key == "file")
      LoadImageFile(image, value);
    else if (key == "stretch")
      image.SetStretch(Switch(value));
    else if (key == "tile" && Switch(value) && !image.Picture().Empty())
      TileImage(image);
    else if (key == "center")
      image.SetCenter(Switch(value));
    else if (key == "transparent")
      image.SetTransparent(Switch(value));
  }
}

// ------------------------------------------------------------- the page set

TSEPageControl::TSEPageControl(TTntButton* back, TPanel* panel, TTntButton* language, TTntButton* cancel,
                               TTntButton* next)
    : BackButton(back), NextButton(next), CancelButton(cancel), LanguageButton(language), Panel(panel) {}

void TSEPageControl::LoadFromFile(const std::string& name) {
  Bytes data;
  if (!ReadEntry(name, data)) {
    platform::ShowMessageBox("Error File Missing: " + name, "Missing File", platform::kMbOk);
    return;
  }
  ForEachSection(data, [this](const TStringList& section) { ParseSection(section); });
}

void TSEPageControl::ParseSection(const TStringList& section) {
  const std::string name = platform::AnsiLowerCase(HeaderName(section.Get(0)));
  TStringData* first = section.Head ? section.Head->Next : nullptr;
  if (name == "pages") {
    for (TStringData* line = first; line; line = line->Next) AddPage(line->Text);
  } else if (name == "settings") {
    for (TStringData* line = first; line; line = line->Next) {
      const std::string& text = line->Text;
      if (LowerAZ(text.substr(0, 6)) == "colour") {
        Colour = StrToInt32(text.size() > 7 ? text.substr(7) : "");
      } else if (LowerAZ(text.substr(0, 10)) == "fontcolour") {
        // Read, and checked like every integer, but it sets nothing.
        StrToInt32(text.size() > 11 ? text.substr(11) : "");
      }
    }
  } else if (name == "pagetypes") {
    static constexpr std::array<const char*, 9> kWords = {"welcome",    "changelog", "installdir",
                                                          "patch",      "patching",  "finish",
                                                          "mainlayout", "uninstall", "languageselection"};
    size_t page = 0;
    for (TStringData* line = first; line; line = line->Next, ++page) {
      if (page >= Pages.size()) break;
      std::string word = platform::AnsiLowerCase(line->Text);
      for (size_t code = 0; code < kWords.size(); ++code) {
        if (word != kWords[code]) continue;
        Pages[page]->PageType = static_cast<uint8_t>(code);
        if (code == ptMainLayout) {
          Pages[page]->ShowAll();
          Pages[page]->SendAllToBack();
        }
      }
    }
  }
}

void TSEPageControl::AddPage(const std::string& fileName) {
  LoadingPage = fileName;
  auto page = std::make_unique<TControlParser>(Panel);
  page->LoadFromFile(fileName);
  LoadingPage.clear();
  page->HideAll();
  Pages.push_back(std::move(page));
  if (Pages.size() == 1) ShowPage(0);
}

void TSEPageControl::ShowPage(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= Pages.size()) return;
  Current = index;
  BackButton->SetVisible(true);
  NextButton->SetEnabled(true);
  CancelButton->SetEnabled(true);
  if (index == 0) BackButton->SetVisible(false);
  NextButton->SetCaption(Languages.GetString(13));
  switch (Pages[index]->PageType) {
    case ptPatch:
      NextButton->SetCaption(Languages.GetString(15));
      break;
    case ptPatching:
    case ptUninstall:
      BackButton->SetVisible(false);
      NextButton->SetEnabled(false);
      CancelButton->SetEnabled(false);
      LanguageButton->SetVisible(false);
      break;
    case ptFinish:
      CancelButton->SetCaption(Languages.GetString(16));
      BackButton->SetVisible(false);
      NextButton->SetVisible(false);
      break;
  }
  for (size_t i = 0; i < Pages.size(); ++i) {
    if (static_cast<int32_t>(i) == index || Pages[i]->PageType == ptMainLayout)
      Pages[i]->ShowAll();
    else
      Pages[i]->HideAll();
  }
}

void TSEPageControl::Retranslate() {
  for (auto& page : Pages) page->Retranslate();
}

// ------------------------------------------------------------- archive files

// Both loaders work from memory: a name from a layout never becomes a path,
// and no file of the user's is written over or deleted.
void LoadRichEditFile(TRichEdit& richEdit, const std::string& name) {
  Bytes data;
  if (!ReadEntry(name, data)) {
    platform::ShowMessageBox("Error: File \"" + name + "\" Missing", "Rich Edit Error", platform::kMbOk);
    return;
  }
  richEdit.LoadFromBuffer(data.data(), data.size());
}

void LoadImageFile(TImage& image, const std::string& name) {
  Bytes data;
  if (!ReadEntry(name, data)) return;
  image.SetPicture(gui::DecodePicture(name, data.data(), data.size()));
}

void TileImage(TImage& image) {
  const gui::Bitmap& picture = image.Picture();
  if (picture.Width() <= 0 || picture.Height() <= 0) throw std::logic_error("Tile property must come after File");
  gui::Bitmap tile = picture;
  gui::Bitmap tiled(image.Width(), image.Height());
  for (int a = 0; a <= image.Width() / tile.Width(); ++a)
    for (int b = 0; b <= image.Height() / tile.Height(); ++b) tiled.Draw(tile, a * tile.Width(), b * tile.Height());
  image.SetPicture(std::move(tiled));
}

// The page layout language of the wizard. A layout index, "Pages.txt",
// lists the pages in order, gives the page panel's colour and each page's
// type; a page layout file lists controls, each a block of a "[name]"
// header, a type line and property lines. Both are group-0 entries of the
// installer archive. All pages are built once on the wizard's page panel;
// afterwards they are only shown, hidden and re-translated.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Setup/SE_Controls.h"

class TImage;
class TRichEdit;

// ------------------------------------------------------------- line list

struct TStringData {
  std::string Text;
  TStringData* Next = nullptr;
};

// A singly linked list of lines. It remembers its last node, so appending
// stays cheap however long a (possibly hostile) file is.
class TStringList {
 public:
  TStringList() = default;
  ~TStringList() { Clear(); }
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;

  TStringData* Head = nullptr;
  int32_t Count = 0;

  void Add(const std::string& text);
  // The line at index, or empty outside the list.
  std::string Get(int32_t index) const;
  void Clear();

 private:
  TStringData* tail_ = nullptr;
};

// Cuts the text at every line end (CR LF, CR or LF); each piece, trimmed of
// the characters at or below the blank, becomes a line. A final line end
// gives no empty line after it.
void SplitLines(TStringList& list, const char* text);

// The system's temporary folder, ending in a backslash.
std::string GetTempDir();

// Page types, by the words of [pagetypes].
enum TPageType : uint8_t {
  ptWelcome = 0,
  ptChangelog = 1,
  ptInstallDir = 2,
  ptPatch = 3,
  ptPatching = 4,
  ptFinish = 5,
  ptMainLayout = 6,
  ptUninstall = 7,
  ptLanguageSelection = 8,
};

// ------------------------------------------------------------- one page

class TControlParser {
 public:
  explicit TControlParser(TPanel* parent);
  ~TControlParser();
  TControlParser(const TControlParser&) = delete;
  TControlParser& operator=(const TControlParser&) = delete;

  TStringList Block;
  TPanel* Parent;
  std::vector<std::unique_ptr<TControl>> Controls;
  // Each control's caption or text as the layout wrote it, before any
  // replacement; empty when the layout gave none.
  std::vector<std::u16string> RawCaptions;
  uint8_t PageType = ptWelcome;

  // Reads the named group-0 entry and builds its controls; a missing entry
  // is reported in a box and leaves the page empty.
  void LoadFromFile(const std::string& name);
  // One block: header, type line, properties.
  void ParseBlock(const TStringList& block);
  void AddControl(std::unique_ptr<TControl> control);
  void HideAll();
  void ShowAll();
  // Behind every other control of the panel, keeping the page's own order.
  void SendAllToBack();
  // Captions of labels, radio buttons and panels again from the raw ones.
  void Retranslate();
  // Applies one property line to a control.
  void SetProperty(const std::string& key, const std::string& value, std::u16string& rawCaption, TControl& control);
};

// ------------------------------------------------------------- the page set

class TSEPageControl {
 public:
  TSEPageControl(TTntButton* back, TPanel* panel, TTntButton* language, TTntButton* cancel, TTntButton* next);

  TTntButton* BackButton;
  TTntButton* NextButton;
  TTntButton* CancelButton;
  TTntButton* LanguageButton;
  TPanel* Panel;
  int32_t Current = 0;
  std::vector<std::unique_ptr<TControlParser>> Pages;
  TColor Colour = gui::clWhite;
  // The page file AddPage is reading, empty between pages: the page that a
  // raise while loading comes from.
  std::string LoadingPage;

  // Reads the index and builds every page; a missing index is reported in a
  // box and builds nothing.
  void LoadFromFile(const std::string& name);
  void ParseSection(const TStringList& section);
  void AddPage(const std::string& fileName);
  // Shows page i (and every main layout page), hides the rest and sets the
  // buttons by the page's type; an index outside the pages does nothing.
  void ShowPage(int32_t index);
  void Retranslate();
};

// ------------------------------------------------------------- helpers

// Language tags, "<BR>" to a carriage return, then the placeholders.
std::u16string CaptionSteps(const std::u16string& raw);
// Loads a group-0 entry into a rich edit.
void LoadRichEditFile(TRichEdit& richEdit, const std::string& name);
// Loads a group-0 entry as an image's picture, its kind by the name's
// extension.
void LoadImageFile(TImage& image, const std::string& name);
// Repeats the image's picture over the whole control.
void TileImage(TImage& image);

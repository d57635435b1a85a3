// The edit controls of the windowing layer: one line, several lines of
// plain text, rich text. Windows only.
#pragma once

#include <functional>
#include <string>

#include "platform/gui/Controls.h"

namespace gui {

// Single-line edit; OnChange follows every change of the text, typed or set.
class Edit : public WinControl {
 public:
  explicit Edit(Container* parent);
  bool OnCommand(unsigned code) override;
  // The height that fits one line of the font with the border.
  int FittingHeight();
  std::function<void()> OnChange;
};

// Several lines of text among the dialog keys of a window: Tab and
// Shift+Tab move on from it, and arriving by Tab never selects its text
// whole (the next key would replace all of it). Read-only, its text can be
// scrolled and copied but not changed, and Enter presses the window's
// default button; editable (the default), Enter breaks the line.
class MultiLineEdit : public WinControl {
 public:
  ~MultiLineEdit() override;
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool on);

 protected:
  explicit MultiLineEdit(Container* parent) : WinControl(parent) {}
  // Creates the window of the class, which then answers the dialog keys as
  // above.
  void CreateEdit(const char16_t* className, unsigned long style);

 private:
  bool readOnly_ = false;
};

// Multi-line plain text; a lone carriage return or line feed breaks a line.
class Memo : public MultiLineEdit {
 public:
  explicit Memo(Container* parent);
  void SetLines(const std::u16string& text);
  bool OnCommand(unsigned code) override;
  std::function<void()> OnChange;
};

// Rich text or plain text, with both scroll bars, of any length.
class RichEdit : public MultiLineEdit {
 public:
  explicit RichEdit(Container* parent);
  void SetColor(TColor color) override;
  // The font of plain text, and the default of rich text where the document
  // names none; a loaded rich text keeps the formatting it has.
  void SetFont(const Font& font) override;
  // Rich text when the bytes begin with "{\rtf", else plain text in the
  // encoding that its byte-order mark or its bytes say (DecodeTextFile).
  void LoadContent(const std::string& bytes);
  void SetLines(const std::u16string& text);

 private:
  // The font as the control's character format: of all text, or the
  // default for text to come.
  void ApplyCharFormat(bool allText);
  bool rich_ = false;
};

}  // namespace gui

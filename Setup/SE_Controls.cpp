#include "Setup/SE_Controls.h"

#include <algorithm>

#include "platform/File.h"
#include "platform/Text.h"

bool IsValidIdent(const std::string& name) {
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (name.empty() || !alpha(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TPanel* parent) : parent_(parent) {
  if (parent_) {
    font_ = parent_->font_;
    parent_->Insert(this);
  }
}

TControl::~TControl() {
  Notify(TChange::Destroyed);
  if (parent_) parent_->Erase(this);
}

void TControl::SetName(const std::string& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name)) throw EComponentError("''" + name + "'' is not a valid component name");
  if (parent_) parent_->Rename(this, name);
  name_ = name;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left, top_ = top, width_ = width, height_ = height;
  Notify(TChange::Bounds);
}

void TControl::SetVisible(bool visible) { Update(visible_, visible, TChange::Visible); }

void TControl::SetEnabled(bool enabled) { Update(enabled_, enabled, TChange::Enabled); }

void TControl::SetFont(const gui::Font& font) {
  parentFont_ = false;
  if (font == font_) return;
  font_ = font;
  Notify(TChange::Font);
}

void TControl::SetParentFont(bool on) {
  parentFont_ = on;
  if (on && parent_ && !(parent_->font_ == font_)) {
    font_ = parent_->font_;
    Notify(TChange::Font);
  }
}

void TControl::SetFontName(const std::string& name) {
  gui::Font f = font_;
  f.Name = name;
  SetFont(f);
}

void TControl::SetFontSize(int size) {
  gui::Font f = font_;
  f.Size = size;
  SetFont(f);
}

void TControl::SetFontColor(TColor color) {
  gui::Font f = font_;
  f.Color = color;
  SetFont(f);
}

void TControl::SetFontBold(bool bold) {
  gui::Font f = font_;
  f.Bold = bold;
  SetFont(f);
}

void TControl::SetColor(TColor color) {
  parentColor_ = false;
  if (color == color_) return;
  color_ = color;
  Notify(TChange::Color);
  if (auto* panel = dynamic_cast<TPanel*>(this)) panel->ColorChanged();
}

void TControl::FollowParentColor() {
  parentColor_ = true;
  if (parent_) color_ = parent_->color_;
}

void TControl::BringToFront() {
  if (parent_) parent_->MoveChild(this, true);
}

void TControl::SendToBack() {
  if (parent_) parent_->MoveChild(this, false);
}

// ---------------------------------------------------------------- TPanel

TPanel::TPanel(TPanel* parent) : TControl(parent) { SetBounds(0, 0, 185, 41); }

TPanel::~TPanel() {
  for (TControl* child : children_) child->parent_ = nullptr;
}

void TPanel::SetCaption(const std::u16string& caption) { Update(caption_, caption, TChange::Text); }

void TPanel::SetBevel(bool on) { Update(bevel_, on, TChange::Style); }

TControl* TPanel::FindChild(const std::string& name) const {
  auto found = names_.find(platform::LowerAZ(name));
  return found == names_.end() ? nullptr : found->second;
}

void TPanel::Rename(TControl* child, const std::string& name) {
  const std::string key = platform::LowerAZ(name);
  auto taken = names_.find(key);
  if (!name.empty() && taken != names_.end() && taken->second != child)
    throw EComponentError("A component named " + name + " already exists");
  if (!child->name_.empty()) names_.erase(platform::LowerAZ(child->name_));
  if (!name.empty()) names_[key] = child;
}

void TPanel::ColorChanged() {
  for (TControl* child : children_) {
    if (!child->parentColor_ || child->color_ == color_) continue;
    child->color_ = color_;
    child->Notify(TChange::Color);
  }
}

void TPanel::Erase(TControl* child) {
  children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
  auto named = names_.find(platform::LowerAZ(child->name_));
  if (named != names_.end() && named->second == child) names_.erase(named);
}

void TPanel::MoveChild(TControl* child, bool toFront) {
  Erase(child);
  if (toFront)
    children_.push_back(child);
  else
    children_.insert(children_.begin(), child);
  child->Notify(TChange::Order);
}

// ---------------------------------------------------------------- controls

TTntLabel::TTntLabel(TPanel* parent) : TControl(parent) {
  FollowParentColor();
  SetBounds(0, 0, 65, 13);
}

void TTntLabel::SetCaption(const std::u16string& caption) { Update(caption_, caption, TChange::Text); }

void TTntLabel::SetAutoSize(bool on) { Update(autoSize_, on, TChange::Style); }

void TTntLabel::SetWordWrap(bool on) { Update(wordWrap_, on, TChange::Style); }

void TTntLabel::SetTransparent(bool on) { Update(transparent_, on, TChange::Style); }

TTntButton::TTntButton(TPanel* parent) : TControl(parent) { SetBounds(0, 0, 75, 25); }

void TTntButton::SetCaption(const std::u16string& caption) { Update(caption_, caption, TChange::Text); }

TTntRadioButton::TTntRadioButton(TPanel* parent) : TControl(parent) {
  FollowParentColor();
  SetBounds(0, 0, 113, 17);
}

void TTntRadioButton::SetCaption(const std::u16string& caption) { Update(caption_, caption, TChange::Text); }

void TTntRadioButton::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Notify(TChange::Style);
  if (!checked || !parent_) return;
  for (TControl* sibling : parent_->Children()) {
    auto* radio = dynamic_cast<TTntRadioButton*>(sibling);
    if (radio && radio != this && radio->group_ == group_) radio->SetChecked(false);
  }
}

TTntEdit::TTntEdit(TPanel* parent) : TControl(parent) {
  color_ = gui::clWindow;
  SetBounds(0, 0, 121, 21);
}

void TTntEdit::SetText(const std::u16string& text) {
  if (text == text_) return;
  text_ = text;
  Notify(TChange::Text);
  if (OnChange) OnChange();
}

void TTntEdit::SetAutoSize(bool on) { Update(autoSize_, on, TChange::Style); }

void TTntEdit::SetBorder(bool on) { Update(border_, on, TChange::Style); }

TMemo::TMemo(TPanel* parent) : TControl(parent) {
  color_ = gui::clWindow;
  SetBounds(0, 0, 185, 89);
}

void TMemo::SetText(const std::string& text) { Update(text_, text, TChange::Text); }

void TMemo::SetBorder(bool on) { Update(border_, on, TChange::Style); }

TRichEdit::TRichEdit(TPanel* parent) : TControl(parent) {
  color_ = gui::clWindow;
  SetBounds(0, 0, 185, 89);
}

void TRichEdit::SetText(const std::string& text) {
  text_ = text;
  content_.clear();
  Notify(TChange::Text);
}

void TRichEdit::LoadFromBuffer(const uint8_t* data, size_t size) {
  content_.assign(reinterpret_cast<const char*>(data), size);
  Notify(TChange::Picture);
}

void TRichEdit::SetBorder(bool on) { Update(border_, on, TChange::Style); }

TBevel::TBevel(TPanel* parent) : TControl(parent) { SetBounds(0, 0, 50, 50); }

TImage::TImage(TPanel* parent) : TControl(parent) { SetBounds(0, 0, 105, 105); }

void TImage::SetPicture(gui::Bitmap picture) {
  picture_ = std::move(picture);
  Notify(TChange::Picture);
}

void TImage::SetStretch(bool on) { Update(stretch_, on, TChange::Style); }

void TImage::SetCenter(bool on) { Update(center_, on, TChange::Style); }

void TImage::SetTransparent(bool on) { Update(transparent_, on, TChange::Style); }

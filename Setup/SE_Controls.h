// The wizard's controls as portable models: what each control is (class,
// name, place, state, font, colours, caption or text) independent of the
// screen. A view (the Win32 controls) attaches to a model and is told of
// each change; without a view a model is plain data, which is how the
// layout logic is tested.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gui/Bitmap.h"
#include "platform/gui/Canvas.h"
#include "platform/gui/Color.h"

using gui::TColor;

// A control name that is not an identifier, or that another control of the
// same panel already has.
class EComponentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What changed in a model, for its view.
enum class TChange {
  Bounds,
  Visible,
  Enabled,
  Font,
  Color,
  Text,     // caption or text
  Style,    // the control's own switches (border, word wrap, stretch, ...)
  Picture,  // image picture or rich-edit content
  Order,    // position among its siblings
  Paint,    // paint at once
  Invalidate,
  Loaded,     // the layout has set all of the control's properties
  Destroyed,  // the model is going away: the view lets go of it
};

class TControl;

class TControlView {
 public:
  virtual ~TControlView() = default;
  virtual void Changed(TControl& control, TChange change) = 0;
};

class TPanel;

class TControl {
 public:
  // Created on a parent panel (none for the wizard's own page panel), which
  // also owns it for naming.
  explicit TControl(TPanel* parent);
  virtual ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  virtual const char* ClassName() const = 0;

  TPanel* Parent() const { return parent_; }
  const std::string& Name() const { return name_; }
  // EComponentError when the name is not empty and not an identifier, or
  // when another control of the parent has it (A-Z compared without case).
  void SetName(const std::string& name);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetBounds(int left, int top, int width, int height);
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The font; a control follows its parent's font until its own is changed.
  const gui::Font& Font() const { return font_; }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool on);
  void SetFontName(const std::string& name);
  void SetFontSize(int size);
  void SetFontColor(TColor color);
  void SetFontBold(bool bold);

  // Background colour; a control with a parent colour shows its parent's.
  TColor Color() const { return color_; }
  bool ParentColor() const { return parentColor_; }
  void SetColor(TColor color);

  // Moves the control in front of or behind all its siblings.
  void BringToFront();
  void SendToBack();
  // Paints the control on the screen at once (a long job's status that
  // must show before the job goes on).
  void Repaint() { Notify(TChange::Paint); }
  // Called by the layout once the control's block is read: a view may put
  // off what is costly to redo for each property line until then.
  void Loaded() { Notify(TChange::Loaded); }

  TControlView* View() const { return view_; }
  void SetView(TControlView* view) { view_ = view; }

 protected:
  void Notify(TChange change) {
    if (view_) view_->Changed(*this, change);
  }
  // Stores a new value and tells the view; the same value does nothing.
  template <class T>
  void Update(T& field, const T& value, TChange change) {
    if (field == value) return;
    field = value;
    Notify(change);
  }
  void SetFont(const gui::Font& font);
  // Labels and radio buttons show their parent's colour.
  void FollowParentColor();

  TPanel* parent_;
  std::string name_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  gui::Font font_;
  bool parentFont_ = true;
  TColor color_ = gui::clBtnFace;
  bool parentColor_ = false;
  TControlView* view_ = nullptr;

  friend class TPanel;
};

// A panel: a caption in the middle and, as the wizard's page panel, the
// parent and owner of every layout control.
class TPanel : public TControl {
 public:
  explicit TPanel(TPanel* parent);
  ~TPanel() override;
  const char* ClassName() const override { return "TPanel"; }

  const std::u16string& Caption() const { return caption_; }
  void SetCaption(const std::u16string& caption);
  // Raised frame (layout panels) or none (the wizard's page panel).
  bool Bevel() const { return bevel_; }
  void SetBevel(bool on);

  // Children in back-to-front order.
  const std::vector<TControl*>& Children() const { return children_; }
  TControl* FindChild(const std::string& name) const;

  // Called when the panel's colour changes so that children with a parent
  // colour follow.
  void ColorChanged();

  // Told of every control that a layout creates on this panel, right after
  // its creation and before its properties are set (the view attaches
  // here).
  std::function<void(TControl&)> OnControlCreated;

 private:
  void Insert(TControl* child) { children_.push_back(child); }
  void Erase(TControl* child);
  void MoveChild(TControl* child, bool toFront);
  // Gives a child a new name; EComponentError when another child has it.
  void Rename(TControl* child, const std::string& name);

  std::u16string caption_;
  bool bevel_ = true;
  std::vector<TControl*> children_;
  // The named children by their names' LowerAZ: a layout of thousands of
  // controls must not compare each name with every other one.
  std::unordered_map<std::string, TControl*> names_;

  friend class TControl;
};

class TTntLabel : public TControl {
 public:
  explicit TTntLabel(TPanel* parent);
  const char* ClassName() const override { return "TTntLabel"; }
  const std::u16string& Caption() const { return caption_; }
  void SetCaption(const std::u16string& caption);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);

 private:
  std::u16string caption_;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  bool transparent_ = false;
};

class TTntButton : public TControl {
 public:
  explicit TTntButton(TPanel* parent);
  const char* ClassName() const override { return "TTntButton"; }
  const std::u16string& Caption() const { return caption_; }
  void SetCaption(const std::u16string& caption);
  // Pressed by the user (the view calls it).
  void Click() {
    if (OnClick) OnClick();
  }
  std::function<void()> OnClick;

 private:
  std::u16string caption_;
};

class TTntRadioButton : public TControl {
 public:
  explicit TTntRadioButton(TPanel* parent);
  const char* ClassName() const override { return "TTntRadioButton"; }
  const std::u16string& Caption() const { return caption_; }
  void SetCaption(const std::u16string& caption);
  bool Checked() const { return checked_; }
  // Checking one clears the others of its group.
  void SetChecked(bool checked);
  // Radio buttons with the same parent and group belong together.
  const void* Group() const { return group_; }
  void SetGroup(const void* group) { group_ = group; }

 private:
  std::u16string caption_;
  bool checked_ = false;
  const void* group_ = nullptr;
};

class TTntEdit : public TControl {
 public:
  explicit TTntEdit(TPanel* parent);
  const char* ClassName() const override { return "TTntEdit"; }
  const std::u16string& Text() const { return text_; }
  // Every change of the text, set here or typed (the view calls it), runs
  // OnChange.
  void SetText(const std::u16string& text);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool Border() const { return border_; }
  void SetBorder(bool on);
  std::function<void()> OnChange;

 private:
  std::u16string text_;
  bool autoSize_ = true;
  bool border_ = true;
};

// Plain multi-line text in the system code page.
class TMemo : public TControl {
 public:
  explicit TMemo(TPanel* parent);
  const char* ClassName() const override { return "TMemo"; }
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  bool Border() const { return border_; }
  void SetBorder(bool on);

 private:
  std::string text_;
  bool border_ = true;
};

class TRichEdit : public TControl {
 public:
  explicit TRichEdit(TPanel* parent);
  const char* ClassName() const override { return "TRichEdit"; }
  // Plain text set directly.
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  // Loaded content: rich text when it begins with "{\rtf", else plain text.
  const std::string& Content() const { return content_; }
  bool ContentIsRich() const { return content_.rfind("{\\rtf", 0) == 0; }
  // Loads the bytes as content, from memory so that no file is involved.
  void LoadFromBuffer(const uint8_t* data, size_t size);
  bool Border() const { return border_; }
  void SetBorder(bool on);

 private:
  std::string text_;
  std::string content_;
  bool border_ = true;
};

class TBevel : public TControl {
 public:
  explicit TBevel(TPanel* parent);
  const char* ClassName() const override { return "TBevel"; }
};

class TImage : public TControl {
 public:
  explicit TImage(TPanel* parent);
  const char* ClassName() const override { return "TImage"; }
  const gui::Bitmap& Picture() const { return picture_; }
  void SetPicture(gui::Bitmap picture);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool on);
  bool Center() const { return center_; }
  void SetCenter(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);

 private:
  gui::Bitmap picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool transparent_ = false;
};

// A component name: a letter or "_", then letters, digits or "_".
bool IsValidIdent(const std::string& name);

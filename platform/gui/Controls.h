// The windowing layer of the GUI programs, on the Win32 API: top-level
// windows, panels that hold controls, the standard controls with Unicode
// captions (the edits in Edits.h), windowless controls painted by their panel (labels, images,
// bevels and owner-painted controls), fonts and colours. Windows only: the
// portable models above it never include this header.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/Bitmap.h"
#include "platform/gui/Canvas.h"
#include "platform/gui/Color.h"

namespace gui {

class Container;

// A canvas on a device context (a window's, or a memory one while a panel
// paints off-screen).
class DcCanvas : public Canvas {
 public:
  explicit DcCanvas(void* dc) : dc_(dc) {}
  void* Dc() const { return dc_; }

  void MoveTo(int x, int y) override;
  void LineTo(int x, int y) override;
  void Rectangle(const Rect& r) override;
  void FillRect(const Rect& r) override;
  void StretchDraw(const Rect& r, const Bitmap& picture) override;
  void TextRect(const std::string& text, const Rect& r, unsigned format) override;
  // Unicode text with the canvas font and colour on a clear background;
  // `format` holds the system's DT_ flags.
  void TextRectW(const std::u16string& text, Rect& r, unsigned format);

 private:
  void* dc_;
};

// Anything placed on a container: a window of its own or a windowless
// control that the container paints.
class Control {
 public:
  explicit Control(Container* parent);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Container* Parent() const { return parent_; }
  const Rect& Bounds() const { return bounds_; }
  virtual void SetBounds(int left, int top, int width, int height);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  const Font& GetFont() const { return font_; }
  virtual void SetFont(const Font& font);
  // Background colour; clNone leaves the background to the control's kind.
  TColor Color() const { return color_; }
  virtual void SetColor(TColor color);

  // Places the control above or below all its siblings of the same kind
  // (windowless controls always lie below windowed ones).
  virtual void BringToFront() = 0;
  virtual void SendToBack() = 0;
  // Repaint later, or at once.
  virtual void Invalidate() = 0;
  virtual void Repaint() = 0;

  // The parent is going away before this control: forget it.
  virtual void Detach() { parent_ = nullptr; }

 protected:
  Container* parent_;
  Rect bounds_;
  bool visible_ = true;
  bool enabled_ = true;
  Font font_;
  TColor color_ = clNone;
};

// A control without a window: its container paints it, in order, below the
// container's windowed children.
class GraphicControl : public Control {
 public:
  explicit GraphicControl(Container* parent);
  ~GraphicControl() override;

  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
  void SetFont(const Font& font) override;
  void SetColor(TColor color) override;
  void BringToFront() override;
  void SendToBack() override;
  void Invalidate() override;
  void Repaint() override;

  // Paints with the origin at the control's top-left corner, clipped to it.
  virtual void Paint(DcCanvas& canvas) = 0;

 private:
  void InvalidateArea(const Rect& area);
};

// A control with a window of its own.
class WinControl : public Control {
 public:
  explicit WinControl(Container* parent) : Control(parent) {}
  ~WinControl() override;

  void* Handle() const { return handle_; }
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  void SetFont(const Font& font) override;
  void SetColor(TColor color) override;
  void BringToFront() override;
  void SendToBack() override;
  void Invalidate() override;
  void Repaint() override;
  void Detach() override;
  void SetFocus();

  void SetText(const std::u16string& text);
  std::u16string Text() const;
  // Text colour; clNone keeps the system's.
  void SetTextColor(TColor color);
  // On: a sunken single border.
  void SetBorder(bool on);

  // Messages that the container forwards from this control.
  virtual bool OnCommand(unsigned /*code*/) { return false; }
  virtual bool OnNotify(void* /*header*/, intptr_t& /*result*/) { return false; }
  // Colours of an edit, static or button window: a brush, or 0 for the
  // system's default.
  virtual intptr_t OnCtlColor(void* dc);

 protected:
  // Creates the window of the given class as a child of the parent (or as a
  // top-level window when there is none).
  void CreateHandle(const char16_t* className, unsigned long style, unsigned long exStyle);
  void ApplyFont();

  void* handle_ = nullptr;
  void* fontHandle_ = nullptr;
  void* brush_ = nullptr;
  TColor textColor_ = clNone;
};

// A window that holds controls: a panel, or a top-level window. It paints
// its background (its colour, white when none), its frame and caption, and
// its windowless controls, off-screen, so repaints do not flicker.
class Container : public WinControl {
 public:
  ~Container() override;

  void Add(Control* child);
  void AddGraphic(GraphicControl* child);
  void Remove(Control* child);
  // Windowless children in painting order (first lies deepest).
  std::vector<GraphicControl*>& Graphics() { return graphics_; }

  void SetColor(TColor color) override;

  // Called by the window procedure.
  virtual intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam);

 protected:
  explicit Container(Container* parent) : WinControl(parent) {}
  void CreateContainer(unsigned long style, unsigned long exStyle, const std::u16string& caption);
  // Paints what lies under the windowless controls: background and frame.
  virtual void PaintBackground(DcCanvas& canvas, const Rect& client);
  virtual bool OnClose() { return true; }
  // A command of the window's menu bar.
  virtual void OnMenuCommand(unsigned /*id*/) {}

 private:
  void PaintAll();

  std::vector<Control*> children_;
  std::vector<GraphicControl*> graphics_;
};

enum class BevelKind { None, Raised, Lowered };

class Panel : public Container {
 public:
  explicit Panel(Container* parent);
  // One line, centred.
  void SetCaption(const std::u16string& caption);
  const std::u16string& Caption() const { return caption_; }
  void SetBevel(BevelKind bevel);

 protected:
  void PaintBackground(DcCanvas& canvas, const Rect& client) override;

 private:
  std::u16string caption_;
  BevelKind bevel_ = BevelKind::Raised;
};

// A dialog window has a system menu and a minimise box; a tool window (a
// progress window) has a slim caption and neither.
enum class WindowKind { Dialog, Tool };

class Button;

// A top-level window with a fixed single border, centred on the screen.
// Closing asks OnCloseQuery, then calls OnClosed; the first window created
// is the main window, whose end ends the message loop.
//
// Its keys are a dialog box's (DispatchMessageOfQueue): Tab and Shift+Tab go
// through its controls in the order they were created, Enter presses the
// default button, Esc the cancel button. The focus stays on a control the
// user can reach: when the control that holds it is hidden or disabled, it
// goes to the default button (or the first control Tab reaches), and it
// comes back to where it was when the window is active again.
class Window : public Container {
 public:
  Window(const std::u16string& caption, int clientWidth, int clientHeight, WindowKind kind = WindowKind::Dialog);
  ~Window() override;
  void Show();
  void Close();

  // The button that Enter presses, drawn as the default one, and the one
  // that Esc presses; none (null) at first.
  void SetDefaultButton(Button* button);
  void SetCancelButton(Button* button);
  // Moves the focus to the default button, or the first control Tab
  // reaches, unless a control the user can reach holds it; nothing while
  // the keyboard is in another window.
  void KeepFocus();
  // Draws the button that Enter presses now as the default one: the push
  // button with the focus, else the default button.
  void ShowDefaultButton();

  intptr_t HandleMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;

  std::function<bool()> OnCloseQuery;
  std::function<void()> OnClosed;
  // Receives the id of a chosen menu bar item.
  std::function<void(unsigned id)> OnMenu;

 protected:
  bool OnClose() override;
  void OnMenuCommand(unsigned id) override {
    if (OnMenu) OnMenu(id);
  }

 private:
  // Window handles, so that a button that goes first leaves nothing behind.
  void* defaultButton_ = nullptr;
  void* cancelButton_ = nullptr;
  void* lastFocus_ = nullptr;   // while another window is active
  void* shownFocus_ = nullptr;  // the focus when ShowDefaultButton last looked
};

// Delivers a message taken from the queue (a MSG), with the keys of a
// dialog box in a window of ours: Tab and the arrows move the focus, Enter
// presses the default button, Esc the cancel button, and Alt with an
// underlined letter (or the letter alone where no text is typed) presses
// the button or radio button that shows it.
void DispatchMessageOfQueue(void* message);

class Button : public WinControl {
 public:
  explicit Button(Container* parent);
  bool OnCommand(unsigned code) override;
  // Presses the button as the user does; a hidden or disabled one does
  // nothing.
  void Click();
  std::function<void()> OnClick;
};

// A radio button that checks itself when clicked; it does not clear its
// siblings (the owner of the controls decides what belongs together).
class RadioButton : public WinControl {
 public:
  explicit RadioButton(Container* parent);
  bool Checked() const;
  void SetChecked(bool checked);
  bool OnCommand(unsigned code) override;
  intptr_t OnCtlColor(void* dc) override;
  std::function<void()> OnClick;
};

class CheckBox : public WinControl {
 public:
  explicit CheckBox(Container* parent);
  bool Checked() const;
  void SetChecked(bool checked);
  bool OnCommand(unsigned code) override;
  intptr_t OnCtlColor(void* dc) override;
  std::function<void()> OnClick;
};

// A caption shows "&" as the underline of the letter after it ("&&" is one
// "&"), as Windows shows accelerators. An automatically sized label takes
// the size of its text whenever its text, font or wrapping change; a
// wrapping one keeps its width and takes the height its text needs, also
// when its width changes.
class Label : public GraphicControl {
 public:
  explicit Label(Container* parent) : GraphicControl(parent) {}
  void SetBounds(int left, int top, int width, int height) override;
  void SetCaption(const std::u16string& caption);
  const std::u16string& Caption() const { return caption_; }
  void SetAutoSize(bool on);
  void SetWordWrap(bool on);
  void SetTransparent(bool on);
  void SetFont(const Font& font) override;
  void Paint(DcCanvas& canvas) override;

 private:
  void Fit();
  std::u16string caption_;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  bool transparent_ = false;
};

enum class BevelShape { Box, TopLine };

class Bevel : public GraphicControl {
 public:
  explicit Bevel(Container* parent) : GraphicControl(parent) {}
  void SetShape(BevelShape shape);
  void Paint(DcCanvas& canvas) override;

 private:
  BevelShape shape_ = BevelShape::Box;
};

class Image : public GraphicControl {
 public:
  explicit Image(Container* parent) : GraphicControl(parent) {}
  void SetPicture(const Bitmap& picture);
  void SetStretch(bool on);
  void SetCenter(bool on);
  // Pixels of the colour of the picture's bottom-left pixel are not drawn.
  void SetTransparent(bool on);
  void Paint(DcCanvas& canvas) override;

 private:
  Bitmap picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool transparent_ = false;
};

// The picture on the screen inside a window's client area, as the user sees
// it (for tests and screenshots).
Bitmap CaptureClient(const WinControl& control);

}  // namespace gui

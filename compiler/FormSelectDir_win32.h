// The small form that picks the folder of the mod's files: a tree of the
// shell's folders and a "Select Dir" button. Windows only.
#pragma once

#include <memory>
#include <string>

#include "platform/gui/Controls.h"
#include "platform/gui/ShellTree.h"

class TFrmSelectDir {
 public:
  TFrmSelectDir();
  ~TFrmSelectDir();
  TFrmSelectDir(const TFrmSelectDir&) = delete;
  TFrmSelectDir& operator=(const TFrmSelectDir&) = delete;

  // Shows the form centred on `owner` and waits until it closes; true when
  // it was closed through Button1, with the tree's folder in `path`.
  bool ShowModal(const gui::Window& owner, std::string& path);

  void FormCreate();
  void FormShow();
  void Button1Click();

  bool DirSelected = false;
  std::unique_ptr<gui::Window> Form;
  std::unique_ptr<gui::ShellTreeView> ShellTreeView1;
  std::unique_ptr<gui::Button> Button1;

 private:
  bool open_ = false;
};

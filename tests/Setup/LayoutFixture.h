// An installer archive with layout files and languages, made for one test,
// and the installer globals the layout reading uses (archive, languages,
// setup name); message boxes are collected instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Global/QXI_PakFile.h"
#include "Setup/SE_Parser.h"
#include "installer-library/SE_Global.h"
#include "installer-library/SE_Languages.h"
#include "installer-library/SE_Uninstall_List.h"
#include "platform/MessageBox.h"
#include "tests/support/TempDir.h"

struct ShownBox {
  std::string Text, Caption;
};

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Languages = TLanguages();
    AddLanguage(
        u"English\r\n409;\r\n12 < Back\r\n13 Next >\r\n14 Cancel\r\n15 Install\r\n16 Finish\r\n"
        u"20 Welcome to <%SETUPTITLE%>\r\n");
    AddLanguage(
        u"Deutsch\r\n407;\r\n12 < Zur\u00FCck\r\n13 Weiter >\r\n14 Abbrechen\r\n15 Installieren\r\n"
        u"16 Fertig stellen\r\n");
    Languages.Current = 0;
    SetupInfoFile = TSetupInfoFile();
    UninstallList.Clear();
    SetupInfoFile.SetupName = "Cool Mod v2.0";
    platform::SetMessageBoxHandler([this](const std::string& text, const std::string& caption, unsigned) {
      boxes.push_back({text, caption});
      return platform::kIdOk;
    });
    page = std::make_unique<TPanel>(nullptr);
    page->SetBevel(false);
    page->SetColor(gui::clWhite);
    back = std::make_unique<TTntButton>(nullptr);
    next = std::make_unique<TTntButton>(nullptr);
    cancel = std::make_unique<TTntButton>(nullptr);
    language = std::make_unique<TTntButton>(nullptr);
    pages = std::make_unique<TSEPageControl>(back.get(), page.get(), language.get(), cancel.get(), next.get());
  }

  void TearDown() override {
    pages.reset();
    platform::SetMessageBoxHandler(nullptr);
    SetupArchive = nullptr;
    archive.reset();
    Languages = TLanguages();
    UninstallList.Clear();
  }

  static void AddLanguage(const std::u16string& text) {
    Bytes b = {0xFF, 0xFE};
    for (char16_t c : text) b.insert(b.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8)});
    Languages.AddFromBuffer(b.data(), b.size());
  }

  // Writes the entries into group 0 of a new archive and makes it the
  // installer's archive.
  void Archive(const std::map<std::string, std::string>& entries) {
    std::string path = dir.File("setup.pak");
    {
      TPak writer(path, false, true);
      for (const auto& [name, data] : entries) {
        int index = writer.AddEntry(name, "", 0);
        ASSERT_TRUE(writer.WriteEntryData(index, data.data(), data.size()));
      }
      ASSERT_TRUE(writer.WriteTable());
    }
    archive = std::make_unique<TPak>(path, false, false);
    SetupArchive = archive.get();
  }

  // The first control of a page with that name.
  template <class T>
  T& Control(size_t pageIndex, const std::string& name) {
    for (auto& c : pages->Pages.at(pageIndex)->Controls)
      if (c->Name() == name) return dynamic_cast<T&>(*c);
    throw std::runtime_error("no control " + name);
  }

  testing_support::TempDir dir;
  std::unique_ptr<TPak> archive;
  std::vector<ShownBox> boxes;
  std::unique_ptr<TPanel> page;
  std::unique_ptr<TTntButton> back, next, cancel, language;
  std::unique_ptr<TSEPageControl> pages;
};

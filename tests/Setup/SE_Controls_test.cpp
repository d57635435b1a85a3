#include "Setup/SE_Controls.h"

#include <gtest/gtest.h>

#include "tests/Setup/RecordingCanvas.h"

TEST(ControlsTest, NamesMustBeIdentifiersAndUniqueWithinTheirPanel) {
  TPanel page(nullptr);
  TTntLabel first(&page), second(&page);
  first.SetName("Welcome_Label1");
  struct Case {
    const char* name;
    const char* error;  // empty: accepted
  };
  const Case cases[] = {
      {"welcome_label1", "A component named welcome_label1 already exists"},
      {"WELCOME_LABEL1", "A component named WELCOME_LABEL1 already exists"},
      {"1label", "''1label'' is not a valid component name"},
      {"my label", "''my label'' is not a valid component name"},
      {"l\xE4"
       "bel",
       "''l\xE4"
       "bel'' is not a valid component name"},
      {"_x9", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    try {
      second.SetName(c.name);
      EXPECT_STREQ(c.error, "") << c.name;
      EXPECT_EQ(second.Name(), c.name);
    } catch (const EComponentError& e) {
      EXPECT_STREQ(e.what(), c.error) << c.name;
    }
  }
  // Renaming a control to its own name is no conflict; a control of another
  // panel is none either.
  first.SetName("Welcome_Label1");
  TPanel otherPage(nullptr);
  TTntLabel elsewhere(&otherPage);
  EXPECT_NO_THROW(elsewhere.SetName("Welcome_Label1"));
  EXPECT_EQ(page.FindChild("WELCOME_label1"), &first);

  // A name given up, for another one or with its control, is free again.
  first.SetName("Renamed");
  EXPECT_NO_THROW(second.SetName("welcome_LABEL1"));
  {
    TTntLabel passing(&page);
    passing.SetName("Passing");
    EXPECT_EQ(page.FindChild("PASSING"), &passing);
  }
  EXPECT_EQ(page.FindChild("Passing"), nullptr);
  TTntLabel later(&page);
  EXPECT_NO_THROW(later.SetName("passing"));
}

TEST(ControlsTest, FontFollowsTheParentUntilChanged) {
  CountingView view;
  TPanel page(nullptr);
  page.SetFontName("Tahoma");
  TTntLabel label(&page);
  EXPECT_EQ(label.Font().Name, "Tahoma");
  EXPECT_TRUE(label.ParentFont());
  label.SetView(&view);
  label.SetFontColor(0x0000FF);
  EXPECT_FALSE(label.ParentFont());
  EXPECT_EQ(label.Font().Name, "Tahoma");
  EXPECT_EQ(view.Count(TChange::Font), 1);
  label.SetFontBold(true);
  label.SetFontBold(true);
  EXPECT_EQ(view.Count(TChange::Font), 2) << "no change, no notice";
  EXPECT_TRUE(label.Font().Bold);
}

TEST(ControlsTest, LabelsAndRadioButtonsShowTheirParentsColour) {
  TPanel page(nullptr);
  TTntLabel label(&page);
  TTntRadioButton radio(&page);
  TTntEdit edit(&page);
  page.SetColor(0x0000FF);
  EXPECT_EQ(label.Color(), 0x0000FF);
  EXPECT_EQ(radio.Color(), 0x0000FF);
  EXPECT_EQ(edit.Color(), gui::clWindow);
  label.SetColor(0x00FF00);
  page.SetColor(0xFF0000);
  EXPECT_EQ(label.Color(), 0x00FF00) << "an own colour stops following";
  EXPECT_EQ(radio.Color(), 0xFF0000);
}

TEST(ControlsTest, CheckingARadioButtonClearsOnlyItsOwnGroup) {
  TPanel page(nullptr);
  int pageA = 0, pageB = 0;
  TTntRadioButton a1(&page), a2(&page), b1(&page);
  a1.SetGroup(&pageA);
  a2.SetGroup(&pageA);
  b1.SetGroup(&pageB);
  a1.SetChecked(true);
  b1.SetChecked(true);
  EXPECT_TRUE(a1.Checked());
  a2.SetChecked(true);
  EXPECT_FALSE(a1.Checked());
  EXPECT_TRUE(a2.Checked());
  EXPECT_TRUE(b1.Checked()) << "another group keeps its choice";
}

TEST(ControlsTest, SiblingOrderFollowsSendToBackAndBringToFront) {
  TPanel page(nullptr);
  TTntLabel a(&page), b(&page), c(&page);
  EXPECT_EQ(page.Children(), (std::vector<TControl*>{&a, &b, &c}));
  c.SendToBack();
  EXPECT_EQ(page.Children(), (std::vector<TControl*>{&c, &a, &b}));
  c.BringToFront();
  EXPECT_EQ(page.Children(), (std::vector<TControl*>{&a, &b, &c}));
}

TEST(ControlsTest, EditReportsEveryChangeOfItsText) {
  TPanel page(nullptr);
  TTntEdit edit(&page);
  int changes = 0;
  edit.OnChange = [&] { ++changes; };
  edit.SetText(u"C:\\Games");
  edit.SetText(u"C:\\Games");
  edit.SetText(u"");
  EXPECT_EQ(changes, 2);
}

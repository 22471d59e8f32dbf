// The viewer's windows on tables made for each test: a catalogue directory with a table of the
// main window's fields and a data.ini, the message box, desktop shell and exception reporter
// replaced so that the tests see what would be shown or opened.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/DesktopShell.h"
#include "app/MessageBox.h"
#include "app/Unit1.h"
#include "platform/ExceptionReporter.h"
#include "support/TempDir.h"

namespace katalog::testing {

struct TPlace {
  std::string Name;         // DE_1, UTF-8
  std::string Description;  // DE_11, UTF-8
};

struct TShownBox {
  std::string Text;  // Windows-1250
  std::string Caption;
  unsigned Flags = 0;
};

class ViewerTest : public ::testing::Test {
 protected:
  ViewerTest();
  ~ViewerTest() override;

  // Creates the table "places" with ID, DE_1, DE_3, DE_4, DE_5, DE_7, DE_9 and DE_11 (leaving out
  // the fields named in `without`), Czech, a primary index on (DE_1, ID), and the places.
  void MakeTable(const std::vector<TPlace>& places, const std::string& without = "");
  // Writes data.ini (UTF-8 text, written as Windows-1250).
  void WriteIni(const std::string& utf8);
  // Creates the main window for the section and shows it.
  TForm1& Show(const std::string& section = "1");

  // The heading's font measures these; a name of exactly `pixels`, at least 36 characters.
  std::string NameOfWidth(int pixels) const;

  static std::string Cp(const std::string& utf8);
  std::string CurrentName() const;

  TempDir dir_;
  std::unique_ptr<TForm1> form_;
  std::vector<TShownBox> boxes_;
  std::vector<std::string> opened_;
  std::vector<std::string> errors_;

 private:
  TMessageBox previousBox_;
  TDesktopShell previousShell_;
  platform::TExceptionReporter previousReporter_;
};

// The places the search tests look for.
std::vector<TPlace> SearchPlaces();

}  // namespace katalog::testing

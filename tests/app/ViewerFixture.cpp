#include "ViewerFixture.h"

#include <QApplication>

#include "app/Controls.h"
#include "app/Fonts.h"
#include "dataset/Field.h"
#include "dbcontrols/QtText.h"
#include "engine/components/IsamTable.h"
#include "engine/components/SessionList.h"
#include "engine/table/TableCreation.h"

namespace katalog::testing {

ViewerTest::ViewerTest() {
  Sessions().DefaultSession().SetActive(true);
  previousBox_ = SetMessageBox(
      [this](QWidget*, const std::string& text, const std::string& caption, unsigned flags) {
        boxes_.push_back({text, caption, flags});
      });
  previousShell_ =
      SetDesktopShell([this](const std::string& address) { opened_.push_back(address); });
  previousReporter_ = platform::SetExceptionReporter([this](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      errors_.push_back(e.what());
    }
  });
}

ViewerTest::~ViewerTest() {
  form_.reset();
  SetMessageBox(previousBox_);
  SetDesktopShell(previousShell_);
  platform::SetExceptionReporter(previousReporter_);
  Sessions().DefaultSession().SetActive(false);
}

std::string ViewerTest::Cp(const std::string& utf8) {
  return Windows1250(utf8);
}

void ViewerTest::MakeTable(const std::vector<TPlace>& places, const std::string& without) {
  TTableDefinition definition;
  definition.TableName = dir_.File("places");
  definition.LocaleId = 0x405;
  definition.Fields.push_back({"ID", 6, 29});
  for (const char* name : {"DE_1", "DE_3", "DE_4", "DE_5", "DE_7", "DE_9"})
    if (without != name) definition.Fields.push_back({name, 1, 0, 250});
  definition.Fields.push_back({"DE_11", 3, 22});
  TIndexDefinition primary;
  primary.Fields = {"DE_1", "ID"};
  primary.Primary = true;
  definition.Indexes.push_back(primary);
  CreateTable(definition);

  TIsamTable table(nullptr);
  table.SetDatabaseName(dir_.Path());
  table.SetTableName("places");
  table.Open();
  for (const TPlace& place : places) {
    table.Append();
    table.FieldNamed("DE_1")->SetValueString(Cp(place.Name));
    table.FieldNamed("DE_3")->SetValueString(Cp("Dlouhá " + std::to_string(table.RecordCount())));
    table.FieldNamed("DE_11")->SetValueString(Cp(place.Description));
    table.Post();
  }
  table.Close();
}

void ViewerTest::WriteIni(const std::string& utf8) {
  dir_.Write("data.ini", Cp(utf8));
}

TForm1& ViewerTest::Show(const std::string& section) {
  form_ = std::make_unique<TForm1>(TStartup{dir_.Path() + "/", section});
  form_->show();
  QApplication::setActiveWindow(form_.get());
  return *form_;
}

std::string ViewerTest::CurrentName() const {
  return form_->IsamTable1->FieldNamed("DE_1")->ValueString();
}

// Grows a run of 'a's to just below the width, then tries endings of up to three characters
// until the whole name measures exactly `pixels` in the heading's font.
std::string ViewerTest::NameOfWidth(int pixels) const {
  const QFontMetrics metrics(LayoutFont(13, fsBold));
  const auto width = [&](const std::string& s) { return metrics.horizontalAdvance(QtText(s)); };
  std::string base = "Restaurace ";
  while (width(base + "aaaa") < pixels - 12) base += 'a';
  const std::string pool = "ailtfrjmwW .";
  for (char a : pool)
    for (char b : pool)
      for (char c : pool)
        for (const std::string& ending : {std::string{a}, std::string{a, b}, std::string{a, b, c}})
          if (width(base + ending) == pixels) return base + ending;
  ADD_FAILURE() << "no name measures " << pixels << " pixels";
  return base;
}

std::vector<TPlace> SearchPlaces() {
  return {
      {"PIZZA NAPOLI", "Italská kuchyně."},
      {"Pizza u mostu", "Těstoviny a saláty."},
      {"U Lípy", "Vaříme česky, v pátek pizza z pece."},
      {"Čertovka", "Sklípek pod mostem."},
      {"PROFILTERIT", "pizza pro všechny"},
      {"Restaurace Na Rohu", "Polední menu."},
  };
}

}  // namespace katalog::testing

// The data-aware label and memo over the in-memory data set.
#include <gtest/gtest.h>

#include <QTest>

#include "dataset/DataSource.h"
#include "dataset/DatabaseError.h"
#include "dbcontrols/DBMemo.h"
#include "dbcontrols/DBText.h"
#include "dbcontrols/QtText.h"
#include "support/MemoryDataSet.h"

namespace katalog::testing {
namespace {

class DBControlsTest : public ::testing::Test {
 protected:
  DBControlsTest() {
    dataSet_.SetName("IsamTable1");
    dataSet_.AddRecord({std::string("U Zlat\xE9ho tygra"), std::string("Husova 17"),
                        std::string("line one\r\nline two\nline three")});
    dataSet_.AddRecord({std::string("Bistro & spol."), TVariant{}, std::string()});
    source_.SetDataSet(&dataSet_);
  }

  TMemoryDataSet dataSet_{nullptr,
                          {{"DE_1", ftString, 40}, {"DE_3", ftString, 40}, {"DE_11", ftMemo}}};
  TDataSource source_{nullptr};
  TComponent form_{nullptr};
  QWidget window_;
};

TEST_F(DBControlsTest, ALabelShowsItsFieldAndEmptiesWhenTheSourceIsOff) {
  auto* label = new TDBText(&form_, &window_);
  label->SetName("DBText1");
  label->SetDataField("DE_1");
  label->SetDataSource(&source_);
  dataSet_.Open();
  EXPECT_EQ(label->text(), QString::fromUtf8("U Zlatého tygra"));
  dataSet_.Next();
  EXPECT_EQ(label->text(), QStringLiteral("Bistro & spol."));  // the ampersand shows as itself
  source_.SetEnabled(false);
  EXPECT_EQ(label->text(), QString());
  source_.SetEnabled(true);
  EXPECT_EQ(label->text(), QStringLiteral("Bistro & spol."));

  // Bound to a memo, a label shows the class description.
  label->SetDataField("DE_11");
  dataSet_.First();
  EXPECT_EQ(label->text(), QStringLiteral("(MEMO)"));
  dataSet_.Next();
  EXPECT_EQ(label->text(), QStringLiteral("(Memo)"));
}

TEST_F(DBControlsTest, ALabelThatCutsItsTextHasItWholeAsItsToolTip) {
  auto* label = new TDBText(&form_, &window_);
  label->SetDataField("DE_1");
  label->SetDataSource(&source_);
  const int whole = label->fontMetrics().horizontalAdvance(QString::fromUtf8("U Zlatého tygra"));
  label->resize(whole, 13);  // exactly as wide as the text: nothing is cut
  window_.show();
  dataSet_.Open();
  EXPECT_TRUE(label->toolTip().isEmpty());
  label->resize(whole - 1, 13);
  EXPECT_EQ(label->toolTip(), QString::fromUtf8("U Zlatého tygra"));
  dataSet_.Next();  // a shorter text fits again
  EXPECT_TRUE(label->toolTip().isEmpty());
  dataSet_.Prior();
  label->SetAutoSize(true);  // the label grows to its text
  EXPECT_TRUE(label->toolTip().isEmpty());
}

TEST_F(DBControlsTest, AMissingFieldIsTheLabelsError) {
  dataSet_.Open();
  auto* label = new TDBText(&form_, &window_);
  label->SetName("DBText4");
  label->SetDataSource(&source_);
  try {
    label->SetDataField("DE_7");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "DBText4: Field 'DE_7' not found");
  }
}

TEST_F(DBControlsTest, AMemoShowsItsTextWithItsLineBreaks) {
  auto* memo = new TDBMemo(&form_, &window_);
  memo->SetReadOnly(true);
  memo->SetDataField("DE_11");
  memo->SetDataSource(&source_);
  dataSet_.Open();
  EXPECT_EQ(memo->toPlainText(), QStringLiteral("line one\nline two\nline three"));
  EXPECT_TRUE(memo->isReadOnly());
  dataSet_.Next();
  EXPECT_EQ(memo->toPlainText(), QString());

  // AutoDisplay off: the field's name until the box is double-clicked.
  memo->SetAutoDisplay(false);
  dataSet_.First();
  EXPECT_EQ(memo->toPlainText(), QStringLiteral("(DE_11)"));
  EXPECT_FALSE(memo->Loaded());
  QTest::mouseDClick(memo->viewport(), Qt::LeftButton);
  EXPECT_TRUE(memo->Loaded());
  EXPECT_EQ(memo->toPlainText(), QStringLiteral("line one\nline two\nline three"));

  // Contents longer than the box may hold show the error instead.
  memo->SetAutoDisplay(true);
  memo->SetMaxLength(5);
  dataSet_.Next();
  dataSet_.First();
  EXPECT_EQ(memo->toPlainText(), QStringLiteral("(Text exceeds memo capacity)"));

  source_.SetEnabled(false);
  EXPECT_EQ(memo->toPlainText(), QString());
}

TEST_F(DBControlsTest, DestroyingTheSourceLeavesTheControlsUnbound) {
  auto* label = new TDBText(&form_, &window_);
  {
    TDataSource temporary(nullptr);
    temporary.SetDataSet(&dataSet_);
    label->SetDataSource(&temporary);
    label->SetDataField("DE_1");
    dataSet_.Open();
    EXPECT_FALSE(label->text().isEmpty());
  }
  EXPECT_EQ(label->DataSource(), nullptr);
  dataSet_.Next();
  EXPECT_EQ(QtText(BytesOf(QString::fromUtf8("Žluťoučký"))), QString::fromUtf8("Žluťoučký"));
}

}  // namespace
}  // namespace katalog::testing

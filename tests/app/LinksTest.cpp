// The information windows and the links: what each gesture hands to the desktop shell, the
// modal windows and how they close.
#include <QTest>
#include <QTimer>

#include "ViewerFixture.h"
#include "app/Controls.h"
#include "app/Unit2.h"
#include "app/Unit3.h"

namespace katalog::testing {
namespace {

class LinksTest : public ViewerTest {
 protected:
  LinksTest() {
    MakeTable({{"Bistro", ""}});
    WriteIni("[1]\nd_name=places\nd_inet=jiný text\n");
    Show();
    form_->SetInformationWindows(&form2_, &form3_);
  }

  void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

  TForm2 form2_;
  TForm3 form3_;
};

TEST_F(LinksTest, TheMainWindowsLinksOpenTheirFixedAddresses) {
  EXPECT_EQ(form_->Label7->Caption(), Cp("jiný text"));
  Click(form_->Label7);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], "http://www.velmar.example/c/adresar/search.php3");
  EXPECT_EQ(form_->Label7->Hint(), opened_[0]);

  Click(form_->Label8);  // a single click on the invisible spot does nothing
  EXPECT_EQ(opened_.size(), 1u);
  QTest::mouseDClick(form_->Label8, Qt::LeftButton);
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(opened_[1], "mailto:autor@katalog.example");
  EXPECT_EQ(form_->Label8->geometry(), QRect(288, 264, 33, 21));
  EXPECT_TRUE(form_->Label8->text().isEmpty());
}

TEST_F(LinksTest, TheInformationWindowsLinksOpenTheirOwnText) {
  Click(form2_.Label1);
  Click(form2_.Label7);
  Click(form3_.Label4);
  Click(form3_.Label5);
  EXPECT_EQ(opened_, (std::vector<std::string>{
                         form2_.Label1->Caption(), "mailto:" + form2_.Label7->Caption(),
                         "mailto:" + form3_.Label4->Caption(), form3_.Label5->Caption()}));
  EXPECT_EQ(form2_.windowTitle(), QStringLiteral("Velmar"));
  EXPECT_EQ(form3_.windowTitle(), QStringLiteral("Quonda CD"));
  EXPECT_EQ(form2_.size(), QSize(217, 217));
}

TEST_F(LinksTest, TheLogosOpenTheWindowsModallyAndEscOrTheLogoClosesThem) {
  bool sawModal = false;
  QTimer::singleShot(0, [&] {
    sawModal = form2_.isVisible() && form2_.isModal();
    QTest::keyClick(&form2_, Qt::Key_Escape, Qt::ShiftModifier);
  });
  Click(form_->Image2);
  EXPECT_TRUE(sawModal);
  EXPECT_FALSE(form2_.isVisible());

  QTimer::singleShot(0, [&] {
    sawModal = form3_.isVisible() && form3_.isModal();
    Click(form3_.Image1);
  });
  Click(form_->Image4);
  EXPECT_TRUE(sawModal);
  EXPECT_FALSE(form3_.isVisible());

  // Other keys leave Form2 open; its logo closes it too.
  QTimer::singleShot(0, [&] {
    QTest::keyClick(&form2_, Qt::Key_A);
    sawModal = form2_.isVisible();
    Click(form2_.Image1);
  });
  Click(form_->Image2);
  EXPECT_TRUE(sawModal);
  EXPECT_FALSE(form2_.isVisible());
}

}  // namespace
}  // namespace katalog::testing

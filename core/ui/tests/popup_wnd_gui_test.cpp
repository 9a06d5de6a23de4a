#include "core/ui/popup_wnd.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScreen>
#include <string>

namespace {

constexpr vd::ui::ColourRef kBackground = vd::ui::MakeColourRef(0xFF, 0xF0, 0xA0);

class PopupWndTest : public testing::Test {
 protected:
  void SetUp() override {
    parent.setGeometry(area().x() + 10, area().y() + 10, 200, 100);
    parent.show();
  }
  static QRect area() { return QGuiApplication::primaryScreen()->availableGeometry(); }
  // The size a text takes: the text's extent plus the frame and margins.
  static QSize SizeOf(const std::string& text) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(CPopupWnd::kFontPoints);
    const QRect r = QFontMetrics(font).boundingRect(QRect(0, 0, 200, 100),
                                                    Qt::AlignLeft | Qt::AlignTop,
                                                    QString::fromStdString(text));
    return {r.width() + 2 * CPopupWnd::kMarginX, r.height() + 2 * CPopupWnd::kMarginY};
  }

  QWidget parent;
  CPopupWnd popup{kBackground};
};

TEST_F(PopupWndTest, ShowsTheTextAtThePointInsideTheWorkArea) {
  ASSERT_TRUE(popup.Create(&parent));
  ASSERT_NE(nullptr, popup.window());
  EXPECT_FALSE(popup.window()->isVisible());

  const std::string text = "Distance 1.2 NM\nElevation 120 m";
  const QSize size = SizeOf(text);
  const QRect a = area();
  const int right = a.x() + a.width();
  const int bottom = a.y() + a.height();
  const QPoint origin = parent.mapToGlobal(QPoint(0, 0));
  struct Case {
    QPoint client;
    QPoint expected;  // screen
  };
  const Case cases[] = {
      {{20, 30}, origin + QPoint(20, 30)},
      // Near the bottom-right corner it ends exactly at the work area's corner.
      {{right - origin.x() - 2, bottom - origin.y() - 1},
       {right - size.width(), bottom - size.height()}},
      // Above and left of the work area it is pushed in.
      {{a.x() - origin.x() - 50, a.y() - origin.y() - 50}, a.topLeft()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.client.x() << "," << c.client.y());
    popup.ShowText(text, {c.client.x(), c.client.y()});
    EXPECT_TRUE(popup.window()->isVisible());
    EXPECT_EQ(QRect(c.expected, size), popup.window()->geometry());
  }

  // Wider than the work area: at its left edge.
  const std::string wide(400, 'W');
  ASSERT_GT(SizeOf(wide).width(), a.width());
  popup.ShowText(wide, {20, 30});
  EXPECT_EQ(a.x(), popup.window()->geometry().x());
}

TEST_F(PopupWndTest, EmptyTextHidesAndKeepsTheSize) {
  popup.Create(&parent);
  popup.ShowText("Speed 5.2 kts", {40, 20});
  const QRect shown = popup.window()->geometry();
  popup.ShowText("", {90, 90});
  EXPECT_FALSE(popup.window()->isVisible());
  EXPECT_EQ(shown, popup.window()->geometry());
  popup.ShowText("Speed 5.2 kts", {40, 20});
  popup.Hide();
  EXPECT_FALSE(popup.window()->isVisible());
}

TEST_F(PopupWndTest, PaintsAFramedTextAndAClickHidesIt) {
  popup.Create(&parent);
  popup.ShowText("Heart rate 130 bpm", {10, 10});
  QWidget* window = popup.window();
  const QImage image = window->grab().toImage();
  const QColor background(0xFF, 0xF0, 0xA0);
  EXPECT_EQ(QColor(Qt::black), image.pixelColor(0, 0));
  EXPECT_EQ(QColor(Qt::black), image.pixelColor(image.width() - 1, image.height() - 1));
  EXPECT_EQ(background, image.pixelColor(1, 1));
  EXPECT_EQ(background, image.pixelColor(image.width() - 2, image.height() / 2));
  bool text_drawn = false;
  for (int y = 2; y < image.height() - 2 && !text_drawn; ++y) {
    for (int x = CPopupWnd::kMarginX; x < image.width() - CPopupWnd::kMarginX; ++x) {
      if (image.pixelColor(x, y) != background) {
        text_drawn = true;
        break;
      }
    }
  }
  EXPECT_TRUE(text_drawn);

  QMouseEvent click(QEvent::MouseButtonPress, QPointF(5, 5), window->mapToGlobal(QPointF(5, 5)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &click);
  EXPECT_FALSE(window->isVisible());
}

TEST(PopupWnd, ShowsNothingWithoutAParent) {
  CPopupWnd popup(kBackground);
  EXPECT_FALSE(popup.Create(nullptr));
  popup.ShowText("text", {0, 0});
  EXPECT_EQ(nullptr, popup.window());
  EXPECT_EQ("text", popup.text());
  popup.Hide();
}

TEST(PopupWnd, TheParentMayDestroyTheWindowFirst) {
  CPopupWnd popup(kBackground);
  {
    QWidget parent;
    ASSERT_TRUE(popup.Create(&parent));
  }
  EXPECT_EQ(nullptr, popup.window());
  popup.ShowText("text", {0, 0});
  EXPECT_EQ(nullptr, popup.window());
}

}  // namespace

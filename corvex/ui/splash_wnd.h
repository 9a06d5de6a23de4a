#pragma once
// The start-up splash: the program's picture with a line of text, shown for three seconds or
// until the user presses a key or a mouse button anywhere in the program. The program's picture
// comes in two sizes, the larger for screens of more than 130 dots per inch. When the program's
// own picture ran its time and a map collection installed its own picture (SecondSplashPath),
// that one shows for another three seconds, without text.
#include <QImage>
#include <QObject>
#include <QString>
#include <QWidget>

class CSplashWnd : public QWidget {
 public:
  static constexpr int kShowMs = 3000;

  // Whether a splash may be shown at all (the command line can turn it off).
  static void SetEnabled(bool enabled);
  // Shows the splash unless one shows or splashes are off: image_path's picture when given and
  // readable, else the program's own; text on one line in the lower band. Owned by itself.
  static void ShowSplash(const QString& text, const QString& image_path, QWidget* parent);
  static void HideSplash();
  static CSplashWnd* Current();

  // The program's pictures: 102 for ordinary screens, 291 for screens of more than 130 dots
  // per inch horizontally; and the file of each.
  static constexpr int kBitmapNormal = 102;
  static constexpr int kBitmapHighDpi = 291;
  static int BitmapFor(double dots_per_inch_x);
  static QString BitmapPath(int bitmap);
  // The picture of a map collection: "Maps_v5/Splash.png" in the user's data folder
  // ($XDG_DATA_HOME, else ~/.local/share).
  static QString SecondSplashPath();

  const QImage& image() const { return image_; }
  const QString& text() const { return text_; }
  // The timer whose end hides the splash.
  int timer_id() const { return timer_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  CSplashWnd(QImage image, QString text, bool own_picture, QWidget* parent);
  ~CSplashWnd() override;
  static void Install(CSplashWnd* splash);

  QImage image_;
  QString text_;
  bool own_picture_;  // no image file was given: the program's picture shows
  int timer_ = 0;
};

#pragma once
// The start-up splash: the program's picture with a line of text, shown for three seconds or
// until the user presses a key or a mouse button anywhere in the program.
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

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  CSplashWnd(QImage image, QString text, QWidget* parent);
  ~CSplashWnd() override;

  QImage image_;
  QString text_;
  int timer_ = 0;
};

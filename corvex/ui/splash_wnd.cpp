#include "corvex/ui/splash_wnd.h"

#include <QApplication>
#include <QGuiApplication>
#include <QEvent>
#include <QFont>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

#include <optional>
#include <string>

#include "platform/os/environment.h"
#include "platform/os/folders.h"

namespace {

bool g_enabled = true;
CSplashWnd* g_splash = nullptr;

// While a splash shows, a key or mouse button press anywhere only hides it.
class SplashFilter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!g_splash) return QObject::eventFilter(watched, event);
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::MouseButtonPress:
      case QEvent::NonClientAreaMouseButtonPress:
        CSplashWnd::HideSplash();
        return true;
      default:
        return QObject::eventFilter(watched, event);
    }
  }
};

// The screen's horizontal dots per inch where the window shows.
double ScreenDotsPerInchX(QWidget* parent) {
  QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
  return screen ? screen->logicalDotsPerInchX() : 96.0;
}

}  // namespace

int CSplashWnd::BitmapFor(double dots_per_inch_x) {
  return dots_per_inch_x > 130.0 ? kBitmapHighDpi : kBitmapNormal;
}

QString CSplashWnd::BitmapPath(int bitmap) {
  const std::string folder = vd::os::ProgramFolder() + "/resources/";
  return QString::fromStdString(folder + (bitmap == kBitmapHighDpi ? "splash@2x.png" : "splash.png"));
}

QString CSplashWnd::SecondSplashPath() {
  const std::optional<std::string> data = vd::os::GetEnv("XDG_DATA_HOME");
  const std::string home = data && !data->empty() ? *data : vd::os::HomeFolder() + "/.local/share";
  return QString::fromStdString(home + "/Maps_v5/Splash.png");
}

void CSplashWnd::SetEnabled(bool enabled) { g_enabled = enabled; }

CSplashWnd* CSplashWnd::Current() { return g_splash; }

void CSplashWnd::ShowSplash(const QString& text, const QString& image_path, QWidget* parent) {
  if (!g_enabled || g_splash) return;
  QImage image;
  if (!image_path.isEmpty()) image.load(image_path);
  const bool own_picture = image.isNull();
  if (own_picture) image.load(BitmapPath(BitmapFor(ScreenDotsPerInchX(parent))));
  if (image.isNull()) return;
  Install(new CSplashWnd(std::move(image), text, own_picture, parent));
}

void CSplashWnd::Install(CSplashWnd* splash) {
  static SplashFilter* filter = [] {
    auto* f = new SplashFilter;
    qApp->installEventFilter(f);
    return f;
  }();
  (void)filter;
  g_splash = splash;
  g_splash->show();
}

void CSplashWnd::HideSplash() {
  CSplashWnd* splash = g_splash;
  g_splash = nullptr;
  if (!splash) return;
  QWidget* owner = splash->parentWidget();
  splash->deleteLater();
  splash->hide();
  if (owner) owner->update();
}

CSplashWnd::CSplashWnd(QImage image, QString text, bool own_picture, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      image_(std::move(image)),
      text_(std::move(text)),
      own_picture_(own_picture) {
  // The splash never becomes the active window, so that no message box of the start-up takes
  // it for its owner and goes with it when it closes.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(image_.size());
  const QRect area = (parent && parent->isVisible()) ? parent->frameGeometry()
                     : screen()                      ? screen()->availableGeometry()
                                                     : QRect(0, 0, width(), height());
  move(area.center() - rect().center());
  timer_ = startTimer(kShowMs);
}

CSplashWnd::~CSplashWnd() {
  if (g_splash == this) g_splash = nullptr;
}

void CSplashWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
  QFont font("Liberation Sans");
  font.setPointSize(11);
  painter.setFont(font);
  const QRect band(0, height() * 7 / 10, width(), height() - height() * 7 / 10);
  painter.drawText(band, Qt::AlignCenter | Qt::TextSingleLine, text_);
}

void CSplashWnd::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timer_) return;
  killTimer(timer_);
  timer_ = 0;
  if (g_splash != this) return;  // hidden already
  QWidget* parent = parentWidget();
  const bool own_picture = own_picture_;
  HideSplash();
  // The program's picture is followed by a map collection's, when one is installed.
  if (!own_picture || !g_enabled) return;
  QImage second(SecondSplashPath());
  if (second.isNull()) return;
  Install(new CSplashWnd(std::move(second), QString(), false, parent));
}

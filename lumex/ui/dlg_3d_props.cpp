#include "lumex/ui/dlg_3d_props.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/os/files.h"
#include "platform/ui/common_dialogs.h"

namespace {

constexpr int kCompressionFrameRate = 15;

struct Choice {
  int id;
  const char* text;
};

QGroupBox* RadioGroup(const char* title, std::initializer_list<Choice> choices,
                      QButtonGroup* buttons) {
  auto* box = new QGroupBox(QString::fromUtf8(title));
  auto* layout = new QVBoxLayout(box);
  for (const Choice& c : choices) {
    auto* radio = new QRadioButton(QString::fromUtf8(c.text), box);
    buttons->addButton(radio, c.id);
    layout->addWidget(radio);
  }
  return box;
}

}  // namespace

CAVIFile::ChooseCompression ChooseVideoCompression(QWidget* owner) {
  return [owner](AviCompressChoice& choice) {
    const QStringList items = {"Full Frames (Uncompressed)", "Motion JPEG"};
    bool ok = false;
    const QString item = QInputDialog::getItem(owner, "Video Compression", "Compressor:", items,
                                               choice.options.handler == kAviHandlerMjpeg, false,
                                               &ok);
    if (!ok) return false;
    choice = {};
    choice.options.type = kAviStreamVideo;
    choice.options.handler = item == items[1] ? kAviHandlerMjpeg : kAviHandlerDib;
    choice.options.quality = kAviQualityMax;
    choice.options.flags = kAviCompressValid;
    return true;
  };
}

CDlg3DProps::CDlg3DProps(QWidget* parent) : QDialog(parent) {
  setWindowTitle("3D Properties");
  buttons_ = new QButtonGroup(this);
  buttons_->setExclusive(false);  // each group box keeps its own choice
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(RadioGroup("Map size",
                            {{kMapLarge, "Large"}, {kMapMedium, "Medium"}, {kMapSmall, "Small"}},
                            buttons_));
  row->addWidget(RadioGroup(
      "Horizon view",
      {{kHorizonLarge, "Large"}, {kHorizonMedium, "Medium"}, {kHorizonOff, "Off"}}, buttons_));
  QGroupBox* video = RadioGroup("Video output",
                                {{kVideoHd, "HD (1,920\xC3\x97" "1,080)"},
                                 {kVideoSd, "SD (1280x720)"},
                                 {kVideoVga, "VGA (640x480)"}},
                                buttons_);
  auto* compression = new QPushButton("Compression", video);
  buttons_->addButton(compression, kCompression);
  video->layout()->addWidget(compression);
  row->addWidget(video);
  layout->addLayout(row);
  auto* sky = new QPushButton("Sky color...", this);
  buttons_->addButton(sky, kSkyColour);
  layout->addWidget(sky);
  auto* close = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(close, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(close);
  connect(buttons_, &QButtonGroup::idClicked, this, [this](int id) { OnButton(id); });
}

QAbstractButton* CDlg3DProps::button(int id) const { return buttons_->button(id); }

void CDlg3DProps::InitDialog() {
  const auto check = [this](int id, int first, int last) {
    for (int other = first; other <= last; ++other) button(other)->setChecked(other == id);
  };
  check(map_size == 2048 ? kMapMedium : map_size == 4096 ? kMapLarge : kMapSmall, kMapLarge,
        kMapSmall);
  check(horizon_factor >= 10.0f ? kHorizonLarge
        : horizon_factor < 6.0f ? kHorizonOff
                                : kHorizonMedium,
        kHorizonLarge, kHorizonOff);
  check(video_height > 720 ? kVideoHd : video_height < 481 ? kVideoVga : kVideoSd, kVideoHd,
        kVideoVga);
}

int CDlg3DProps::exec() {
  InitDialog();
  return QDialog::exec();
}

void CDlg3DProps::OnButton(int id) {
  struct Radio {
    int id, first, last;
  };
  static constexpr Radio kRadios[] = {
      {kMapLarge, kMapLarge, kMapSmall},         {kMapMedium, kMapLarge, kMapSmall},
      {kMapSmall, kMapLarge, kMapSmall},         {kHorizonLarge, kHorizonLarge, kHorizonOff},
      {kHorizonMedium, kHorizonLarge, kHorizonOff}, {kHorizonOff, kHorizonLarge, kHorizonOff},
      {kVideoHd, kVideoHd, kVideoVga},           {kVideoSd, kVideoHd, kVideoVga},
      {kVideoVga, kVideoHd, kVideoVga},
  };
  switch (id) {
    case kMapLarge: map_size = 4096; break;
    case kMapMedium: map_size = 2048; break;
    case kMapSmall: map_size = 1024; break;
    case kHorizonLarge: horizon_factor = 10.0f; break;
    case kHorizonMedium: horizon_factor = 6.0f; break;
    case kHorizonOff: horizon_factor = 0.9999f; break;
    case kVideoHd: video_width = 1920; video_height = 1080; break;
    case kVideoSd: video_width = 1280; video_height = 720; break;
    case kVideoVga: video_width = 640; video_height = 480; break;
    case kSkyColour: return OnSkyColour();
    case kCompression: return OnCompression();
    default: return;
  }
  for (const Radio& r : kRadios) {
    if (r.id != id) continue;
    for (int other = r.first; other <= r.last; ++other) button(other)->setChecked(other == id);
  }
}

void CDlg3DProps::OnSkyColour() {
  if (const auto colour = vd::ui::ChooseColor(this, sky_colour)) sky_colour = *colour;
}

void CDlg3DProps::OnCompression() {
  const size_t slash = options_path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : options_path.substr(0, slash);
  const std::string video_path = folder + "/cmp_tmp.avi";
  {
    // Shows the chooser; a confirmed choice is saved into the options file.
    const CAVIFile probe(video_path, video_width, video_height, kCompressionFrameRate,
                         ChooseVideoCompression(this), options_path);
  }
  vd::os::RemoveFile(video_path);
}

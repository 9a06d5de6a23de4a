#pragma once
// The 3D properties dialog: the size of the chart texture around the viewpoint, the reach of
// the horizon ring, the sky colour, the video frame size and the video compressor. The view
// fills the public members before exec() and reads them back after OK; the dialog stores
// nothing itself except the compressor choice, saved at once into the options file.
#include <QDialog>
#include <cstdint>
#include <string>

#include "lumex/avi_file.h"

class QAbstractButton;
class QButtonGroup;

// Asks the user for the video compressor: full frames or JPEG frames at a quality.
CAVIFile::ChooseCompression ChooseVideoCompression(QWidget* owner);

class CDlg3DProps : public QDialog {
 public:
  // Control ids.
  enum {
    kMapLarge = 1028,
    kMapMedium = 1029,
    kMapSmall = 1030,
    kVideoHd = 1031,
    kVideoSd = 1032,
    kVideoVga = 1033,
    kSkyColour = 1018,
    kHorizonLarge = 1041,
    kHorizonMedium = 1042,
    kHorizonOff = 1043,
    kCompression = 1045,
  };

  explicit CDlg3DProps(QWidget* parent);

  uint32_t sky_colour = 0;  // 0x00BBGGRR
  int32_t map_size = 2048;
  float horizon_factor = 6.0f;
  int32_t video_width = 1280;
  int32_t video_height = 720;
  std::string options_path;

  // The button of control `id` (the radio buttons, "Sky color..." and "Compression").
  QAbstractButton* button(int id) const;

  // Checks one button of each group from the members; exec() runs it first.
  void InitDialog();
  int exec() override;

 private:
  void OnButton(int id);
  void OnSkyColour();
  void OnCompression();

  QButtonGroup* buttons_ = nullptr;
};

#include "overlays/model/data_speed_direction.h"

#include "overlays/model/overlay_gps_position.h"

void CDataSpeedDirection::ChooseSource() {
  if (speed_source3 > kMinSource3Speed) {
    source_kind = kSource3;
    direction = source3_direction;
  } else if (heading < kNoHeading) {
    source_kind = kHeading;
    direction = heading_direction;
  } else if (speed > kMinGroundSpeed && COverlayGPSPosition::Settings().use_averaged_direction) {
    source_kind = kGround;
    direction = ground_direction;
  } else {
    source_kind = kNone;
    direction = UnitVector{};
  }
}

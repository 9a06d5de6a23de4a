#pragma once
// Speed and direction of a moving object or of the own vessel, from up to three sources: the
// heading, the averaged ground track, and source 3 (the speed and direction through the water).
#include <cstdint>

struct UnitVector {
  double east = 0.0;
  double north = 0.0;
};

struct CDataSpeedDirection {
  enum SourceKind : int32_t { kNone = 0, kHeading = 1, kGround = 2, kSource3 = 3 };
  static constexpr float kNoHeading = 900.0f;       // headings from here up mean none
  static constexpr float kMinSource3Speed = 0.3f;   // knots
  static constexpr float kMinGroundSpeed = 0.1f;    // knots

  // Chooses the source whose direction is shown: source 3 while its speed is above 0.3 knots,
  // else the heading when there is one, else the averaged ground track when the speed is above
  // 0.1 knots and the own-position setting use_averaged_direction is on, else none (zero
  // direction).
  void ChooseSource();

  // Knots by the chosen source: kinds 1 and 2 share one speed, kind 3 has its own.
  double GetSpeed() const {
    if (source_kind == kHeading || source_kind == kGround) return speed;
    return source_kind == kSource3 ? speed_source3 : 0.0;
  }

  float speed_source3 = 0.0f;  // knots
  float speed = 0.0f;          // knots, for source kinds 1 and 2
  float heading = 1000.0f;     // degrees; 900 or more = none
  float course = -1.0f;        // degrees; negative = none
  UnitVector heading_direction;
  UnitVector ground_direction;  // of the averaged ground track
  UnitVector source3_direction;
  int32_t source_kind = kNone;
  UnitVector direction;  // of the chosen source
};

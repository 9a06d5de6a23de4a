#pragma once
// Named groups of settings ("AIS Settings", "Units", "GPS Settings"). Each owner defines a static
// X::SettingsType deriving from CGlobalSettingsType; the constructor registers it on a
// program-wide list, newest first, with its enabled flag set.
#include <string>

class CGlobalSettingsType {
 public:
  explicit CGlobalSettingsType(std::string name);
  virtual ~CGlobalSettingsType();
  CGlobalSettingsType(const CGlobalSettingsType&) = delete;
  CGlobalSettingsType& operator=(const CGlobalSettingsType&) = delete;

  // Opens the group's page of settings.
  virtual void OpenSheet() = 0;

  const std::string& name() const { return name_; }
  CGlobalSettingsType* next() const { return next_; }

  bool enabled = true;

  // The newest group; walk on with next().
  static CGlobalSettingsType* Head();

 private:
  std::string name_;
  CGlobalSettingsType* next_ = nullptr;
};
